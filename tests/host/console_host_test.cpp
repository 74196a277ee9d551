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
