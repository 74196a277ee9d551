// `kavro export` in material editor mode: the files go to the editor's work
// folder and the editor's starter is run on them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

int kavro_quietly(const std::vector<std::string>& args, std::string& err_text) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = run(args, out, err);
  std::rewind(err);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) err_text.append(buffer, n);
  std::fclose(out);
  std::fclose(err);
  return status;
}

TEST(CliEditor, ExportInEditorModeStartsTheEditorOnTheWorkFolder) {
  test::TempDir dir;
  test::write_file(dir.file("a.kscene"), R"({"format":"kavro-scene","version":1,
      "nodes":[{"id":1,"name":"A","object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}}]})");
  ::mkdir(dir.file("editor").c_str(), 0777);
  test::write_file(dir.file("editor/KVS_3DME_Starter.exe"),
                   "#!/bin/sh\necho \"$@\" > \"" + dir.file("args.txt") + "\"\n");
  ::chmod(dir.file("editor/KVS_3DME_Starter.exe").c_str(), 0755);
  ::unsetenv("QRLSYSTEM_ROOT");
  ::setenv("KVS_3DME_ROOT", dir.file("editor").c_str(), 1);

  std::string err;
  int status = kavro_quietly(
      {"export", "-q", "--set", "process_mode=3d_material_editor", "--set", "output_file_name=hero",
       "--set", "merge_imd=on", "--set", "merge_imd_path=/m/base.imd", dir.file("a.kscene")},
      err);
  EXPECT_EQ(status, kExitOk) << err;
  EXPECT_TRUE(test::file_exists(dir.file("editor/CGToolWork/hero.imd")));
  EXPECT_EQ(test::read_file(dir.file("args.txt")), "-name hero -imd -merge /m/base.imd\n");

  // Without an editor the export fails and writes nothing.
  ::unsetenv("KVS_3DME_ROOT");
  std::string missing;
  EXPECT_EQ(kavro_quietly({"export", "-q", "--set", "process_mode=3d_material_editor",
                           dir.file("a.kscene"), dir.file("out/x.imd")},
                          missing),
            kExitFailed);
  EXPECT_NE(missing.find("3D Material Editor is not found."), std::string::npos) << missing;
  EXPECT_FALSE(test::file_exists(dir.file("out/x.imd")));
}

}  // namespace
}  // namespace kavro::cli
