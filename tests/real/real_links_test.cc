// The links along which pkg's delete takes unticked packages along, over
// a real database: dependencies, capabilities, shared libraries from real
// ELF files, and a library the base system has. Many ticked packages, a few
// of which bring others along: the notice names exactly those few, each
// with what it would take, and the rest goes. Where the release's queries
// show the links, two dry runs find them.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "real_fixture.h"

namespace {

class links : public real_tool_run {
 protected:
  // Makes the wrapper log every call of the tool from here on.
  void log_calls() { write_file("log-calls", ""); }
  // The dry runs the program asked for, from the log.
  size_t dry_runs() const {
    std::ifstream in(path("tool-calls.log"));
    size_t count = 0;
    for (std::string line; std::getline(in, line);)
      count += line.find(" delete ") != std::string::npos && line.find(" -n ") != std::string::npos ? 1 : 0;
    return count;
  }
  // Whether the release's queries tell capabilities (2.8 on).
  bool queries_capabilities() const { return tool({"query", "%n\\t%y"}).ok(); }
  // Whether pkg's own dry run of key alone would also remove other.
  bool takes_along(const std::string& key, const std::string& other) const {
    tool_result dry = tool({"delete", "-n", "-y", key});
    const std::string name = other.substr(0, other.rfind('-'));
    return dry.output.find("\t" + name + ": ") != std::string::npos;
  }
  // Waits for the notice of kept packages and checks it holds exactly the
  // lines given, then presses its OK.
  testing::AssertionResult notice_is(const std::vector<std::string>& lines) {
    if (!term().wait_for_text(kept_heading))
      return testing::AssertionFailure() << "no notice\n" << term().describe();
    for (const std::string& line : lines) {
      if (!term().wait_for_text(line))
        return testing::AssertionFailure() << "the notice does not say \"" << line << "\"\n" << term().describe();
    }
    std::optional<box> b = term().box_containing(kept_heading);
    if (!b)
      return testing::AssertionFailure() << "the notice is in no box";
    size_t entries = 0;
    for (const std::string& line : text_in(*b))
      entries += line.find(": ") != std::string::npos ? 1 : 0;
    if (entries != lines.size())
      return testing::AssertionFailure() << "the notice names " << entries << " packages, not " << lines.size() << "\n"
                                         << term().describe();
    press_ok();
    return testing::AssertionSuccess();
  }
};

package leaf(const std::string& name) { return {name, "1.0", "The leaf " + name, {}, {name + " is a leaf."}}; }

// 24 ticked leaves. leaf00, leaf11 and leaf23 each provide a capability that
// an unticked leaf requires; leaf05 provides one that chain1 requires, and
// chain2 depends on chain1; leaf15 and leaf16 both provide one capability
// that sharedreq requires, so one of them may go, not both.
TEST_F(links, among_many_ticked_packages_name_exactly_those_that_bring_others_along) {
  std::vector<package> system;
  std::vector<std::string> ticked;
  for (int i = 0; i < 24; ++i) {
    system.push_back(leaf(std::string("leaf") + (i < 10 ? "0" : "") + std::to_string(i)));
    ticked.push_back(system.back().key());
  }
  auto provide = [&](int i, const std::string& capability) { system[static_cast<size_t>(i)].provides.push_back(capability); };
  std::vector<package> requirers;
  for (int i : {0, 11, 23}) {
    provide(i, "cap" + std::to_string(i));
    requirers.push_back(leaf("needs" + std::to_string(i)));
    requirers.back().requires = {"cap" + std::to_string(i)};
  }
  provide(5, "capchain");
  requirers.push_back(leaf("chain1"));
  requirers.back().requires = {"capchain"};
  requirers.push_back({"chain2", "1.0", "Depends on chain1", {"chain1"}, {"chain2 needs chain1."}});
  provide(15, "capshared");
  provide(16, "capshared");
  requirers.push_back(leaf("sharedreq"));
  requirers.back().requires = {"capshared"};
  // pkg adds a package that requires a capability only after a provider.
  system.insert(system.end(), requirers.begin(), requirers.end());
  add_packages(system);
  const std::vector<std::string> before = database_rows();
  log_calls();
  terminal& t = start_real(50, 100);
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  for (const std::string& key : ticked)
    tick(key);
  press_ok();
  ASSERT_TRUE(notice_is({"leaf00-1.0: deleting it would also delete needs0-1.0",
                         "leaf05-1.0: deleting it would also delete chain1-1.0, chain2-1.0",
                         "leaf11-1.0: deleting it would also delete needs11-1.0",
                         "leaf16-1.0: deleting it with the others would also delete sharedreq-1.0",
                         "leaf23-1.0: deleting it would also delete needs23-1.0"}));
  ASSERT_TRUE(wait_for_question());
  const std::vector<std::string> deleted =
      without(ticked, {"leaf00-1.0", "leaf05-1.0", "leaf11-1.0", "leaf16-1.0", "leaf23-1.0"});
  EXPECT_EQ(sorted(without(before, database_rows())), sorted(deleted));
  if (queries_capabilities()) {
    EXPECT_EQ(dry_runs(), 2u);
  }
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

// libfoo holds a real libfoo.so.1, usesfoo a shared object that needs it:
// pkg records the library as provided by one and required by the other,
// and deletes usesfoo with libfoo, though no dependency links them. When
// the base system has the library too (a file of its name in the root's
// /usr/lib), pkg 2.8 on spares usesfoo, and libfoo may go. Where pkg
// records no such library (releases before 2.0, on Linux), nothing
// follows from it. capprov, ticked too, brings capreq along, so that the
// last look must tell which ticked packages bring others along.
struct library_case {
  const char* name;
  bool base_has_it;
};

void PrintTo(const library_case& c, std::ostream* out) { *out << c.name; }

class shared_library : public links, public testing::WithParamInterface<library_case> {};

TEST_P(shared_library, takes_its_users_along_unless_the_base_system_has_it) {
  package provider = leaf("libfoo");
  provider.copies = {{"usr/local/lib/libfoo.so.1", REAL_LIBFOO}};
  package user = leaf("usesfoo");
  user.copies = {{"usr/local/lib/libusesfoo.so", REAL_USESFOO}};
  std::vector<package> system{provider, user, leaf("nano")};
  for (const package& p : provider_and_requirer())
    system.push_back(p);
  add_packages(system);
  if (GetParam().base_has_it) {
    std::filesystem::create_directories(path("root/usr/lib"));
    write_file("root/usr/lib/libfoo.so.1", "");
  }
  const bool along = takes_along("libfoo-1.0", "usesfoo-1.0");
  const std::vector<std::string> before = database_rows();
  log_calls();
  terminal& t = start_real();
  ASSERT_TRUE(wait_for_listed(tool_leaves_now()));
  for (const char* key : {"capprov-1.0", "libfoo-1.0", "nano-1.0"})
    tick(key);
  press_ok();
  std::vector<std::string> notice{"capprov-1.0: deleting it would also delete capreq-1.0"};
  if (along)
    notice.push_back("libfoo-1.0: deleting it would also delete usesfoo-1.0");
  ASSERT_TRUE(notice_is(notice));
  ASSERT_TRUE(wait_for_question());
  std::vector<std::string> deleted{"nano-1.0"};
  if (!along)
    deleted.push_back("libfoo-1.0");
  EXPECT_EQ(sorted(without(before, database_rows())), sorted(deleted));
  // Without capabilities in the queries the links cannot explain capreq.
  if (queries_capabilities()) {
    EXPECT_EQ(dry_runs(), 2u);
  }
  answer_no(t);
  EXPECT_EQ(exit_code(), 0);
  EXPECT_EQ(t.stderr_text(), closing_line);
}

INSTANTIATE_TEST_SUITE_P(cases, shared_library,
                         testing::Values(library_case{"only_a_package_has_it", false},
                                         library_case{"the_base_system_has_it_too", true}),
                         [](const testing::TestParamInfo<library_case>& info) { return info.param.name; });

}  // namespace
