#include "pkgtool/tool_messages.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pkgtool/printable_text.h"

namespace {

const char cut_mark[] = "[leafsweep: the rest of what pkg wrote here is left out]\n";

// Everything kept, within a bound of its own: beyond it a run keeps no more.
char kept[8 * tool_message_limit];
size_t kept_length = 0;
bool kept_full = false;

void keep(const char* text, size_t length) {
  size_t room = sizeof kept - kept_length;
  if (length > room - sizeof cut_mark) {
    length = room > sizeof cut_mark ? room - sizeof cut_mark : 0;
    kept_full = true;
  }
  memcpy(kept + kept_length, text, length);
  kept_length += length;
  if (kept_full) {
    memcpy(kept + kept_length, cut_mark, sizeof cut_mark - 1);
    kept_length += sizeof cut_mark - 1;
  }
}

bool kept_already(const char* text, size_t length) {
  for (size_t at = 0; at + length <= kept_length; ++at) {
    if (memcmp(kept + at, text, length) == 0)
      return true;
  }
  return false;
}

}  // namespace

// Keeps the length bytes at text, as read from a query's standard error: at
// most tool_message_limit + 1 of them, in a buffer with room for two more.
static bool keep_read(char* text, size_t length) {
  if (length == 0)
    return false;
  bool cut = length > tool_message_limit;
  if (cut)
    length = tool_message_limit;
  // A NUL would end the text early for make_printable.
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\0')
      text[i] = '?';
  }
  if (text[length - 1] != '\n')
    text[length++] = '\n';
  text[length] = '\0';
  make_printable(text);
  length = strlen(text);
  if (kept_full || kept_already(text, length))
    return true;
  keep(text, length);
  if (cut && !kept_full)
    keep(cut_mark, sizeof cut_mark - 1);
  return true;
}

size_t read_tool_messages(int fd, char* text) {
  size_t length = 0;
  while (length < tool_message_limit + 1) {
    ssize_t got = pread(fd, text + length, tool_message_limit + 1 - length, static_cast<off_t>(length));
    if (got == -1 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    length += static_cast<size_t>(got);
  }
  return length;
}

bool keep_tool_messages(int fd) {
  char text[tool_message_buffer];
  return keep_read(text, read_tool_messages(fd, text));
}

void keep_tool_words(const std::string& words) {
  char text[tool_message_buffer];
  size_t length = std::min(words.size(), tool_message_limit + 1);
  memcpy(text, words.data(), length);
  (void)keep_read(text, length);
}

void write_tool_messages() {
  if (kept_length != 0)
    (void)fwrite(kept, 1, kept_length, stderr);
  kept_length = 0;
  kept_full = false;
}
