// Fuzzes how the leaf query's raw output becomes the leaf list, over the
// passes of one run that share the seen-name table.
//
// One input is one run: up to four passes' output, separated by the byte
// 0x1e. The fourth pass takes the rest, separators included, so every byte
// value still reaches the reader. The run starts with a fresh table; each
// pass is read into an empty list, checked and released, as the driver does.
//
// What the reader guarantees, and so what is checked after each pass:
// - leaf_count is the number of records, and every record is readable up to
//   leaf_count;
// - every record has a name and a help of its own and the shared empty text,
//   all NUL-terminated (each is read to its end, so AddressSanitizer reports
//   an unterminated text as an overrun), and is unticked;
// - the records are exactly, in order, the pass's lines whose key the run had
//   not seen yet, leaving out every line that holds a NUL byte or whose key
//   holds a byte outside printable ASCII. The expected key and comment are
//   worked out here from the raw bytes, apart from the program's own code;
// - no key is offered twice in a run. Names may repeat: the table keeps the
//   whole key and the list the text after its last '/', so "a/x-1" and
//   "b/x-1" are two packages that both show as "x-1". The real tool never
//   prints a '/' in a name, so there key and name are the same;
// - a name holds no '/' and only printable ASCII; a help holds no line feed
//   and does not end in white space;
// - after the run, every offered key is in the table.
#include <search.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pkgtool/leaf_line.h"
#include "pkgtool/leaf_list.h"

namespace {

// The driver's table holds 10000 keys; a smaller one makes each run start
// far quicker, and the reader does not care how large it is as long as it
// never fills. Every key comes from a line, so an input with more lines
// than the table holds keys is skipped.
const int table_size = 1000;
const int most_passes = 4;
const char pass_separator = '\x1e';

void check(bool holds, const char* what) {
  if (holds)
    return;
  fprintf(stderr, "leaf_lines_fuzzer: broken: %s\n", what);
  abort();
}

struct expected_record {
  std::string key;
  std::string name;
  std::string help;
};

bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_printable_ascii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

// The record one raw line (its line feed included, if it has one) stands
// for, or none when the line is never offered.
std::optional<expected_record> expect_record(const std::string& raw) {
  // A NUL would cut the line short as a C text, so the line is dropped.
  if (raw.find('\0') != std::string::npos)
    return std::nullopt;
  std::string line = raw;
  size_t end = line.size();
  while (end > 1 && is_c_space(line[end - 1]))
    --end;
  line.resize(end);

  expected_record record{line, "", ""};
  size_t start = line.find_first_not_of('\t');
  size_t tab = start == std::string::npos ? std::string::npos : line.find('\t', start);
  if (tab != std::string::npos) {
    record.key = line.substr(0, tab);
    record.help = line.substr(tab + 1);
  }
  // The checklist could not show such a key as it is.
  if (!is_printable_ascii(record.key))
    return std::nullopt;
  size_t slash = record.key.rfind('/');
  record.name = slash == std::string::npos ? record.key : record.key.substr(slash + 1);
  return record;
}

// The lines as getline gives them: each ends after its line feed, and a
// last line without one counts too.
std::vector<std::string> raw_lines(const std::string& output) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t feed = output.find('\n', start);
    size_t end = feed == std::string::npos ? output.size() : feed + 1;
    lines.push_back(output.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::vector<std::string> split_passes(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> passes;
  size_t start = 0;
  while (static_cast<int>(passes.size()) < most_passes - 1) {
    size_t separator = input.find(pass_separator, start);
    if (separator == std::string::npos)
      break;
    passes.push_back(input.substr(start, separator - start));
    start = separator + 1;
  }
  passes.push_back(input.substr(start));
  return passes;
}

void read_pass(std::string& output) {
  // An empty pass is read too, as an empty leaf query is; glibc opens a
  // stream of no bytes.
  FILE* in = fmemopen(output.data(), output.size(), "r");
  check(in != nullptr, "fmemopen could not open the pass's output");
  check(read_leaf_lines(in) == 0, "reading a pass from memory failed");
  fclose(in);
}

void check_pass(const std::vector<expected_record>& expected) {
  check(leaf_count >= 0, "leaf_count is negative");
  check(static_cast<size_t>(leaf_count) == expected.size(),
        "leaf_count is not the number of new keys in the pass");
  check(leaf_count == 0 || leaf_items != nullptr, "records counted but no array");
  for (int i = 0; i < leaf_count; ++i) {
    const DIALOG_LISTITEM& item = leaf_items[i];
    check(item.name != nullptr, "a record has no name");
    check(item.help != nullptr, "a record has no help");
    check(item.text == empty_text && empty_text[0] == '\0', "a record's text is not the empty text");
    check(item.state == 0, "a record is ticked");
    check(item.name != item.help, "a record's name and help share memory");

    std::string name(item.name);
    std::string help(item.help);
    check(name == expected[i].name, "a record's name is not its line's name");
    check(help == expected[i].help, "a record's help is not its line's comment");
    check(name.find('/') == std::string::npos, "a name holds a '/'");
    check(is_printable_ascii(name), "a name holds a byte outside printable ASCII");
    check(help.find('\n') == std::string::npos, "a help holds a line feed");
    check(help.empty() || !is_c_space(help.back()), "a help ends in white space");
  }
}

// The table owns none of its keys: the reader gave each one a copy that
// lives until the program ends. Here a run ends with every input, so the
// copies are looked up and released, which keeps leak checking on for the
// rest of the code. Every pointer is found before any is released, because
// a lookup may compare against other keys of the table.
void release_keys(const std::set<std::string>& keys) {
  std::vector<char*> copies;
  for (const std::string& key : keys) {
    char* table_key = seen_key(key.c_str());
    check(table_key != nullptr, "no memory for a key");
    ENTRY probe{table_key, nullptr};
    ENTRY* found = hsearch(probe, FIND);
    free(table_key);
    check(found != nullptr, "an offered key is not in the table");
    copies.push_back(found->key);
  }
  for (char* copy : copies)
    free(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each pass may end in a line without a line feed.
  if (std::count(data, data + size, '\n') + most_passes > table_size)
    return 0;
  check(hcreate(table_size) != 0, "hcreate failed");

  std::set<std::string> offered_keys;
  for (std::string& output : split_passes(data, size)) {
    std::vector<expected_record> expected;
    for (const std::string& raw : raw_lines(output)) {
      std::optional<expected_record> record = expect_record(raw);
      if (record && offered_keys.insert(record->key).second)
        expected.push_back(*record);
    }
    read_pass(output);
    check_pass(expected);
    free_leaf_list();
    check(leaf_count == 0 && leaf_items == nullptr, "the list is not empty after release");
  }

  release_keys(offered_keys);
  hdestroy();
  return 0;
}
