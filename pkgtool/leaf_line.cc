#include "pkgtool/leaf_line.h"

#include <search.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pkgtool/leaf_list.h"

// The C locale's white space. Bytes above 0x7f are never white space here,
// whatever the locale says, so a trailing UTF-8 byte ends the trimming.
static bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void trim_leaf_line(char* line) {
  size_t length = strlen(line);
  if (length < 2)
    return;
  for (size_t i = length - 1; i > 0 && is_space(line[i]); --i)
    line[i] = '\0';
}

leaf_line split_leaf_line(char* line) {
  leaf_line parts{line, empty_text};
  char* start = line + strspn(line, "\t");
  char* tab = strchr(start, '\t');
  if (*start == '\0' || tab == nullptr)
    return parts;
  *tab = '\0';
  parts.comment = tab + 1;
  return parts;
}

const char* package_name(const char* key) {
  const char* slash = strrchr(key, '/');
  return slash != nullptr ? slash + 1 : key;
}

// Whether the checklist shows the key exactly as it is. A control byte can
// move the cursor (a backspace or a carriage return writes over the name)
// and a byte above 0x7f can hide the rest of it, so the user could tick one
// name on the screen and delete another.
static bool shows_as_is(const char* key) {
  for (const char* c = key; *c != '\0'; ++c) {
    unsigned char byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte > 0x7e)
      return false;
  }
  return true;
}

char* seen_key(const char* key) {
  static const char hex[] = "0123456789abcdef";
  // FNV-1a, 32 bits.
  uint32_t hash = 2166136261u;
  for (const char* c = key; *c != '\0'; ++c)
    hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
  size_t length = strlen(key);
  auto copy = static_cast<char*>(malloc(8 + length + 1));
  if (copy == nullptr)
    return nullptr;
  for (int i = 0; i < 8; ++i)
    copy[i] = hex[(hash >> (28 - 4 * i)) & 0xf];
  memcpy(copy + 8, key, length + 1);
  return copy;
}

int offer_leaf(const leaf_line& parts, void* /*context*/) {
  // The table keeps pointers to its keys, so each key gets a copy of its own
  // that lives until the process ends. One ENTER both looks the key up and
  // enters it, handing back the entry already there for a key seen before,
  // so that a new key's probe sequence is walked once instead of twice.
  char* key_copy = seen_key(parts.key);
  if (key_copy == nullptr)
    return ENOMEM;
  ENTRY entry{key_copy, nullptr};
  ENTRY* held = hsearch(entry, ENTER);
  bool seen = held != nullptr && held->key != key_copy;
  if (held == nullptr || seen)
    free(key_copy);
  // A key the full table cannot take is still offered: past the table's
  // size a package may come twice, but none is hidden from the user.
  if (!seen && !append_leaf(package_name(parts.key), parts.comment))
    return ENOMEM;
  return 0;
}

int read_leaf_output(FILE* in, leaf_line_taker take, void* context) {
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  int error = 0;
  while (error == 0 && (length = getline(&line, &capacity, in)) != -1) {
    // Where a read fails partway through a line, getline may hand back the
    // part it has: that is no line, it may even be another package's name.
    if (line[length - 1] != '\n' && !feof(in))
      break;
    // A NUL byte would end the line early for every string function, and
    // the shortened key could name another package.
    if (memchr(line, '\0', static_cast<size_t>(length)) != nullptr)
      continue;
    trim_leaf_line(line);
    leaf_line parts = split_leaf_line(line);
    if (shows_as_is(parts.key))
      error = take(parts, context);
  }
  // getline ends with -1 both at the end of the output and when reading or
  // growing its buffer fails; only the first is the whole list.
  if (error == 0 && !feof(in))
    error = errno != 0 ? errno : EIO;
  free(line);
  return error;
}

int read_leaf_lines(FILE* in) {
  return read_leaf_output(in, offer_leaf, nullptr);
}
