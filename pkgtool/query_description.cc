#include "pkgtool/query_description.h"

#include <cstdlib>
#include <cstring>

#include "pkgtool/child_process.h"
#include "pkgtool/tool_path.h"

char* read_description(FILE* in) {
  char chunk[1024];
  char* text = nullptr;
  size_t length = 0;
  size_t capacity = 0;
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, in)) > 0) {
    if (length + count + 1 > capacity) {
      size_t wanted = capacity * 2 > length + count + 1 ? capacity * 2 : length + count + 1;
      char* grown = static_cast<char*>(realloc(text, wanted));
      if (grown == nullptr) {
        free(text);
        return nullptr;
      }
      text = grown;
      capacity = wanted;
    }
    memcpy(text + length, chunk, count);
    length += count;
    text[length] = '\0';
  }
  return text;
}

char* query_description(const char* name) {
  (void)fflush(stdout);
  // The name is one word of the tool's command line, whatever it holds.
  const char* const argv[] = {pkg_tool_path, "query", "%e", name, nullptr};
  tool_pipe query;
  if (!query.open(argv))
    return nullptr;
  return read_description(query.stream());
}
