#include "pkgtool/delete_command.h"

#include <cstdlib>
#include <cstring>

#include "pkgtool/leaf_list.h"
#include "pkgtool/tool_path.h"

std::vector<const char*> ticked_names() {
  std::vector<const char*> names;
  for (int i = 0; i < leaf_count; ++i) {
    if (leaf_items[i].state != 0)
      names.push_back(leaf_items[i].name);
  }
  return names;
}

namespace {

// The characters that a POSIX extended regular expression gives a meaning.
const char regex_specials[] = ".[]()*+?{}|^$\\";

size_t escaped_length(const char* name) {
  size_t length = 0;
  for (const char* c = name; *c != '\0'; ++c)
    length += strchr(regex_specials, *c) != nullptr ? 2 : 1;
  return length;
}

// Writes "^NAME$", every special character of NAME escaped, and its NUL at
// to; returns the byte after the NUL.
char* write_anchored(const char* name, char* to) {
  *to++ = '^';
  for (const char* c = name; *c != '\0'; ++c) {
    if (strchr(regex_specials, *c) != nullptr)
      *to++ = '\\';
    *to++ = *c;
  }
  *to++ = '$';
  *to++ = '\0';
  return to;
}

// Whether pkg would read the names as patterns: a "*" in any of them makes
// it match every name of the command as a glob, and a name such as
// "font[misc]-1.0" then no longer matches itself.
bool needs_regex(const std::vector<const char*>& names) {
  for (const char* name : names) {
    if (strchr(name, '*') != nullptr)
      return true;
  }
  return false;
}

}  // namespace

const char** build_delete_argv(const std::vector<const char*>& names, bool dry_run) {
  // The tool, two -o options with their words, delete, -C, -n, -y, -x and --.
  const size_t most_fixed_words = 11;
  const bool regex = needs_regex(names);
  const size_t slots = sizeof(char*) * (most_fixed_words + names.size() + 1);
  size_t patterns = 0;
  if (regex) {
    for (const char* name : names)
      patterns += escaped_length(name) + 3;
  }
  auto words = static_cast<const char**>(malloc(slots + patterns));
  if (words == nullptr)
    return nullptr;
  size_t used = 0;
  for (const char* word : {pkg_tool_path, alias_guard[0], alias_guard[1], "-o", "AUTOREMOVE=false", "delete", match_case})
    words[used++] = word;
  if (dry_run)
    words[used++] = "-n";
  words[used++] = "-y";
  if (regex)
    words[used++] = "-x";
  words[used++] = "--";
  char* pattern = reinterpret_cast<char*>(words) + slots;
  for (const char* name : names) {
    if (regex) {
      words[used++] = pattern;
      pattern = write_anchored(name, pattern);
    } else {
      words[used++] = name;
    }
  }
  words[used] = nullptr;
  return words;
}
