// A stream that gives some bytes and then fails, as a pipe does when a read
// is refused or interrupted. glibc only (fopencookie); the tests run there.
#ifndef LEAFSWEEP_TESTS_UNIT_FAILING_STREAM_H
#define LEAFSWEEP_TESTS_UNIT_FAILING_STREAM_H

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

struct failing_source {
  std::string bytes;  // given out a few at a time, so that reads end mid-line
  int error;          // the errno of every read after them
  size_t given = 0;
};

inline ssize_t read_failing_source(void* cookie, char* buffer, size_t size) {
  auto* source = static_cast<failing_source*>(cookie);
  if (source->given == source->bytes.size()) {
    errno = source->error;
    return -1;
  }
  size_t count = std::min({size, source->bytes.size() - source->given, size_t{5}});
  std::copy_n(source->bytes.begin() + static_cast<std::ptrdiff_t>(source->given), count, buffer);
  source->given += count;
  return static_cast<ssize_t>(count);
}

// The stream reads source, which must outlive it.
inline FILE* open_failing(failing_source& source) {
  cookie_io_functions_t io{};
  io.read = read_failing_source;
  return fopencookie(&source, "r", io);
}

#endif
