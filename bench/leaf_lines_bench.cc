// How long turning the leaf query's raw output into the leaf list takes per
// line: read_leaf_lines over an in-memory stream, with the seen-name table
// empty, well filled, already holding every line, full, and with names
// that glibc's hsearch cannot tell apart by their hash.
#include <benchmark/benchmark.h>
#include <search.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "leaf_output.h"
#include "pkgtool/leaf_line.h"
#include "pkgtool/leaf_list.h"

namespace {

// The program's table: hcreate(10000) in run/run_driver.cc.
constexpr int table_size = 10000;
// Lines read per iteration.
constexpr int lines = 2000;

// Enters strdup'd copies of the keys of the count leaves from first on, as
// earlier passes would have, until the table is full. Returns the copies.
std::vector<char*> fill_table(int first, int count) {
  std::vector<char*> keys;
  for (int i = first; i < first + count; ++i) {
    char* key = seen_key(leaf_name(i).c_str());
    ENTRY entry{key, nullptr};
    if (hsearch(entry, ENTER) == nullptr) {
      free(key);
      break;
    }
    keys.push_back(key);
  }
  return keys;
}

// The program keeps every key copy until it exits; a benchmark that runs
// the reader thousands of times must give them back. keys are the table's
// copies from fill_table; the reader's own are found through text's keys.
void destroy_table(std::vector<char*> keys, const std::string& text) {
  std::unordered_set<char*> known(keys.begin(), keys.end());
  for (size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
    std::string key = text.substr(start, text.find('\t', start) - start);
    char* table_key = seen_key(key.c_str());
    ENTRY probe{table_key, nullptr};
    ENTRY* found = hsearch(probe, FIND);
    free(table_key);
    if (found != nullptr && known.insert(found->key).second)
      keys.push_back(found->key);
  }
  hdestroy();
  for (char* key : keys)
    free(key);
}

// Reads text, which holds `lines` leaf lines, after filling a new table
// with the prefill_count keys from prefill_first on; listed of the lines
// must end up in the list.
void read_lines(benchmark::State& state, std::string text, int prefill_first, int prefill_count, int listed) {
  for (auto _ : state) {
    state.PauseTiming();
    if (hcreate(table_size) == 0) {
      state.SkipWithError("hcreate failed");
      break;
    }
    std::vector<char*> keys = fill_table(prefill_first, prefill_count);
    FILE* in = fmemopen(text.data(), text.size(), "r");
    state.ResumeTiming();
    int error = read_leaf_lines(in);
    state.PauseTiming();
    bool as_expected = fclose(in) == 0 && error == 0 && leaf_count == listed;
    free_leaf_list();
    destroy_table(std::move(keys), text);
    state.ResumeTiming();
    if (!as_expected) {
      state.SkipWithError("the list does not hold the expected lines");
      break;
    }
  }
  state.counters["per_line"] =
      benchmark::Counter(lines, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A first pass: the table is empty.
void empty_table(benchmark::State& state) { read_lines(state, leaf_output(lines), lines, 0, lines); }

// A later pass on a big system: the table already holds state.range(0)
// other names.
void filled_table(benchmark::State& state) {
  read_lines(state, leaf_output(lines), lines, static_cast<int>(state.range(0)), lines);
}

// A pass in which every leaf was offered before: every line is dropped.
void every_line_seen(benchmark::State& state) { read_lines(state, leaf_output(lines), 0, lines, 0); }

// Past the table's size: every lookup of a new name walks the whole table,
// and the name is listed but cannot be entered.
void full_table(benchmark::State& state) { read_lines(state, leaf_output(lines), lines, 2 * table_size, lines); }

// Many packages of one family whose prefix fills the first eight bytes of
// every name, all that glibc's hsearch hashes of a long key: each new name
// is compared with every earlier one of the family.
void one_family(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += "rubygem-" + leaf_name(i) + "\t" + leaf_comment(i) + "\n";
  read_lines(state, text, lines, 0, lines);
}

}  // namespace

BENCHMARK(empty_table);
BENCHMARK(filled_table)->Arg(5000)->Arg(table_size - lines);
BENCHMARK(every_line_seen);
BENCHMARK(full_table);
BENCHMARK(one_family);
BENCHMARK_MAIN();
