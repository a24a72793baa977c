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

std::vector<std::string> lines_of(const char* text) {
  std::vector<std::string> lines;
  while (*text != '\0') {
    const char* end = strchr(text, '\n');
    size_t length = end != nullptr ? static_cast<size_t>(end - text) : strlen(text);
    lines.emplace_back(text, length);
    text += length + (end != nullptr ? 1 : 0);
  }
  return lines;
}

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

// "\tNAME: VERSION", perhaps followed by " (REASON)", as "NAME-VERSION".
// A version holds no blank.
bool removal_key(const std::string& line, std::string* key) {
  if (line.size() < 2 || line[0] != '\t')
    return false;
  size_t colon = line.find(": ", 1);
  if (colon == std::string::npos || colon == 1)
    return false;
  size_t version = colon + 2;
  size_t end = line.find(' ', version);
  if (end == version || version == line.size())
    return false;
  if (end != std::string::npos && (line.compare(end, 2, " (") != 0 || line.back() != ')'))
    return false;
  *key = line.substr(1, colon - 1) + "-" + line.substr(version, end == std::string::npos ? end : end - version);
  return true;
}

dry_run understood(std::vector<std::string> removed) {
  return {dry_run_outcome::answered, 0, std::move(removed)};
}

const dry_run not_understood{dry_run_outcome::not_understood, 0, {}};

}  // namespace

dry_run read_dry_run(const char* output, int wait_status) {
  const std::vector<std::string> lines = lines_of(output);
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
  for (size_t i = 0; i < lines.size(); ++i) {
    if (matches(lines[i], "Deinstallation has been requested for the following # packages (of # packages in the universe):",
                &counts)) {
      if (header != lines.size())
        return not_understood;
      header = i;
    }
  }
  if (header == lines.size())
    return not_understood;
  matches(lines[header], "Deinstallation has been requested for the following # packages (of # packages in the universe):",
          &counts);
  const long count = counts[0];
  size_t i = header + 1;
  if (i + 1 >= lines.size() || !lines[i].empty() || lines[i + 1] != "Installed packages to be REMOVED:")
    return not_understood;
  std::vector<std::string> removed;
  std::string key;
  for (i += 2; i < lines.size() && !lines[i].empty() && lines[i][0] == '\t'; ++i) {
    if (!removal_key(lines[i], &key))
      return not_understood;
    removed.push_back(key);
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
  tool_pipe query;
  if (!query.open(argv.get()))
    return {dry_run_outcome::not_started, errno, {}};
  tool_text output = read_tool_text(query.stream());
  std::unique_ptr<char, free_deleter> text(output.text);
  int status = query.close();
  if (output.error != 0)
    return {dry_run_outcome::not_read, output.error, {}};
  return read_dry_run(text != nullptr ? text.get() : "", status);
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
      (void)fputs("Could not understand what pkg would delete: its dry run did not answer as pkg 2 does.\n", stderr);
      break;
    case dry_run_outcome::answered:
      break;
  }
}
