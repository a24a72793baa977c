// How the leaf query's output becomes the leaf list.
#include <gtest/gtest.h>
#include <search.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "failing_stream.h"
#include "pkgtool/leaf_line.h"
#include "pkgtool/leaf_list.h"

namespace {

struct split_case {
  std::string line;  // as read, line feed included
  std::string key;
  std::string comment;
  std::string name;
};

// Failure reports name the case, not its bytes.
void PrintTo(const split_case& c, std::ostream* out) { *out << testing::PrintToString(c.line); }

class leaf_line_split : public testing::TestWithParam<split_case> {};

TEST_P(leaf_line_split, trims_and_splits_like_the_tool_prints) {
  const split_case& c = GetParam();
  std::vector<char> buffer(c.line.begin(), c.line.end());
  buffer.push_back('\0');
  trim_leaf_line(buffer.data());
  leaf_line parts = split_leaf_line(buffer.data());
  EXPECT_EQ(parts.key, c.key);
  EXPECT_EQ(parts.comment, c.comment);
  EXPECT_EQ(package_name(parts.key), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    cases, leaf_line_split,
    testing::Values(
        split_case{"curl-8.4.0\tCommand line tool for transferring data\n", "curl-8.4.0",
                   "Command line tool for transferring data", "curl-8.4.0"},
        split_case{"nano-7.2\n", "nano-7.2", "", "nano-7.2"},
        split_case{"a-1\tone\ttwo\n", "a-1", "one\ttwo", "a-1"},
        split_case{"a-1\t\tstarts with a tab\n", "a-1", "\tstarts with a tab", "a-1"},
        split_case{"\tlead-1\tcomment\n", "\tlead-1", "comment", "\tlead-1"},
        split_case{"\tword\n", "\tword", "", "\tword"},
        split_case{"\t\n", "\t", "", "\t"},
        split_case{"x-1\tc \t\r\n\v\f  \n", "x-1", "c", "x-1"},
        split_case{"x-1\tcaf\xc3\xa9\n", "x-1", "caf\xc3\xa9", "x-1"},
        split_case{"x-1\tends high\x80 \n", "x-1", "ends high\x80", "x-1"},
        split_case{"\n", "\n", "", "\n"},
        split_case{" \t \n", " ", "", " "},
        split_case{"", "", "", ""},
        split_case{"sub/dir/p-2\tslashes\n", "sub/dir/p-2", "slashes", "p-2"},
        split_case{"dir/\tends in a slash\n", "dir/", "ends in a slash", ""}));

// Each test has a fresh seen-name table and an empty list, as a run has.
class leaf_reading : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(hcreate(10000), 0); }
  void TearDown() override {
    free_leaf_list();
    hdestroy();
  }

  static void read(const std::string& output) {
    FILE* in = fmemopen(const_cast<char*>(output.data()), output.size(), "r");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(read_leaf_lines(in), 0);
    (void)fclose(in);
  }

  static std::vector<std::string> names() {
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(leaf_count));
    for (int i = 0; i < leaf_count; ++i)
      result.emplace_back(leaf_items[i].name);
    return result;
  }
};

TEST_F(leaf_reading, records_are_complete_unticked_and_in_order) {
  read("b-1\tsecond letter\na-2\tfirst letter\n");
  ASSERT_EQ(leaf_count, 2);
  EXPECT_STREQ(leaf_items[0].name, "b-1");
  EXPECT_STREQ(leaf_items[0].help, "second letter");
  EXPECT_STREQ(leaf_items[1].name, "a-2");
  EXPECT_STREQ(leaf_items[1].help, "first letter");
  for (int i = 0; i < leaf_count; ++i) {
    EXPECT_EQ(leaf_items[i].state, 0);
    EXPECT_STREQ(leaf_items[i].text, "");
  }
}

TEST_F(leaf_reading, no_key_is_offered_twice_in_a_run) {
  read("a-1\tA\nb-1\tB\na-1\tA again in the same pass\n");
  EXPECT_EQ(names(), (std::vector<std::string>{"a-1", "b-1"}));
  free_leaf_list();

  // A later pass: a-1 is still a leaf but was offered already; c-1 is new.
  read("a-1\tA\nc-1\tC\n");
  EXPECT_EQ(names(), (std::vector<std::string>{"c-1"}));
  free_leaf_list();

  read("b-1\tB\nc-1\tC\n");
  EXPECT_EQ(leaf_count, 0);
  EXPECT_EQ(leaf_items, nullptr);
}

