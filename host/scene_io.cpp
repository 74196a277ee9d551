#include "host/scene_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "host/assimp_import.h"
#include "host/cp932.h"
#include "host/files.h"

namespace kavro::host {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool absolute(const std::string& p) {
  return (!p.empty() && (p[0] == '/' || p[0] == '\\')) || (p.size() >= 2 && p[1] == ':');
}

// Writes a file whole or not at all: a temporary file beside it, then a
// rename over the target.
bool write_whole_file(const std::string& path, const std::string& bytes, std::string& error) {
  std::string target = system_path(path);
  std::string temp = target + ".part" + std::to_string(::getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) {
    error = path + ": the file cannot be written: " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int saved = errno;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(temp.c_str());
    error = path + ": the file cannot be written: " + std::strerror(saved ? saved : EIO);
    return false;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    saved = errno;
    std::remove(temp.c_str());
    error = path + ": the file cannot be written: " + std::strerror(saved);
    return false;
  }
  return true;
}

// Where a relative path of the loaded document (taken from `from`, "" for the
// current folder) is, seen from the folder `to`: relative when it lies at or
// below `to`, absolute otherwise.
std::string moved_path(const std::string& path, const std::string& from, const std::string& to) {
  if (absolute(path)) return path;
  std::error_code ec;
  fs::path full =
      fs::absolute(fs::path(system_path(from.empty() ? "." : from)) / system_path(path), ec)
          .lexically_normal();
  fs::path base = fs::absolute(fs::path(system_path(to.empty() ? "." : to)), ec).lexically_normal();
  if (ec) return path;
  fs::path rel = full.lexically_relative(base);
  std::string result =
      !rel.empty() && *rel.begin() != ".." ? rel.generic_string() : full.generic_string();
  Cp932Result back = utf8_to_cp932(result);
  return back.ok ? back.text : path;
}

void for_each_texmap(std::vector<doc::Material>& materials,
                     const std::function<void(doc::Texmap&)>& f) {
  for (doc::Material& m : materials) {
    if (m.has_diffuse_map) f(m.diffuse_map);
    for_each_texmap(m.sub_materials, f);
  }
}

void for_each_texmap(const std::vector<doc::Material>& materials,
                     const std::function<void(const doc::Texmap&)>& f) {
  for (const doc::Material& m : materials) {
    if (m.has_diffuse_map) f(m.diffuse_map);
    for_each_texmap(m.sub_materials, f);
  }
}

}  // namespace

bool is_scene_document(const std::string& path) {
  return path.size() >= 7 && lower(path.substr(path.size() - 7)) == ".kscene";
}

namespace {

// An imported scene must be one a scene document can hold: the same bounds
// (numbers within +-1e15 and the like) hold for it, or it could be exported
// here but not saved and loaded again. The document's own reader decides, on
// the document's text.
void check_imported_document(const std::string& path, SceneLoadResult& result) {
  std::string text, error;
  if (!scene_document_text(result.document, {}, text, error)) {
    result.ok = false;
    result.error = path + ": the imported scene cannot be used: " + error;
    return;
  }
  doc::LoadResult back = doc::parse_scene_document(text, path);
  if (back.ok) return;
  std::string problem = back.error;
  if (problem.rfind(path + ", ", 0) == 0) problem.erase(0, path.size() + 2);
  result.ok = false;
  result.error = path + ": the imported scene cannot be used: " + problem;
}

}  // namespace

SceneLoadResult load_scene_file(const std::string& path, const ImportOptions& options) {
  // Pipes and devices cannot be imported (the importer seeks): whatever
  // streams in is read as a scene document.
  std::error_code ec;
  auto status = fs::status(system_path(path), ec);
  bool stream =
      !ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
  if (is_scene_document(path) || stream) {
    SceneLoadResult result;
    doc::LoadResult loaded = doc::load_scene_document(path);
    result.ok = loaded.ok;
    result.error = std::move(loaded.error);
    result.document = std::move(loaded.document);
    return result;
  }
  if (!path_is_file(path)) {
    SceneLoadResult result;
    result.error = path + (path_is_folder(path) ? ": this is a folder, not a scene file"
                                                : ": the file does not exist");
    return result;
  }
  SceneLoadResult result = import_with_assimp(path, options);
  if (result.ok) check_imported_document(path, result);
  return result;
}

bool save_scene_file(const doc::SceneDocument& document, const std::string& path,
                     const SaveOptions& options, std::string& error) {
  std::string to = folder_of(path);
  std::vector<std::pair<std::string, std::string>> references;
  std::set<std::string> done;
  // Embedded images become files; the document refers to them from its folder.
  for (const doc::EmbeddedImage& image : document.embedded_images) {
    std::string dir = options.maps_dir.empty() ? to : options.maps_dir;
    std::string file = (dir.empty() ? std::string() : dir + "/") + image.file;
    if (!options.maps_dir.empty()) {
      std::error_code ec;
      fs::create_directories(system_path(options.maps_dir), ec);
    }
    if (!write_whole_file(file, image.bytes, error)) return false;
    std::string reference = image.file;
    if (!options.maps_dir.empty()) {
      std::error_code ec;
      fs::path rel =
          fs::absolute(system_path(file), ec)
              .lexically_normal()
              .lexically_relative(
                  fs::absolute(system_path(to.empty() ? "." : to), ec).lexically_normal());
      Cp932Result r = utf8_to_cp932(rel.generic_string());
      reference = !rel.empty() && r.ok ? r.text : file;
    }
    references.emplace_back(image.file, reference);
    done.insert(image.file);
  }
  // Relative texture files and map folders keep pointing at the same place
  // from the new folder.
  for_each_texmap(document.materials, [&](const doc::Texmap& t) {
    if (t.file.empty() || done.count(t.file) || absolute(t.file)) return;
    done.insert(t.file);
    // A file found beside the old document moves; one that is not there is
    // left to the map folders.
    std::string old_place =
        (document.folder.empty() ? std::string() : document.folder + "/") + t.file;
    if (path_is_file(old_place))
      references.emplace_back(t.file, moved_path(t.file, document.folder, to));
  });
  for (const std::string& dir : document.map_paths) {
    // The reader took relative map folders from the document's folder.
    if (!done.insert(dir).second) continue;
    references.emplace_back(dir, moved_path(dir, "", to));
  }
  std::string text;
  std::string problem;
  std::vector<PluginClassData> class_data;
  if (options.host != nullptr)
    class_data = save_scene_class_data(*options.host, document.class_data);
  if (!scene_document_text(document, references, text, problem,
                           options.host != nullptr ? &class_data : nullptr)) {
    error = path + ": the scene cannot be saved: " + problem;
    return false;
  }
  return write_whole_file(path, text, error);
}

bool write_embedded_images(doc::SceneDocument& document, const std::string& folder,
                           std::string& error) {
  for (const doc::EmbeddedImage& image : document.embedded_images) {
    std::string file = folder + "/" + image.file;
    if (!write_whole_file(file, image.bytes, error)) return false;
    for_each_texmap(document.materials, [&](doc::Texmap& t) {
      if (t.file == image.file) t.file = file;
    });
  }
  document.embedded_images.clear();
  return true;
}

}  // namespace kavro::host
