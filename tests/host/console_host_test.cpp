#include "host/console_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kavro::host {
namespace {

std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buffer[1024];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

TEST(ConsoleHost, MessagesAreOneLineWithTheirCaption) {
  std::FILE* err = std::tmpfile();
  ConsoleHost h(err, false, nullptr);
  h.message_box("No nodes in the scene", "Node Export Error", MessageIcon::kError);
  h.listener_print("Warning: x\n");
  h.progress_start("Exporting Kavro Data");
  h.progress_update(50, "IMD: Exporting Nodes (50%)");  // not a terminal: nothing
  h.progress_end();
  EXPECT_EQ(contents(err), "Node Export Error: No nodes in the scene\nWarning: x\n");
  std::fclose(err);
}

// Bytes below 0x20 but tab, and 0x7F, are shown as \xNN: a name from a file
// cannot retitle, clear or ring the user's terminal.
TEST(ConsoleHost, ControlCharactersAreShownAsEscapes) {
  std::FILE* err = std::tmpfile();
  ConsoleHost h(err, false, nullptr);
  h.message_box("a\x1b]0;owned\x07 b\tc\rd\ne\x7f", "Bitmap\x1b[2J Error", MessageIcon::kError);
  h.listener_print("Warning: \x1b[31mred\x01\n");
  h.listener_print("\n\n");
  EXPECT_EQ(contents(err),
            "Bitmap\\x1b[2J Error: a\\x1b]0;owned\\x07 b\tc\\x0dd\\x0ae\\x7f\n"
            "Warning: \\x1b[31mred\\x01\n"
            "\n\n");
  std::fclose(err);

  // Two-byte text still reaches the terminal as UTF-8.
  std::FILE* err2 = std::tmpfile();
  ConsoleHost j(err2, true, nullptr);
  j.message_box("\x83\x67\x1b", "E", MessageIcon::kError);
  j.progress_start("Export");
  j.progress_update(5, "IMD: \x1b[1m");
  j.progress_end();
  EXPECT_EQ(contents(err2),
            "E: \xE3\x83\x88\\x1b\n"
            "\r\033[KExport:   5% IMD: \\x1b[1m\r\033[K");
  std::fclose(err2);

  std::FILE* err3 = std::tmpfile();
  std::FILE* in = std::tmpfile();
  std::fputs("n\n", in);
  std::rewind(in);
  ConsoleHost asking(err3, false, in);
  EXPECT_EQ(asking.ask_overwrite("/x\x07.imd"), OverwriteAnswer::kNo);
  EXPECT_NE(contents(err3).find("\"/x\\x07.imd\" already exists.\n"), std::string::npos);
  std::fclose(in);
  std::fclose(err3);
}

TEST(ConsoleHost, QuietKeepsOnlyErrors) {
  std::FILE* err = std::tmpfile();
  ConsoleHost h(err, true, nullptr);
  h.set_quiet(true);
  h.message_box("info", "Note", MessageIcon::kInformation);
  h.listener_print("Warning: x\n");
  h.progress_update(10, "work");
  h.message_box("bad", "Error", MessageIcon::kError);
  EXPECT_EQ(contents(err), "Error: bad\n");
  std::fclose(err);
}

TEST(ConsoleHost, OverwriteAnswersFromThePolicyOrTheTerminal) {
  std::FILE* err = std::tmpfile();
  ConsoleHost none(err, false, nullptr);
  EXPECT_EQ(none.ask_overwrite("/x.imd"), OverwriteAnswer::kYes);  // nobody to ask
  none.set_overwrite_policy(OverwritePolicy::kNo);
  EXPECT_EQ(none.ask_overwrite("/x.imd"), OverwriteAnswer::kNo);
  none.set_overwrite_policy(OverwritePolicy::kYes);
  EXPECT_EQ(none.ask_overwrite("/x.imd"), OverwriteAnswer::kYes);

  std::FILE* in = std::tmpfile();
  std::fputs("what\na\nn\nc\n", in);
  std::rewind(in);
  ConsoleHost asking(err, false, in);
  EXPECT_EQ(asking.ask_overwrite("/x.imd"), OverwriteAnswer::kYesToAll);  // "what" is asked again
  EXPECT_EQ(asking.ask_overwrite("/x.imd"), OverwriteAnswer::kNo);
  EXPECT_EQ(asking.ask_overwrite("/x.imd"), OverwriteAnswer::kCancel);
  EXPECT_EQ(asking.ask_overwrite("/x.imd"), OverwriteAnswer::kCancel);  // end of input
  EXPECT_NE(contents(err).find("\"/x.imd\" already exists."), std::string::npos);
  std::fclose(in);
  std::fclose(err);
}

TEST(ConsoleHost, SettingsFolderFollowsXdgThenHome) {
  ConsoleHost h(stderr, false, nullptr);
  const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
  std::string saved = old_xdg != nullptr ? old_xdg : "";
  const char* old_home = std::getenv("HOME");
  std::string saved_home = old_home != nullptr ? old_home : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(h.settings_dir(), "/cfg/kavro");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", "/home/artist", 1);
  EXPECT_EQ(h.settings_dir(), "/home/artist/.config/kavro");
  if (old_xdg != nullptr) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  if (old_home != nullptr) ::setenv("HOME", saved_home.c_str(), 1);
  EXPECT_FALSE(h.user_name().empty());
  EXPECT_FALSE(h.computer_name().empty());
}

}  // namespace
}  // namespace kavro::host