TEST_F(leaf_reading, the_table_keeps_the_whole_key_and_the_list_the_name) {
  // Two keys that end in the same name are two packages for the table.
  read("x/p-1\tfirst\ny/p-1\tsecond\nx/p-1\trepeated\n");
  EXPECT_EQ(names(), (std::vector<std::string>{"p-1", "p-1"}));
}

TEST_F(leaf_reading, a_long_line_is_one_record_whatever_its_length) {
  std::string comment(5000, 'c');
  comment.replace(1500, 10, "evil-1.0\t ");  // would be a package if the line were cut
  read("long-1\t" + comment + "\nshort-1\tok\n");
  ASSERT_EQ(names(), (std::vector<std::string>{"long-1", "short-1"}));
  std::string help = leaf_items[0].help;
  EXPECT_EQ(help.size(), comment.size());
  EXPECT_EQ(help, comment);
}

TEST_F(leaf_reading, many_packages_grow_the_list_without_loss) {
  std::string output;
  for (int i = 0; i < 3000; ++i)
    output += "p" + std::to_string(i) + "-1\tcomment " + std::to_string(i) + "\n";
  read(output);
  ASSERT_EQ(leaf_count, 3000);
  EXPECT_STREQ(leaf_items[2999].name, "p2999-1");
  EXPECT_STREQ(leaf_items[2999].help, "comment 2999");
}

TEST_F(leaf_reading, a_last_line_without_line_feed_counts) {
  read("a-1\tA\nb-1\tB");
  EXPECT_EQ(names(), (std::vector<std::string>{"a-1", "b-1"}));
}

// A read that fails is reported, and never leaves part of a line in the
// list: "bravo-2" cut short would be "bra", or "b", another package's name.
TEST_F(leaf_reading, a_failed_read_is_reported_and_leaves_no_fragment) {
  const std::string output = "alpha-1\tA\nbravo-2\tB\n";
  for (int error : {EIO, EINTR}) {
    for (size_t cut = 0; cut <= output.size(); ++cut) {
      failing_source source{output.substr(0, cut), error};
      FILE* in = open_failing(source);
      ASSERT_NE(in, nullptr);
      EXPECT_EQ(read_leaf_lines(in), error) << cut;
      (void)fclose(in);
      std::vector<std::string> read_whole = names();
      std::vector<std::string> complete;
      for (const char* name : {"alpha-1", "bravo-2"}) {
        if (output.find(std::string(name) + "\t") + strlen(name) + 3 <= cut)
          complete.emplace_back(name);
      }
      EXPECT_EQ(read_whole, complete) << "after " << cut << " bytes";
      free_leaf_list();
      hdestroy();
      ASSERT_NE(hcreate(10000), 0);
    }
  }
}

TEST(seen_key, is_a_digest_of_the_whole_key_then_the_key) {
  char* a = seen_key("rubygem-aaaaaaaa-1.0");
  char* b = seen_key("rubygem-aaaaaaab-1.0");
  char* again = seen_key("rubygem-aaaaaaaa-1.0");
  ASSERT_TRUE(a && b && again);
  EXPECT_STREQ(a + 8, "rubygem-aaaaaaaa-1.0");
  EXPECT_EQ(strspn(a, "0123456789abcdef"), 8u);
  EXPECT_STREQ(a, again);
  // Names alike in their first bytes differ at once in the table.
  EXPECT_NE(std::string(a, 8), std::string(b, 8));
  free(a);
  free(b);
  free(again);
}

TEST(leaf_list, free_on_an_empty_list_is_harmless) {
  free_leaf_list();
  EXPECT_EQ(leaf_items, nullptr);
  EXPECT_EQ(leaf_count, 0);
  ASSERT_TRUE(append_leaf("n-1", ""));
  free_leaf_list();
  EXPECT_EQ(leaf_items, nullptr);
  EXPECT_EQ(leaf_count, 0);
}

}  // namespace
