#include "pkgtool/tool_text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pkgtool/child_process.h"

tool_text read_tool_text(FILE* in) {
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
        return {nullptr, 0, ENOMEM};
      }
      text = grown;
      capacity = wanted;
    }
    memcpy(text + length, chunk, count);
    length += count;
    text[length] = '\0';
  }
  // fread gives 0 both at the end and on a read error; an output cut short
  // by an error must not pass for the whole one.
  if (!feof(in)) {
    int error = errno != 0 ? errno : EIO;
    free(text);
    return {nullptr, 0, error};
  }
  return {text, length, 0};
}

tool_answer run_query(const char* const argv[], bool hold_messages) {
  tool_pipe query;
  if (!query.open(argv, hold_messages))
    return {false, {nullptr, 0, errno}, -1, false, {}};
  tool_text output = read_tool_text(query.stream());
  int status = query.close();
  return {true, output, status, query.wrote_errors(), query.errors()};
}

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
