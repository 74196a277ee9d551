#!/usr/bin/env bash
# The corpus test: every scene file of Debian's assimp-testmodels is exported
# with `kavro export`, each in a process of its own under a time limit, two at
# a time. Each must export (exit 0) or be refused with a message (exit 1);
# a crash, a sanitizer report, a hang or any other status fails the test.
# Every file that exports is also imported, saved and exported again from the
# saved document, and the two model files must agree (texture paths aside).
#
#   corpus.sh KAVRO MODELS_DIR [TABLE_OUT]
#
# Files larger than 1 MB (a dozen motion-capture, IFC and engine files) are
# skipped to keep the run within a few minutes; so are files that are not
# scenes (images, material libraries, buffers, shaders, notes).
set -uo pipefail
kavro=$1
models=$2
table=${3:-}
limit=${KAVRO_CORPUS_TIMEOUT:-60}
max_bytes=$((1024 * 1024))

if [[ ! -d $models ]]; then
  echo "corpus: $models is missing (install the assimp-testmodels package)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A sanitizer report must not pass for a refusal.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:exitcode=86"
# Leaks inside Assimp's own readers are theirs (tests/corpus/lsan.supp).
export LSAN_OPTIONS="${LSAN_OPTIONS:-}:suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp"
export SOURCE_DATE_EPOCH=1234567890
# Outside the sanitizers (which need a vast address space) a file that asks
# for unbounded memory fails instead of taking the machine down.
if [[ -z ${ASAN_OPTIONS#:exitcode=86} ]]; then ulimit -v 4000000; fi

one() {
  local file=$1 n=$2 dir="$work/$2"
  mkdir -p "$dir"
  timeout -k 5 "$limit" "$kavro" export --defaults -q "$file" "$dir/direct.imd" >"$dir/out" 2>"$dir/err"
  local rc=$?
  local verdict
  case $rc in
    0) verdict=exported ;;
    1) if [[ -s $dir/err ]]; then verdict=refused; else verdict="FAILED (exit 1 without a message)"; fi ;;
    124 | 137) verdict="FAILED (over ${limit} s)" ;;
    *) verdict="FAILED (exit $rc)" ;;
  esac
  if [[ $verdict == exported ]]; then
    if ! timeout -k 5 "$limit" "$kavro" import -q "$file" "$dir/saved.kscene" 2>"$dir/err2" ||
       ! timeout -k 5 "$limit" "$kavro" export --defaults -q "$dir/saved.kscene" "$dir/saved.imd" 2>>"$dir/err2"; then
      verdict="FAILED (the saved document does not export)"
    elif ! diff -q <(sed -E 's/path="[^"]*"/path=""/' "$dir/direct.imd") \
                   <(sed -E 's/path="[^"]*"/path=""/' "$dir/saved.imd") >/dev/null; then
      verdict="FAILED (the saved document exports differently)"
    fi
  fi
  local base=${file##*/} ext=none
  [[ $base == *.* ]] && ext=${base##*.}
  printf '%s\t%s\t%s\t%s\n' "${ext,,}" "$verdict" "${file#$models/}" \
    "$(head -c 300 "$dir/err" | tr '\n\t' '  ')"
  rm -rf "$dir"
}
export -f one
export kavro models work limit

find "$models" -type f -size -$((max_bytes + 1))c |
  grep -viE '\.(png|jpe?g|tga|bmp|dds|gif|txt|md|mtl|bin|glsl|vert|frag|material|skin|program|cg|hlsl|sh|py|pdf|log)$' |
  sort | awk '{print $0 "\t" NR}' |
  xargs -P 2 -d '\n' -n 1 bash -c 'one "${0%	*}" "${0##*	}"' >"$work/results"

sort -o "$work/results" "$work/results"
failed=$(grep -c $'\tFAILED' "$work/results")
total=$(wc -l <"$work/results")
grep $'\tFAILED' "$work/results" | cut -f2- >&2
if [[ -n $table ]]; then
  {
    echo "| Format | Files | Exported | Refused | Failed |"
    echo "|---|---|---|---|---|"
    awk -F'\t' '{ n[$1]++; if ($2=="exported") e[$1]++; else if ($2=="refused") r[$1]++; else f[$1]++ }
      END { for (k in n) printf "| %s | %d | %d | %d | %d |\n", k, n[k], e[k], r[k], f[k] }' \
      "$work/results" | sort
  } >"$table"
  cp "$work/results" "$table.details"
fi
echo "corpus: $total files, $failed failed"
[[ $failed -eq 0 ]]
