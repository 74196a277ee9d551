// The batch description file (*.k3be): its header, the words and quoted
// values of its lines, the slash and folder forms of paths, and the scene
// options of a `scene` line with every check and message.
//
// A description is plain text in the host code page. Line 1 begins with
// "# KVS_Batch_Export". Every further line is split into words at blanks and
// tabs; an empty first word or one beginning with "#" makes a comment, an
// unknown first word makes the line ignored. A value follows its key or
// option word in double quotes, separated from it only by blanks or tabs,
// and runs to the next double quote.
//
// The scene options of a line write straight into an options record (the
// process-wide one in a batch); the runner (batch_runner.h) owns the loop
// over the lines, the keys' checks and the export of each scene.
#pragma once

#include <string>

#include "exporter/pipeline/options.h"

namespace kavro {

constexpr char kK3beHeader[] = "# KVS_Batch_Export";

// True when a first line begins with the header (anything may follow).
bool k3be_header_ok(const std::string& line);

// The next blank-separated word from `pos` on (blanks and tabs), or empty at
// the end of the line; `pos` moves past it.
std::string next_word(const std::string& line, std::size_t& pos);

// The quoted value from `pos` on: blanks and tabs may stand before the
// opening quote; anything else there, or no opening quote, gives an empty
// value and leaves `pos` where the other text starts. A value whose closing
// quote is missing runs to the end of the line and sets `unterminated`.
std::string read_value(const std::string& line, std::size_t& pos, bool* unterminated = nullptr);

// Every "\" becomes "/" (two-byte characters excepted); the folder form also
// drops every trailing "/".
std::string k3be_slash_form(const std::string& value);
std::string k3be_folder_form(const std::string& value);

// The scene name without its extension: the text before the last "." when
// that dot comes after the last "/" or "\", otherwise the whole name.
std::string default_output_name(const std::string& scene_name);

// Splits a -root or -script value at ",", trims blanks and tabs from both
// ends of each piece and skips the pieces left empty.
std::vector<std::string> split_list(const std::string& value);

// What the scene options of one line gave.
struct SceneOptions {
  bool ok = false;
  std::string message;      // the failure's message when not ok
  std::string output_name;  // the -name value, or the default name
  std::string root;         // the -root value as written ("" when not given)
  std::string script;       // the -script value as written ("" when not given)
};

// Parses the scene options of a line from `pos` on (after the scene's
// quoted name) and applies them to `options` as they come: on a failure the
// options before it have been applied. Frame range: -start and -end together
// set frame_range to 1 ("range").
SceneOptions parse_scene_options(const std::string& line, std::size_t pos,
                                 const std::string& default_name, ExportOptions& options);

}  // namespace kavro
