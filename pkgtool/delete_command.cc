#include "pkgtool/delete_command.h"

#include <cstdlib>

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

const char** build_delete_argv(const std::vector<const char*>& names, bool dry_run) {
  const size_t most_fixed_words = 7;
  auto words = static_cast<const char**>(malloc(sizeof(char*) * (most_fixed_words + names.size() + 1)));
  if (words == nullptr)
    return nullptr;
  size_t used = 0;
  for (const char* word : {pkg_tool_path, "-o", "AUTOREMOVE=false", "delete"})
    words[used++] = word;
  if (dry_run)
    words[used++] = "-n";
  words[used++] = "-y";
  words[used++] = "--";
  for (const char* name : names)
    words[used++] = name;
  words[used] = nullptr;
  return words;
}
