#include "fixture.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void leafsweep_run::SetUp() {
  char name[] = "/tmp/leafsweep-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  dir_ = name;
  env_ = {"PATH=/usr/bin:/bin", "HOME=" + dir_, "LANG=C.UTF-8", "SECRET_TOKEN=do-not-pass"};
  // A sanitizer build's program must run with the options the suite was
  // started with (tests/sanitizer/env.sh), not the sanitizers' defaults.
  for (const char* variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = getenv(variable))
      env_.push_back(std::string(variable) + "=" + value);
  }
}

void leafsweep_run::TearDown() {
  term_.reset();
  std::error_code ignored;
  if (!HasFailure())
    std::filesystem::remove_all(dir_, ignored);
  else
    std::cerr << "scratch directory kept: " << dir_ << "\n";
}

void leafsweep_run::install(const std::vector<package>& packages) {
  std::string db;
  remember_comments(packages);
  for (const package& p : packages) {
    db += "package\t" + p.name + "\t" + p.version + "\n";
    db += "comment\t" + p.comment + "\n";
    for (const std::string& d : p.depends)
      db += "depends\t" + d + "\n";
    for (const std::string& c : p.provides)
      db += "provides\t" + c + "\n";
    for (const std::string& c : p.requires)
      db += "requires\t" + c + "\n";
    for (const std::string& l : p.shlib_provides)
      db += "shlib_provides\t" + l + "\n";
    for (const std::string& l : p.shlib_requires)
      db += "shlib_requires\t" + l + "\n";
    if (p.locked)
      db += "locked\n";
    if (p.vital)
      db += "vital\n";
    for (const std::string& line : p.description)
      db += "description\t" + line + "\n";
  }
  write_file("pkgdb", db);
}

void leafsweep_run::make_fifo(const std::string& name) {
  if (mkfifo(path(name).c_str(), 0600) != 0)
    ADD_FAILURE() << "cannot make the FIFO " << path(name);
}

