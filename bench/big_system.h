// A big system of real packages for the benchmarks over the real package
// tool: generated names and comments (leaf_output.h), made into packages
// and added to a root once, and kept between runs.
#ifndef LEAFSWEEP_BENCH_BIG_SYSTEM_H
#define LEAFSWEEP_BENCH_BIG_SYSTEM_H

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "leaf_output.h"
#include "real_tool.h"

// installed packages named leaf_name(0) on; the first leaves of them are
// leaves, and every package past those is needed by one of them.
inline std::vector<package> big_system(int installed, int leaves) {
  std::vector<package> system;
  for (int i = 0; i < installed; ++i) {
    const std::string key = leaf_name(i);
    const size_t dash = key.rfind('-');
    system.push_back({key.substr(0, dash), key.substr(dash + 1), leaf_comment(i), {},
                      {"Package " + std::to_string(i) + " of a big system."}});
  }
  for (size_t i = static_cast<size_t>(leaves); i < system.size(); ++i)
    system[i % static_cast<size_t>(leaves)].depends.push_back(system[i].name);
  return system;
}

// The directory holding root/, a system of these packages, made in cache
// on the first call for this set of manifests and reused after that. The
// benchmarks only read the root: their delete commands are never run.
inline std::string big_system_dir(const std::vector<package>& system, const std::string& cache) {
  const std::string dir = made_packages(system, cache) + ".system";
  const std::string complete = dir + "/complete";
  if (access(complete.c_str(), F_OK) == 0)
    return dir;
  std::printf("(making a root with %zu packages in %s, once)\n", system.size(), dir.c_str());
  if (std::fflush(stdout) != 0)
    throw std::runtime_error("cannot write the table");
  std::filesystem::remove_all(dir);
  add_to_new_root(dir, system, cache);
  std::ofstream mark(complete);
  if (!mark.flush())
    throw std::runtime_error("cannot write " + complete);
  return dir;
}

#endif
