#include "pkgtool/dry_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

#include "pkgtool/child_process.h"
#include "pkgtool/delete_command.h"
#include "pkgtool/heap.h"
#include "pkgtool/tool_messages.h"
#include "pkgtool/tool_text.h"

namespace {

// Whether line reads as pattern, where each '#' of the pattern stands for a
// number; the numbers go to counts.
bool matches(const std::string& line, const char* pattern, std::vector<long>* counts) {
  counts->clear();
  const char* c = line.c_str();
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p != '#') {
      if (*c++ != *p)
        return false;
      continue;
    }
    if (*c < '0' || *c > '9')
      return false;
    long number = 0;
    for (; *c >= '0' && *c <= '9'; ++c) {
      if (number > 100000000)
        return false;
      number = number * 10 + (*c - '0');
    }
    counts->push_back(number);
  }
  return *c == '\0';
}

// The words of a line "\tNAME: VERSION" of the list, NAME and VERSION not
// empty.
bool removal_words(const std::string& line, std::string* words) {
  size_t colon = line.find(": ", 1);
  if (line.size() < 2 || line[0] != '\t' || colon == std::string::npos || colon == 1 || colon + 2 == line.size())
    return false;
  *words = line.substr(1);
  return true;
}

// The readings of a line of the list as "NAME-VERSION" keys, each with its
// NAME. A name may hold ": " and a version blanks, and pkg may follow the
// version with " (REASON)", so every reading is made.
std::vector<std::pair<std::string, std::string>> readings(const std::string& removal) {
  std::vector<std::pair<std::string, std::string>> keys;
  for (size_t colon = removal.find(": "); colon != std::string::npos; colon = removal.find(": ", colon + 1)) {
    const std::string name = removal.substr(0, colon);
    const std::string version = removal.substr(colon + 2);
    keys.emplace_back(name + "-" + version, name);
    if (version.empty() || version.back() != ')')
      continue;
    for (size_t reason = version.find(" ("); reason != std::string::npos; reason = version.find(" (", reason + 1))
      keys.emplace_back(name + "-" + version.substr(0, reason), name);
  }
  return keys;
}

// A line of the list as "NAME-VERSION", for the user to read.
std::string removal_key(const std::string& removal) {
  size_t colon = removal.find(": ");
  std::string version = removal.substr(colon + 2);
  size_t reason = version.rfind(" (");
  if (reason != std::string::npos && version.back() == ')')
    version.erase(reason);
  return removal.substr(0, colon) + "-" + version;
}

// Sorts the lines of the list into the names asked about and the others.
dry_run understood(const std::vector<std::string>& removed, const std::vector<const char*>& names) {
  dry_run run{dry_run_outcome::answered, 0, std::vector<std::string>(names.size()), {}, {}, {}};
  std::unordered_map<std::string, size_t> asked;
  for (size_t i = 0; i < names.size(); ++i)
    asked.emplace(names[i], i);
  for (const std::string& removal : removed) {
    bool found = false;
    for (const auto& reading : readings(removal)) {
      auto name = asked.find(reading.first);
      if (name != asked.end() && run.listed[name->second].empty()) {
        run.listed[name->second] = reading.second;
        found = true;
        break;
      }
    }
    if (!found) {
      run.others.push_back(removal_key(removal));
      run.other_names.push_back(removal.substr(0, removal.find(": ")));
    }
  }
  return run;
}

const dry_run not_understood{dry_run_outcome::not_understood, 0, {}, {}, {}, {}};
const dry_run tool_failed{dry_run_outcome::tool_failed, 0, {}, {}, {}, {}};

// pkg's refusal to remove what a locked package needs: one line
// "pkg: LOCKED is locked cannot delete NAME" for each, then "Cannot perform
// request". The locked packages' names, or none when errors says otherwise.
std::vector<std::string> lockers_of(const std::string& errors) {
  const std::string head = "pkg: ";
  const std::string middle = " is locked cannot delete ";
  std::vector<std::string> lockers;
  bool refused = false;
  for (const std::string& line : lines_of(errors.c_str())) {
    size_t at = line.find(middle);
    if (line == "Cannot perform request") {
      refused = true;
    } else if (line.compare(0, head.size(), head) == 0 && at != std::string::npos && at > head.size() &&
               at + middle.size() < line.size()) {
      std::string locker = line.substr(head.size(), at - head.size());
      if (std::find(lockers.begin(), lockers.end(), locker) == lockers.end())
        lockers.push_back(locker);
    }
  }
  if (!refused)
    lockers.clear();
  return lockers;
}

}  // namespace

