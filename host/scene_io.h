// The host's scene file services: loading any scene file into a scene
// document (a ".kscene" as it is, every other extension through the Assimp
// importer) and saving a document back as a ".kscene".
//
// These are the host's "load from file" and "save" calls: the exporter, the
// batch runner and the command line use them and see no difference between a
// scene that was written by hand and one that came from a modelling tool.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/class_data.h"
#include "host/scene_document.h"

namespace kavro::host {

class Host;

// How a file from a modelling tool is mapped (docs/importing.md).
struct ImportOptions {
  // The animation to import when the file has several: its name, or its
  // position counted from 0; empty: the first.
  std::string animation;
  // Frames per second of the document's timeline; 0: the file's own rate
  // (30 when it names none).
  double fps = 0;
  // A factor applied to every length after the file's own unit has been
  // turned into the document's (metres); 1 keeps them.
  double scale = 1;
  // Keep imported materials as the host's standard materials instead of
  // platform ("KAVRO Standard") materials.
  bool standard_materials = false;
  // Receives Assimp's own log lines (verbose mode); none when empty.
  std::function<void(const std::string&)> log;
  // Receives the reading progress, 0 to 1.
  std::function<void(float)> progress;
};

struct SceneLoadResult {
  bool ok = false;
  doc::SceneDocument document;
  // Complete warning lines ("Warning: ..."), in the order found, without
  // duplicates: what the mapping had to drop or change.
  std::vector<std::string> warnings;
  // On failure: the file and what is wrong with it.
  std::string error;
};

// True when the path names a scene document (".kscene", any case).
bool is_scene_document(const std::string& path);

// Loads a scene file. `path` is in the host code page.
SceneLoadResult load_scene_file(const std::string& path, const ImportOptions& options = {});

struct SaveOptions {
  // Where embedded images are written; empty: beside the document. A
  // relative folder is taken from the current directory.
  std::string maps_dir;
  // The host whose loaded plug-in classes give their data for the scene
  // (host/class_data.h); without one the document's plug-in class data is
  // written as it was read.
  Host* host = nullptr;
};

// Writes the document as a ".kscene": keys in a fixed order, numbers in
// their shortest exact form, so that loading the file gives the same scene
// and saving that again gives the same bytes. Embedded images are written as
// files first and referred to by relative path. The file appears whole or not
// at all. On failure `error` names the file and the reason.
bool save_scene_file(const doc::SceneDocument& document, const std::string& path,
                     const SaveOptions& options, std::string& error);

// The document text alone. Texture files and map folders found in
// `references` (as it is, as written) are written as given there. False
// (with the reason) when a text is not in the host code page.
// The plug-in class data written is `class_data` when given, else the
// document's own.
bool scene_document_text(const doc::SceneDocument& document,
                         const std::vector<std::pair<std::string, std::string>>& references,
                         std::string& text, std::string& error,
                         const std::vector<PluginClassData>* class_data = nullptr);

// Writes the embedded images into `folder` and points the texture maps at
// them by absolute path, emptying `embedded_images`: for exporting an
// imported scene without saving it.
bool write_embedded_images(doc::SceneDocument& document, const std::string& folder,
                           std::string& error);

}  // namespace kavro::host