int leafsweep_run::tool_waiting_at(const std::string& name) {
  int writer = -1;
  // Opening for writing without blocking fails until the tool opens it.
  (void)term().wait_for([&](const terminal&) {
    writer = open(path(name).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return writer != -1;
  });
  return writer;
}

void leafsweep_run::remember_comments(const std::vector<package>& packages) {
  comments_.clear();
  for (const package& p : packages)
    comments_[p.key()] = p.comment;
}

void leafsweep_run::control(const std::string& directives) { write_file("pkgctl", directives); }

void leafsweep_run::write_file(const std::string& name, const std::string& bytes) {
  std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << name;
}

void leafsweep_run::write_tool(const std::string& script) {
  write_file("tool", script);
  ASSERT_EQ(chmod(path("tool").c_str(), 0755), 0);
}

run_options leafsweep_run::options_for(const std::string& program) const {
  run_options options;
  options.program = program;
  options.env = env_;
  options.cwd = dir_;
  return options;
}

terminal& leafsweep_run::start(int rows, int cols, const std::string& program,
                               const std::vector<std::string>& extra_env, const std::vector<std::string>& args) {
  run_options options = options_for(program);
  options.args = args;
  options.env.insert(options.env.end(), extra_env.begin(), extra_env.end());
  options.rows = rows;
  options.cols = cols;
  term_ = std::make_unique<terminal>(options);
  return *term_;
}

terminal& leafsweep_run::start_redirected(bool stdin_from_null, bool stdout_to_null) {
  run_options options = options_for(LEAFSWEEP_DEMO);
  options.stdin_from_pty = !stdin_from_null;
  options.stdout_to_null = stdout_to_null;
  term_ = std::make_unique<terminal>(options);
  return *term_;
}

terminal& leafsweep_run::start_with(const run_options& options) {
  term_ = std::make_unique<terminal>(options);
  return *term_;
}

std::vector<pkg_call> leafsweep_run::calls_of(pkg_call_kind kind) const {
  std::vector<pkg_call> result;
  for (const pkg_call& c : calls()) {
    if (call_kind(c) == kind)
      result.push_back(c);
  }
  return result;
}

std::vector<std::string> leafsweep_run::only_delete() const {
  std::vector<pkg_call> deletes = calls_of(pkg_call_kind::delete_packages);
  if (deletes.size() != 1) {
    ADD_FAILURE() << deletes.size() << " delete commands ran, not one";
    return {};
  }
  return deleted_packages(deletes[0]);
}

std::vector<std::string> leafsweep_run::installed() const {
  std::vector<std::string> keys;
  std::ifstream in(path("pkgdb"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("package\t", 0) != 0)
      continue;
    std::string rest = line.substr(8);
    size_t tab = rest.find('\t');
    keys.push_back(rest.substr(0, tab) + "-" + rest.substr(tab + 1));
  }
  return keys;
}

bool leafsweep_run::wait_for_checklist() {
  return term().wait_for([](const terminal& t) {
    return t.contains(checklist_title) && t.contains("<  OK  >") && t.contains("<Cancel>") &&
           t.contains("< Help >");
  });
}

bool leafsweep_run::wait_for_question() {
  return term().wait_for([](const terminal& t) {
    return t.contains(next_pass_question) && t.contains("< Yes >") && t.contains("< No  >");
  });
}

testing::AssertionResult leafsweep_run::box_around(const std::string& text, int height, int width) {
  std::optional<box> found;
  bool sized = term().wait_for([&](const terminal& t) {
    found = t.box_containing(text);
    return found && found->height == height && found->width == width;
  });
  if (sized)
    return testing::AssertionSuccess();
  testing::AssertionResult failure = testing::AssertionFailure();
  failure << "wanted a " << height << "x" << width << " box around \"" << text << "\", ";
  if (found)
    failure << "found " << found->height << "x" << found->width;
  else
    failure << "found none";
  return failure;
}

std::string leafsweep_run::highlighted() const {
  // The highlighted entry's comment stands on the bottom line.
  std::string bottom = term_->row(term_->rows() - 1);
  bottom.erase(0, bottom.find_first_not_of(' '));
  std::string found;
  for (const auto& entry : comments_) {
    if (entry.second != bottom || !term_->find("] " + entry.first))
      continue;
    if (!found.empty())
      return "";  // two entries with that comment
    found = entry.first;
  }
  return found;
}

void leafsweep_run::highlight(const std::string& key) {
  ASSERT_NE(comments_.find(key), comments_.end()) << key << " is not installed";
  for (int step = 0; step < 100; ++step) {
    std::string now;
    ASSERT_TRUE(term().wait_for([&](const terminal&) { return !(now = highlighted()).empty(); }));
    if (now == key)
      return;
    auto target = term().find("] " + key);
    auto current = term().find("] " + now);
    // Entries scrolled out of sight lie below: the list starts at the top.
    term().key(target && current && target->row < current->row ? VTERM_KEY_UP : VTERM_KEY_DOWN);
    ASSERT_TRUE(term().wait_for([&](const terminal&) { return highlighted() != now; }));
  }
  ADD_FAILURE() << "could not highlight " << key << "\n" << term().describe();
}

void leafsweep_run::tick(const std::string& key) {
  highlight(key);
  term().type(" ");
}

int leafsweep_run::exit_code() {
  int status = term().wait_exit();
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The entries of the checklist on the screen, top to bottom, without their
// tick boxes.
std::vector<std::string> checklist_entries(const terminal& t) {
  std::vector<std::string> found;
  for (int r = 0; r < t.rows(); ++r) {
    std::string row = t.row(r);
    size_t box = row.find("] ");
    if (box == std::string::npos || box < 2 || row[box - 2] != '[')
      continue;
    std::string entry = row.substr(box + 2);
    entry.erase(std::min(entry.size(), entry.find("│")));
    entry.erase(entry.find_last_not_of(' ') + 1);
    found.push_back(entry);
  }
  return found;
}

std::vector<std::string> cells(const std::string& row) {
  std::vector<std::string> out;
  for (char c : row) {
    if ((static_cast<unsigned char>(c) & 0xc0) == 0x80 && !out.empty())
      out.back() += c;
    else
      out.emplace_back(1, c);
  }
  return out;
}

testing::AssertionResult leafsweep_run::alone_on_screen(const std::string& text) {
  std::optional<box> found;
  std::string stray;
  bool alone = term().wait_for([&](const terminal& t) {
    found = t.box_containing(text);
    if (!found)
      return false;
    for (int r = 0; r < t.rows(); ++r) {
      std::vector<std::string> row = cells(t.row(r));
      for (int c = 0; c < static_cast<int>(row.size()); ++c) {
        bool inside = r >= found->top && r <= found->bottom() && c >= found->left && c <= found->right();
        if (!inside && row[static_cast<size_t>(c)] != " ") {
          stray = "row " + std::to_string(r) + ": " + t.row(r);
          return false;
        }
      }
    }
    return true;
  });
  if (alone)
    return testing::AssertionSuccess();
  if (!found)
    return testing::AssertionFailure() << "no box around \"" << text << "\"";
  return testing::AssertionFailure() << "beside the box around \"" << text << "\": " << stray;
}

termios fresh_pty_modes() {
  int master = -1, slave = -1;
  termios modes{};
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
    tcgetattr(slave, &modes);
    close(slave);
    close(master);
  }
  return modes;
}
