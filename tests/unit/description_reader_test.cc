// The description query's output becomes one text, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "failing_stream.h"
#include "pkgtool/tool_text.h"

namespace {

char* read_from(const std::string& bytes) {
  FILE* in = tmpfile();
  EXPECT_NE(in, nullptr);
  if (in == nullptr)
    return nullptr;
  EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), in), bytes.size());
  rewind(in);
  tool_text read = read_tool_text(in);
  (void)fclose(in);
  EXPECT_EQ(read.error, 0);
  return read.text;
}

TEST(description_reader, nothing_read_gives_null) {
  EXPECT_EQ(read_from(""), nullptr);
}

TEST(description_reader, returns_every_byte_then_one_zero) {
  for (size_t size : {1u, 1023u, 1024u, 1025u, 2048u, 100000u}) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i)
      bytes += static_cast<char>('a' + i % 26);
    char* text = read_from(bytes);
    ASSERT_NE(text, nullptr) << size;
    EXPECT_EQ(std::string(text), bytes) << size;
    EXPECT_EQ(text[size], '\0');
    free(text);
  }
}

TEST(description_reader, a_failed_read_gives_its_error_and_no_text) {
  for (size_t size : {0u, 3u, 1024u, 3000u}) {
    failing_source source{std::string(size, 'd'), EIO};
    FILE* in = open_failing(source);
    ASSERT_NE(in, nullptr);
    tool_text read = read_tool_text(in);
    (void)fclose(in);
    EXPECT_EQ(read.error, EIO) << size;
    EXPECT_EQ(read.text, nullptr) << size;
  }
}

}  // namespace
