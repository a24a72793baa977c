// Fuzzes the reader of pkg's dry run. The first byte picks the tool's exit
// status (0, 1, 7 or 3), the rest is its output. Whatever the bytes, an
// answer is only ever taken from the shapes pkg gives it: a list under its
// heading whose length both counts give, or the line that says nothing
// would be removed; and every package of a list is the one its key names.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pkgtool/dry_run.h"

namespace {

void check(bool holds, const char* what) {
  if (holds)
    return;
  fprintf(stderr, "dry_run_fuzzer: broken: %s\n", what);
  abort();
}

// The wait status of a child that exited with code, made once each.
int exit_status(int code) {
  static int made[256];
  static bool known[256];
  if (!known[code]) {
    pid_t pid = fork();
    if (pid == 0)
      _exit(code);
    check(pid != -1 && waitpid(pid, &made[code], 0) == pid, "no child for a wait status");
    known[code] = true;
  }
  return made[code];
}

// Whether a line of output reads "Number of packages to be removed: N",
// the number N written with any leading zeros.
bool counts_on_a_line(const std::string& output, size_t count) {
  const std::string head = "Number of packages to be removed: ";
  for (size_t at = output.find(head); at != std::string::npos; at = output.find(head, at + 1)) {
    if (at != 0 && output[at - 1] != '\n')
      continue;
    size_t end = at + head.size();
    size_t number = 0;
    bool digits = false;
    for (; end < output.size() && output[end] >= '0' && output[end] <= '9' && number <= count; ++end, digits = true)
      number = number * 10 + static_cast<size_t>(output[end] - '0');
    if (digits && number == count && (end == output.size() || output[end] == '\n'))
      return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  static const int codes[] = {0, 1, 7, 3};
  const int code = codes[data[0] % 4];
  const std::string output(reinterpret_cast<const char*>(data + 1), size - 1);
  const dry_run read = read_dry_run(output, "", exit_status(code), {});
  if (read.outcome != dry_run_outcome::answered) {
    check(read.others.empty() && read.listed.empty(), "an answer that is none lists packages");
    return 0;
  }
  if (read.others.empty()) {
    check(code == 0 ? output.find("Installed packages to be REMOVED:\n") != std::string::npos
                    : output.find(" packages requested for removal: ") != std::string::npos,
          "nothing to remove, said in no known words");
    return 0;
  }
  check(code == 0, "a list from a tool that failed");
  check(counts_on_a_line(output, read.others.size()), "a list whose length the count does not give");
  // Asked about by the keys it gave, the same answer lists each of them,
  // and nothing else.
  std::vector<const char*> names;
  for (const std::string& key : read.others) {
    check(key.find('-') != std::string::npos, "a package without its version");
    names.push_back(key.c_str());
  }
  const dry_run again = read_dry_run(output, "", exit_status(code), names);
  check(again.outcome == dry_run_outcome::answered && again.listed.size() == names.size(), "the same answer read otherwise");
  for (size_t i = 0; i < names.size(); ++i) {
    bool repeated = std::find(names.begin(), names.begin() + static_cast<long>(i), read.others[i]) != names.begin() + static_cast<long>(i);
    check(repeated || !again.listed[i].empty(), "a package that its own key does not name");
  }
  return 0;
}
