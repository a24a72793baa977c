// The README's pictures of the three screens are the program's own: this
// test takes them from a run at 80x24 and compares them with README.md.
// With LEAFSWEEP_UPDATE_SCREENS=1 in its environment it writes them into
// README.md instead.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "fixture.h"

namespace {

// A picture stands in README.md as a fenced text block between
// "<!-- screen: NAME -->" and the next "<!-- /screen -->".
const std::string picture_end = "<!-- /screen -->";

std::string picture_start(const std::string& name) { return "<!-- screen: " + name + " -->"; }

const std::string fence_open = "\n```text\n", fence_close = "\n```\n";

std::string fenced(const std::string& screen) { return fence_open + screen + fence_close; }

// The screen inside a block, or the whole block when it is not fenced.
std::string unfenced(const std::string& block) {
  bool is_fenced = block.size() >= fence_open.size() + fence_close.size() &&
                   block.compare(0, fence_open.size(), fence_open) == 0 &&
                   block.compare(block.size() - fence_close.size(), fence_close.size(), fence_close) == 0;
  if (!is_fenced)
    return block;
  return block.substr(fence_open.size(), block.size() - fence_open.size() - fence_close.size());
}

std::string read_readme() {
  std::ifstream in(LEAFSWEEP_README, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Where the text between the two markers of the named picture lies; npos
// for start when README.md lacks them.
struct block_span {
  size_t start = std::string::npos, length = 0;
};

block_span find_block(const std::string& readme, const std::string& name) {
  block_span span;
  size_t open = readme.find(picture_start(name));
  if (open == std::string::npos)
    return span;
  size_t start = open + picture_start(name).size();
  size_t close = readme.find(picture_end, start);
  if (close == std::string::npos)
    return span;
  span.start = start;
  span.length = close - start;
  return span;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Every screen row that differs, as "-" README and "+" program.
std::string row_diff(const std::string& readme, const std::string& program) {
  std::vector<std::string> old_rows = lines_of(readme), new_rows = lines_of(program);
  std::ostringstream out;
  for (size_t i = 0; i < std::max(old_rows.size(), new_rows.size()); ++i) {
    const std::string none = "(no row)";
    const std::string& was = i < old_rows.size() ? old_rows[i] : none;
    const std::string& is = i < new_rows.size() ? new_rows[i] : none;
    if (was != is)
      out << "row " << i << "\n- " << was << "\n+ " << is << "\n";
  }
  return out.str();
}

// A system that makes small, ordinary pictures: four leaves, two of them
// holding up a library each, and the package tool locked.
std::vector<package> pictured_system() {
  package git{"git", "2.42.0", "Distributed source code management tool", {"curl"},
              {"Git is a free and open source distributed version control system",
               "designed to handle everything from small to very large projects",
               "with speed and efficiency.", "", "WWW: https://git-scm.com/"}};
  package curl{"curl", "8.4.0", "Command line tool and library for transferring data with URLs", {},
               {"curl is a command line tool for transferring data with URL syntax."}};
  package nano{"nano", "7.2", "Nano's ANOther editor, an enhanced free Pico clone", {},
               {"GNU nano is a small and friendly text editor. Besides basic editing,",
                "it offers an interactive search and replace, undo and redo, syntax",
                "coloring, smooth scrolling, auto-indentation and more.", "",
                "WWW: https://www.nano-editor.org/"}};
  package tmux{"tmux", "3.3a_1", "Terminal Multiplexer", {"libevent"},
               {"tmux is a terminal multiplexer: it lets you switch easily between",
                "several programs in one terminal, detach them and reattach them.", "",
                "WWW: https://tmux.github.io/"}};
  package libevent{"libevent", "2.1.12", "API for executing callback functions on events", {},
                   {"libevent calls a function when an event occurs on a file descriptor."}};
  package wget{"wget", "1.21.4", "Retrieve files from the Net via HTTP(S) and FTP", {},
               {"GNU Wget retrieves files using HTTP, HTTPS and FTP."}};
  package pkg{"pkg", "1.20.9", "Package manager", {}, {"The package manager."}};
  pkg.locked = true;
  return {git, curl, nano, tmux, libevent, wget, pkg};
}

class readme_screens : public leafsweep_run {
 protected:
  // Once the screen has reached its complete state: in update mode keeps
  // the picture; otherwise waits for the README's picture to show, since
  // the last cells of a screen may still be on their way, and reports every
  // differing row when it does not.
  void take(const std::string& name) {
    if (updating_) {
      taken_[name] = term().screen();
      return;
    }
    std::string readme = read_readme();
    block_span span = find_block(readme, name);
    ASSERT_NE(span.start, std::string::npos) << "README.md has no " << picture_start(name) << " ... " << picture_end;
    std::string block = readme.substr(span.start, span.length);
    if (!term().wait_for([&](const terminal& t) { return fenced(t.screen()) == block; }, 20))
      ADD_FAILURE() << "the " << name << " picture in README.md is out of date; refresh it with "
                    << "LEAFSWEEP_UPDATE_SCREENS=1 ctest -R readme_screens\n"
                    << row_diff(unfenced(block), term().screen());
  }

  void TearDown() override {
    if (updating_ && !HasFailure())
      write_readme();
    leafsweep_run::TearDown();
  }

  void write_readme() {
    std::string readme = read_readme();
    for (const auto& picture : taken_) {
      block_span span = find_block(readme, picture.first);
      ASSERT_NE(span.start, std::string::npos) << "README.md has no " << picture_start(picture.first);
      readme.replace(span.start, span.length, fenced(picture.second));
    }
    std::ofstream out(LEAFSWEEP_README, std::ios::binary | std::ios::trunc);
    out << readme;
    ASSERT_TRUE(out.good()) << "cannot write " << LEAFSWEEP_README;
  }

  const bool updating_ = [] {
    const char* update = std::getenv("LEAFSWEEP_UPDATE_SCREENS");
    return update != nullptr && std::string(update) == "1";
  }();
  std::map<std::string, std::string> taken_;
};

bool row_shows(const terminal& t, int row, const std::string& text) {
  return t.row(row).find(text) != std::string::npos;
}

TEST_F(readme_screens, match_the_program) {
  install(pictured_system());
  terminal& t = start(24, 80);
  ASSERT_TRUE(wait_for_checklist());
  tick("git-2.42.0");
  tick("tmux-3.3a_1");
  highlight("nano-7.2");
  ASSERT_TRUE(box_around(checklist_title, 23, 80));
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    return s.contains("[X] git-2.42.0") && s.contains("[ ] nano-7.2") && s.contains("[X] tmux-3.3a_1") &&
           s.contains("[ ] wget-1.21.4") && row_shows(s, 23, "Nano's ANOther editor, an enhanced free Pico clone");
  }));
  take("checklist");

  press_help(t);
  ASSERT_TRUE(box_around("GNU nano is a small and friendly text editor.", 20, 76));
  ASSERT_TRUE(t.wait_for([](const terminal& s) {
    return s.contains("WWW: https://www.nano-editor.org/") && s.contains("<  OK  >") &&
           row_shows(s, 2, "Nano's ANOther editor, an enhanced free Pico clone");
  }));
  take("help");

  press_ok();
  ASSERT_TRUE(wait_for_checklist());
  ASSERT_TRUE(t.wait_for([](const terminal& s) { return s.contains("[X] tmux-3.3a_1") && s.contains("[X] git-2.42.0"); }));
  press_ok();
  ASSERT_TRUE(wait_for_question());
  ASSERT_TRUE(box_around(next_pass_question, 24, 80));
  take("next-pass");

  // No ends the run.
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(installed(), (std::vector<std::string>{"curl-8.4.0", "nano-7.2", "libevent-2.1.12", "wget-1.21.4",
                                                   "pkg-1.20.9"}));
}

}  // namespace
