// Fuzzes the reader of the description query's output. It must give null
// for no bytes at all, and otherwise a heap text that holds every byte in
// order, NULs and all, followed by one NUL. That closing NUL is read through
// the text, so AddressSanitizer reports an allocation that is a byte short.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pkgtool/tool_text.h"

namespace {

void check(bool holds, const char* what) {
  if (holds)
    return;
  fprintf(stderr, "description_fuzzer: broken: %s\n", what);
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // fmemopen takes a writable buffer even to read; glibc opens one of no
  // bytes too.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
  check(in != nullptr, "fmemopen could not open the input");
  tool_text read = read_tool_text(in);
  fclose(in);
  check(read.error == 0, "reading the input from memory failed");
  char* text = read.text;

  if (size == 0) {
    check(text == nullptr, "no bytes gave a text");
    return 0;
  }
  check(text != nullptr, "bytes gave no text");
  check(read.length == size, "the length is not the number of bytes read");
  check(memcmp(text, data, size) == 0, "the text is not the bytes read");
  check(text[size] == '\0', "the text does not end in a NUL after the bytes");
  free(text);
  return 0;
}
