#include "pkgtool/query_description.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pkgtool/child_process.h"
#include "pkgtool/tool_path.h"

description read_description(FILE* in) {
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
        return {nullptr, ENOMEM};
      }
      text = grown;
      capacity = wanted;
    }
    memcpy(text + length, chunk, count);
    length += count;
    text[length] = '\0';
  }
  // fread gives 0 both at the end and on a read error; a description cut
  // short by an error must not pass for the whole one.
  if (!feof(in)) {
    int error = errno != 0 ? errno : EIO;
    free(text);
    return {nullptr, error};
  }
  return {text, 0};
}

description query_description(const char* name) {
  (void)fflush(stdout);
  // The name is one word of the tool's command line, whatever it holds.
  const char* const argv[] = {pkg_tool_path, "query", "%e", name, nullptr};
  tool_pipe query;
  if (!query.open(argv))
    return {nullptr, errno};
  return read_description(query.stream());
}