dry_run read_dry_run(const std::string& output, const std::string& errors, int wait_status,
                     const std::vector<const char*>& names) {
  // Every string function would end the answer at a NUL, and a list could
  // go on after it.
  if (output.find('\0') != std::string::npos || errors.find('\0') != std::string::npos)
    return not_understood;
  const std::vector<std::string> lines = lines_of(output.c_str());
  std::vector<long> counts;
  if (wait_status != -1 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) != 0) {
    int status = WEXITSTATUS(wait_status);
    for (const std::string& line : lines) {
      if ((status == 1 || status == 7) && matches(line, "# packages requested for removal: # locked, # missing", &counts))
        return understood({}, names);
    }
    std::vector<std::string> lockers = status == 1 ? lockers_of(errors) : std::vector<std::string>{};
    if (lockers.empty())
      return tool_failed;
    return {dry_run_outcome::refused, 0, {}, {}, {}, lockers};
  }
  if (!exited_cleanly(wait_status))
    return tool_failed;

  size_t header = lines.size();
  long count = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (matches(lines[i], "Deinstallation has been requested for the following # packages (of # packages in the universe):",
                &counts)) {
      if (header != lines.size())
        return not_understood;
      header = i;
      count = counts[0];
    }
  }
  if (header == lines.size())
    return not_understood;
  size_t i = header + 1;
  if (i + 1 >= lines.size() || !lines[i].empty() || lines[i + 1] != "Installed packages to be REMOVED:")
    return not_understood;
  std::vector<std::string> removed;
  std::string words;
  for (i += 2; i < lines.size() && !lines[i].empty() && lines[i][0] == '\t'; ++i) {
    if (!removal_words(lines[i], &words))
      return not_understood;
    removed.push_back(words);
  }
  // The list ends with an empty line and the count again; anything else,
  // another section of the answer say, is not understood.
  if (i + 1 >= lines.size() || !lines[i].empty() ||
      !matches(lines[i + 1], "Number of packages to be removed: #", &counts) || counts[0] != count ||
      static_cast<long>(removed.size()) != count)
    return not_understood;
  return understood(removed, names);
}

dry_run run_dry_run(const std::vector<const char*>& names) {
  std::unique_ptr<const char*[], free_deleter> argv(build_delete_argv(names, true));
  if (argv == nullptr)
    return {dry_run_outcome::not_started, ENOMEM, {}, {}, {}, {}};
  tool_answer answer = run_query(argv.get(), true);
  std::unique_ptr<char, free_deleter> text(answer.output.text);
  if (answer.output.error != 0) {
    keep_tool_words(answer.errors);
    return {answer.started ? dry_run_outcome::not_read : dry_run_outcome::not_started, answer.output.error, {}, {}, {}, {}};
  }
  dry_run run = read_dry_run(text != nullptr ? std::string(text.get(), answer.output.length) : std::string(),
                             answer.errors, answer.status, names);
  // A refusal is an answer, and the notice gives its reason; anything else
  // the tool said is kept for the user.
  if (run.outcome != dry_run_outcome::refused)
    keep_tool_words(answer.errors);
  return run;
}

bool removes_exactly(const dry_run& run) {
  return run.outcome == dry_run_outcome::answered && run.others.empty() &&
         std::none_of(run.listed.begin(), run.listed.end(), [](const std::string& name) { return name.empty(); });
}

std::string dry_run_failure_line(const dry_run& run) {
  switch (run.outcome) {
    case dry_run_outcome::not_started:
      return "Error executing pkg.\n";
    case dry_run_outcome::not_read:
      return std::string("Could not read what pkg would delete: ") + strerror(run.error) + ".\n";
    case dry_run_outcome::tool_failed:
      return "pkg returned an error.\n";
    case dry_run_outcome::not_understood:
      return "Could not tell what pkg would delete: its dry run answered in words leafsweep does not know.\n";
    case dry_run_outcome::answered:
    case dry_run_outcome::refused:
      break;
  }
  return "";
}
