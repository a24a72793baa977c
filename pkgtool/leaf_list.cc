#include "pkgtool/leaf_list.h"

#include <cstdlib>
#include <cstring>

DIALOG_LISTITEM* leaf_items = nullptr;
int leaf_count = 0;
char empty_text[] = "";

// Records past leaf_count are spare room, so that a long leaf query does
// not copy the whole array for every package.
static int leaf_capacity = 0;

static bool reserve_one_more() {
  if (leaf_count < leaf_capacity)
    return true;
  int capacity = leaf_capacity < 16 ? 16 : leaf_capacity * 2;
  if (capacity <= leaf_capacity)
    return false;
  void* grown = realloc(leaf_items, sizeof(DIALOG_LISTITEM) * static_cast<size_t>(capacity));
  if (grown == nullptr)
    return false;
  leaf_items = static_cast<DIALOG_LISTITEM*>(grown);
  leaf_capacity = capacity;
  return true;
}

bool append_leaf(const char* name, const char* help) {
  if (!reserve_one_more())
    return false;
  char* name_copy = strdup(name);
  char* help_copy = strdup(help);
  if (name_copy == nullptr || help_copy == nullptr) {
    free(name_copy);
    free(help_copy);
    return false;
  }
  DIALOG_LISTITEM& item = leaf_items[leaf_count];
  item.name = name_copy;
  item.text = empty_text;
  item.help = help_copy;
  item.state = 0;
  ++leaf_count;
  return true;
}

void free_leaf_list() {
  for (int i = 0; i < leaf_count; ++i) {
    free(leaf_items[i].help);
    free(leaf_items[i].name);
  }
  free(leaf_items);
  leaf_items = nullptr;
  leaf_count = 0;
  leaf_capacity = 0;
}
