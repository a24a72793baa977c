#include "real_fixture.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

void real_tool_run::add_packages(const std::vector<package>& packages) {
  add_to_new_root(dir(), packages, REAL_PACKAGE_CACHE);
  remember_comments(packages);
}

std::vector<std::string> real_tool_run::database_rows() const {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  const std::string file = path("root/var/db/pkg/local.sqlite");
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name || '-' || version FROM packages ORDER BY id", -1, &select, nullptr) ==
      SQLITE_OK) {
    while (sqlite3_step(select) == SQLITE_ROW)
      rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
  } else {
    ADD_FAILURE() << "cannot read the package table: " << sqlite3_errmsg(db);
  }
  sqlite3_finalize(select);
  sqlite3_close(db);
  return rows;
}

bool real_tool_run::file_installed(const package& p) const {
  struct stat info;
  return stat(path("root/" + package_file(p)).c_str(), &info) == 0;
}

testing::AssertionResult real_tool_run::wait_for_listed(const std::vector<std::string>& keys) {
  if (!wait_for_checklist())
    return testing::AssertionFailure() << "no checklist";
  if (term().wait_for([&](const terminal&) { return checklist_entries(term()) == keys; }))
    return testing::AssertionSuccess();
  testing::AssertionResult failure = testing::AssertionFailure();
  failure << "the checklist lists:";
  for (const std::string& key : checklist_entries(term()))
    failure << " " << key;
  failure << "\nwanted:";
  for (const std::string& key : keys)
    failure << " " << key;
  return failure;
}

std::vector<std::string> real_tool_run::text_in(const box& b) const {
  std::vector<std::string> lines;
  for (int r = b.top + 1; r < b.bottom(); ++r) {
    std::vector<std::string> row = cells(term().row(r));
    if (static_cast<int>(row.size()) > b.left && row[static_cast<size_t>(b.left)] == "\u251c")
      break;  // the line above the buttons
    std::string line;
    // One blank stands between the border and the text.
    for (int c = b.left + 2; c < b.right() && c < static_cast<int>(row.size()); ++c)
      line += row[static_cast<size_t>(c)];
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
  }
  while (!lines.empty() && lines.back().empty())
    lines.pop_back();
  return lines;
}

const package& find_package(const std::vector<package>& system, const std::string& key) {
  for (const package& p : system) {
    if (p.key() == key)
      return p;
  }
  throw std::invalid_argument("no package " + key);
}

std::vector<std::string> without(std::vector<std::string> keys, const std::vector<std::string>& gone) {
  keys.erase(std::remove_if(keys.begin(), keys.end(),
                            [&](const std::string& k) { return std::find(gone.begin(), gone.end(), k) != gone.end(); }),
             keys.end());
  return keys;
}

std::vector<std::string> sorted(std::vector<std::string> keys) {
  std::sort(keys.begin(), keys.end());
  return keys;
}
