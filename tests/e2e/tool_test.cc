// The package tool as a system may have it: missing or no program at all,
// asking a question before it is installed, or writing to standard error.
#include <sys/stat.h>

#include "fixture.h"

namespace {

const std::string cwd_tool = "/proc/self/cwd/tool";

struct unusable_tool {
  const char* label;
  const char* script;  // the file's contents, or null for a directory
  mode_t mode;
  const char* reason;
};

void PrintTo(const unusable_tool& c, std::ostream* out) { *out << c.label; }

class unusable_tools : public leafsweep_run, public testing::WithParamInterface<unusable_tool> {};

TEST_P(unusable_tools, are_named_with_the_reason_before_anything_is_drawn) {
  const unusable_tool& c = GetParam();
  install(small_system());
  if (c.script == nullptr) {
    ASSERT_EQ(mkdir(path("tool").c_str(), 0755), 0);
  } else if (*c.script != '\0') {
    write_file("tool", c.script);
    ASSERT_EQ(chmod(path("tool").c_str(), c.mode), 0);
  }
  terminal& t = start(24, 80, LEAFSWEEP_CWD_TOOL);
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(), "leafsweep cannot run the package tool " + cwd_tool + ": " + c.reason + ".\n");
  EXPECT_EQ(t.output_log(), "");
  EXPECT_TRUE(calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    tools, unusable_tools,
    testing::Values(unusable_tool{"missing", "", 0, "No such file or directory"},
                    unusable_tool{"not_executable", "#!/bin/sh\nexit 0\n", 0644, "Permission denied"},
                    unusable_tool{"a_directory", nullptr, 0, "Is a directory"},
                    unusable_tool{"not_a_program", "leaves, one a line\n", 0755, "Exec format error"}),
    [](const testing::TestParamInfo<unusable_tool>& info) { return info.param.label; });

// A bootstrap wrapper, before the tool is installed, asks on its standard
// output whether to install it, and reads the answer from its standard
// input; only when that is no terminal does it say that it will not ask.
TEST_F(leafsweep_run, a_tool_that_would_ask_a_question_cannot_and_says_so) {
  install(small_system());
  write_tool(
      "#!/bin/sh\n"
      "if [ -t 0 ]; then\n"
      "  printf 'The package management tool is not yet installed on your system.\\n'\n"
      "  printf 'Do you want to fetch and install it now? [y/N]: '\n"
      "  read answer\n"
      "  exit 1\n"
      "fi\n"
      "echo 'pkg: not asking whether to install the package tool: no terminal to ask on' >&2\n"
      "exit 1\n");
  terminal& t = start(24, 80, LEAFSWEEP_CWD_TOOL);
  EXPECT_EQ(exit_code(), 1);
  EXPECT_EQ(t.stderr_text(),
            "pkg: not asking whether to install the package tool: no terminal to ask on\npkg returned an error.\n");
  EXPECT_FALSE(t.contains("Do you want to fetch"));
}

// Warnings on the tool's standard error never land on a screen, where the
// next box would wipe them; they come once the last screen has closed.
TEST_F(leafsweep_run, what_the_tool_writes_on_standard_error_comes_after_the_screens_whole) {
  install(small_system());
  write_tool(std::string("#!/bin/sh\nprintf 'pkg: warning: %s\\n' \"$*\" >&2\nexec ") + PKG_STANDIN + " \"$@\"\n");
  terminal& t = start(24, 80, LEAFSWEEP_CWD_TOOL);
  ASSERT_TRUE(wait_for_checklist());
  EXPECT_EQ(t.stderr_text(), "");
  for (int i = 0; i < 2; ++i) {
    highlight("curl-8.4.0");
    press_help(t);
    ASSERT_TRUE(t.wait_for_text("curl transfers data with URL syntax."));
    EXPECT_EQ(t.stderr_text(), "");
    press_ok();
    ASSERT_TRUE(wait_for_checklist());
  }
  tick("nano-7.2");
  press_ok();
  ASSERT_TRUE(wait_for_question());
  // The delete command alone writes to the plain terminal, as it runs there.
  const std::string delete_warning = "pkg: warning: -o ALIAS=x=x -o AUTOREMOVE=false delete -C -y -- nano-7.2\n";
  EXPECT_EQ(t.stderr_text(), delete_warning);
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  // The description's warning comes once, though it ran twice.
  EXPECT_EQ(t.stderr_text(), delete_warning +
                                 "pkg: warning: -o ALIAS=x=x query -e %#r=0 && %k=0 %n-%v\\t%c\n"
                                 "pkg: warning: -o ALIAS=x=x query -C %e curl-8.4.0\n"
                                 "pkg: warning: -o ALIAS=x=x query -e %#r=0 && %k=0 %n-%v\\t%V\n"
                                 "pkg: warning: -o ALIAS=x=x -o AUTOREMOVE=false delete -C -n -y -- nano-7.2\n" +
                                 closing_line);
  EXPECT_EQ(only_delete(), std::vector<std::string>{"nano-7.2"});
}

// A tool that writes more to standard error than a pipe holds before it
// writes its answer does not stall; its first 8 KiB are kept, marked as cut.
TEST_F(leafsweep_run, a_flood_on_standard_error_stalls_nothing_and_is_cut) {
  install(small_system());
  const std::string line(63, 'e');
  write_tool("#!/bin/sh\ni=0\nwhile [ $i -lt 3200 ]; do echo " + line + "; i=$((i + 1)); done >&2\nexec " +
             PKG_STANDIN + " \"$@\"\n");
  terminal& t = start(24, 80, LEAFSWEEP_CWD_TOOL);
  ASSERT_TRUE(wait_for_checklist());
  t.key(VTERM_KEY_ESCAPE);
  EXPECT_EQ(exit_code(), 0);
  std::string kept;
  for (int i = 0; i < 128; ++i)
    kept += line + "\n";
  EXPECT_EQ(t.stderr_text(), kept + "[leafsweep: the rest of what pkg wrote here is left out]\n" + closing_line);
}

}  // namespace
