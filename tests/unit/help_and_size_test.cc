// What the Help box is given to show, and the smallest terminal that holds
// the checklist.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "run/checklist_size.h"
#include "run/help_text.h"

namespace {

struct printable_case {
  const char* label;
  std::string in;
  std::string out;
};

// Failure reports name the case, not its bytes.
void PrintTo(const printable_case& c, std::ostream* out) { *out << c.label; }

class printable_text : public testing::TestWithParam<printable_case> {
 protected:
  void SetUp() override { ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
  void TearDown() override { (void)setlocale(LC_CTYPE, "C"); }
};

TEST_P(printable_text, shows_escapes_and_bad_bytes_as_question_marks) {
  std::vector<char> text(GetParam().in.begin(), GetParam().in.end());
  text.push_back('\0');
  make_printable(text.data());
  EXPECT_EQ(std::string(text.data()), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    cases, printable_text,
    testing::Values(printable_case{"plain", "Line one.\n\tIndented.\n", "Line one.\n\tIndented.\n"},
                    printable_case{"utf8", "caf\xc3\xa9", "caf\xc3\xa9"},
                    printable_case{"clear", "a\x1b[2Jb", "a?[2Jb"},
                    printable_case{"title", "\x1b]0;owned\x07x", "?]0;owned?x"},
                    printable_case{"overwrite", "safe\rEVIL\b", "safe?EVIL?"},
                    printable_case{"c1", "\xc2\x9b" "31m", "?31m"},
                    printable_case{"bad_byte", "a\xff" "b", "a?b"},
                    printable_case{"cut_sequence", "a\xc3", "a?"}),
    [](const testing::TestParamInfo<printable_case>& info) { return info.param.label; });

TEST(description, is_cut_to_its_limit) {
  std::string long_text(description_limit + 100, 'd');
  std::vector<char> text(long_text.begin(), long_text.end());
  text.push_back('\0');
  prepare_description(text.data());
  EXPECT_EQ(std::string(text.data()), std::string(description_limit, 'd'));
}

struct size_case {
  int columns;
  screen_size needed;
};

void PrintTo(const size_case& c, std::ostream* out) { *out << c.columns << " columns"; }

class checklist_size : public testing::TestWithParam<size_case> {};

// Measured against the dialog library: one row less, or a column less at
// the narrowest, and the library either exits or hides the list.
TEST_P(checklist_size, is_the_smallest_that_shows_the_list_whole) {
  const char prompt[] =
      "These are the leaf packages installed on your system\n"
      "Chose the packages to deinstall. Help will display the package description.";
  screen_size needed = checklist_needs(prompt, GetParam().columns);
  EXPECT_EQ(needed.rows, GetParam().needed.rows);
  EXPECT_EQ(needed.columns, GetParam().needed.columns);
}

INSTANTIATE_TEST_SUITE_P(widths, checklist_size,
                         testing::Values(size_case{132, {10, 132}}, size_case{80, {10, 80}},
                                         size_case{78, {11, 78}}, size_case{40, {13, 40}},
                                         size_case{28, {15, 28}}, size_case{20, {15, 28}}),
                         [](const testing::TestParamInfo<size_case>& info) {
                           return "columns" + std::to_string(info.param.columns);
                         });

}  // namespace
