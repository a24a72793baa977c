// A package as the tests describe it to a package tool, the stand-in or
// the real one.
#ifndef LEAFSWEEP_TESTS_E2E_PACKAGE_H
#define LEAFSWEEP_TESTS_E2E_PACKAGE_H

#include <string>
#include <utility>
#include <vector>

struct package {
  std::string name;
  std::string version;
  std::string comment;
  std::vector<std::string> depends;  // names without version
  std::vector<std::string> description;
  bool locked = false;
  bool vital = false;
  // Capabilities: removing the last package that provides one removes the
  // packages that require it. Initialised here, so that the tests' shorter
  // aggregate initialisers need not name them.
  std::vector<std::string> provides{}, requires{};
  // Shared libraries, for the stand-in tool; the real tool reads them from
  // the ELF files a package holds (copies).
  std::vector<std::string> shlib_provides{}, shlib_requires{};
  // A shell script that the real tool runs before it deletes the package.
  std::string pre_deinstall{};
  // Further files the real tool's package holds: each path relative to the
  // root, and the file on this machine whose bytes it gets.
  std::vector<std::pair<std::string, std::string>> copies{};
  std::string key() const { return name + "-" + version; }
};

// A leaf that provides the capability capfoo, capprov-1.0, and a package
// that requires it, capreq-1.0: pkg deletes the second with the first,
// though the leaf query sees no dependency between them.
inline std::vector<package> provider_and_requirer(bool requirer_locked = false) {
  package provider{"capprov", "1.0", "Provides capfoo", {}, {"capprov provides capfoo."}};
  provider.provides = {"capfoo"};
  package requirer{"capreq", "1.0", "Requires capfoo", {}, {"capreq requires capfoo."}};
  requirer.requires = {"capfoo"};
  requirer.locked = requirer_locked;
  return {provider, requirer};
}

#endif
