// The bytes that sample_dialog writes to its standard error in "stderr"
// mode. Every byte value occurs, and there are several times more than a
// pipe holds, so the harness must keep reading while the child writes.
#ifndef LEAFSWEEP_TESTS_PTY_SAMPLE_PAYLOAD_H
#define LEAFSWEEP_TESTS_PTY_SAMPLE_PAYLOAD_H

#include <string>

inline std::string stderr_payload() {
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i ^ (i >> 8)) & 0xFF);
  return bytes;
}

#endif
