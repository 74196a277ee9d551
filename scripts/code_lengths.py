#!/usr/bin/env python3
"""Lists C++ functions and files longer than the house limits.

  scripts/code_lengths.py [--function-lines N] [--file-lines M] [DIR ...]

Defaults: functions over 120 lines, files over 700 lines, in exporter/ and
host/. A function's length runs from the first line of its signature to its
closing brace; braces inside comments, strings and character literals do not
count. Lambdas and local classes count as part of the function around them.
Prints one line per finding and exits 1 when there is any.
"""
import argparse
import os
import re
import sys

CONTROL = re.compile(r"^(if|for|while|switch|catch|do|else|try)\b")
SCOPE = re.compile(r"^(template\s*<.*>\s*)?(namespace|class|struct|union|enum|extern)\b")
ACCESS = re.compile(r"^(\s*(public|protected|private)\s*:)+")
# The end of a function's signature: its parameter list, then qualifiers or a
# trailing return type.
SIGNATURE_END = re.compile(
    r"\)\s*(const|volatile|override|final|noexcept|mutable|&&?|->\s*[\w:<>,*& ]+|\s)*$")
# A constructor's member initialiser list (which may end in a brace).
CONSTRUCTOR = re.compile(r"\)\s*:\s*\w+\s*[({]")


def code_only(src):
    """The source with comments, preprocessor lines, strings and character
    literals blanked out
    (newlines kept, so that offsets still give line numbers)."""
    out = []
    i, n = 0, len(src)
    while i < n:
        at_line_start = i == 0 or src[i - 1] == "\n"
        if at_line_start and src[i:].lstrip(" \t").startswith("#"):
            # a preprocessor line, with its continuations
            j = i
            while True:
                j = src.find("\n", j)
                if j < 0 or src[j - 1] != "\\":
                    break
                j += 1
            j = n if j < 0 else j
        elif src.startswith("//", i):
            j = src.find("\n", i)
            j = n if j < 0 else j
        elif src.startswith("/*", i):
            j = src.find("*/", i)
            j = n if j < 0 else j + 2
        elif src.startswith('R"', i):
            m = re.match(r'R"([^(\s]*)\(', src[i:])
            end = ')' + (m.group(1) if m else '') + '"'
            j = src.find(end, i)
            j = n if j < 0 else j + len(end)
        elif src[i] in "\"'" and not (src[i] == "'" and i > 0 and src[i - 1].isalnum()):
            # (a quote after a digit is a digit separator, not a literal)
            q, j = src[i], i + 1
            while j < n and src[j] != q and src[j] != "\n":
                j += 2 if src[j] == "\\" else 1
            j = min(j + 1, n)
        else:
            out.append(src[i])
            i += 1
            continue
        out.append(re.sub(r"[^\n]", " ", src[i:j]))
        i = j
    return "".join(out)


def long_functions(path, limit):
    src = code_only(open(path, encoding="utf-8", errors="replace").read())
    found = []
    stack = []  # (kind, head start offset, opening brace offset)
    last = 0  # where the text before the next brace starts
    for i, c in enumerate(src):
        if c == ";":
            last = i + 1
        elif c == "{":
            raw = src[last:i]
            access = ACCESS.match(raw)
            if access:
                raw = raw[access.end():]
            head = " ".join(raw.split())
            start = i - len(raw) + (len(raw) - len(raw.lstrip()))
            if any(entry[0] == "function" for entry in stack):
                kind = "block"
            elif SCOPE.match(head):
                kind = "scope"
            elif CONTROL.match(head):
                kind = "block"
            elif SIGNATURE_END.search(head) or CONSTRUCTOR.search(head):
                kind = "function"
            elif head and (head[-1].isalnum() or head[-1] in "_>"):
                kind = "init"  # a brace initialiser inside a declaration or init list
            else:
                kind = "block"
            stack.append((kind, start, i))
            if kind != "init":
                last = i + 1
        elif c == "}" and stack:
            kind, start, opening = stack.pop()
            if kind == "init":
                continue  # the declaration goes on
            last = i + 1
            if kind == "function":
                first = src.count("\n", 0, start) + 1
                lines = src.count("\n", 0, i) + 1 - first + 1
                if lines > limit:
                    signature = " ".join(src[start:opening].split())
                    found.append((lines, first, signature[:80]))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--function-lines", type=int, default=120)
    parser.add_argument("--file-lines", type=int, default=700)
    parser.add_argument("dirs", nargs="*", default=["exporter", "host"])
    args = parser.parse_args()
    findings = []
    for root in args.dirs:
        for folder, _, names in os.walk(root):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    count = sum(1 for _ in f)
                if count > args.file_lines:
                    findings.append(f"{path}: file of {count} lines")
                for lines, first, signature in long_functions(path, args.function_lines):
                    findings.append(f"{path}:{first}: function of {lines} lines: {signature}")
    for line in sorted(findings):
        print(line)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
