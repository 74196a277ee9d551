// Fuzz target: the import mapping behind Assimp and the saving of what it
// gives. The first byte picks the format (glTF, OBJ, FBX, OFF, PLY), the
// rest is the file. Whatever imports must save, and the saved text must read
// back and save again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/scene_io.h"
#include "tests/fuzz/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 100000) return 0;
  static const char* const kExtensions[] = {".gltf", ".obj", ".fbx", ".off", ".ply"};
  static kavro::fuzz::ScratchFile files[] = {
      kavro::fuzz::ScratchFile(kExtensions[0]), kavro::fuzz::ScratchFile(kExtensions[1]),
      kavro::fuzz::ScratchFile(kExtensions[2]), kavro::fuzz::ScratchFile(kExtensions[3]),
      kavro::fuzz::ScratchFile(kExtensions[4])};
  const kavro::fuzz::ScratchFile& file = files[data[0] % 5];
  if (!file.write(data + 1, size - 1)) return 0;
  kavro::host::SceneLoadResult r = kavro::host::load_scene_file(file.path());
  if (!r.ok) return 0;
  std::string text, error;
  if (!kavro::host::scene_document_text(r.document, {}, text, error)) std::abort();
  kavro::doc::LoadResult back = kavro::doc::parse_scene_document(text, "fuzz.kscene");
  if (!back.ok) std::abort();
  std::string again;
  if (!kavro::host::scene_document_text(back.document, {}, again, error) || again != text) {
    std::abort();
  }
  return 0;
}
