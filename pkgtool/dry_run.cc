#include "pkgtool/dry_run.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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

dry_run understood(std::vector<std::string> removed) {
  return {dry_run_outcome::answered, 0, std::move(removed)};
}

const dry_run not_understood{dry_run_outcome::not_understood, 0, {}};

}  // namespace

bool removes(const std::string& removal, const std::string& key) {
  for (size_t colon = removal.find(": "); colon != std::string::npos; colon = removal.find(": ", colon + 1)) {
    if (key.size() <= colon || key.compare(0, colon, removal, 0, colon) != 0 || key[colon] != '-')
      continue;
    // What follows the name is the version, and perhaps " (REASON)".
    const size_t version = colon + 2;
    const size_t length = key.size() - colon - 1;
    if (removal.compare(version, std::string::npos, key, colon + 1, length) == 0)
      return true;
    if (removal.compare(version, length, key, colon + 1, length) == 0 && removal.compare(version + length, 2, " (") == 0 &&
        removal.back() == ')')
      return true;
  }
  return false;
}

std::string removal_key(const std::string& removal) {
  size_t colon = removal.find(": ");
  std::string version = removal.substr(colon + 2);
  size_t reason = version.rfind(" (");
  if (reason != std::string::npos && version.back() == ')')
    version.erase(reason);
  return removal.substr(0, colon) + "-" + version;
}

dry_run read_dry_run(const std::string& output, int wait_status) {
  // Every string function would end the answer at a NUL, and a list could
  // go on after it.
  if (output.find('\0') != std::string::npos)
    return not_understood;
  const std::vector<std::string> lines = lines_of(output.c_str());
  std::vector<long> counts;
  if (wait_status != -1 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) != 0) {
    int status = WEXITSTATUS(wait_status);
    for (const std::string& line : lines) {
      if ((status == 1 || status == 7) && matches(line, "# packages requested for removal: # locked, # missing", &counts))
        return understood({});
    }
    return {dry_run_outcome::tool_failed, 0, {}};
  }
  if (!exited_cleanly(wait_status))
    return {dry_run_outcome::tool_failed, 0, {}};

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
  return understood(std::move(removed));
}

dry_run run_dry_run(const std::vector<const char*>& names) {
  std::unique_ptr<const char*[], free_deleter> argv(build_delete_argv(names, true));
  if (argv == nullptr)
    return {dry_run_outcome::not_started, ENOMEM, {}};
  tool_answer answer = run_query(argv.get());
  std::unique_ptr<char, free_deleter> text(answer.output.text);
  if (answer.output.error != 0)
    return {answer.started ? dry_run_outcome::not_read : dry_run_outcome::not_started, answer.output.error, {}};
  return read_dry_run(text != nullptr ? std::string(text.get(), answer.output.length) : std::string(), answer.status);
}

void report_dry_run_failure(const dry_run& run) {
  write_tool_messages();
  switch (run.outcome) {
    case dry_run_outcome::not_started:
      (void)fputs("Error executing pkg.\n", stderr);
      break;
    case dry_run_outcome::not_read:
      (void)fprintf(stderr, "Could not read what pkg would delete: %s.\n", strerror(run.error));
      break;
    case dry_run_outcome::tool_failed:
      (void)fputs("pkg returned an error.\n", stderr);
      break;
    case dry_run_outcome::not_understood:
      (void)fputs("Could not tell what pkg would delete: its dry run answered in words leafsweep does not know.\n", stderr);
      break;
    case dry_run_outcome::answered:
      break;
  }
}
