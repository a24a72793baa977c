#include "real_tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush())
    throw std::runtime_error("cannot write " + path);
}

// A UCL string literal: UTF-8 passes as it is.
std::string ucl_string(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

std::string origin(const std::string& name) { return "misc/" + name; }

// A UCL array of strings under key; nothing for no items.
std::string ucl_list(const std::string& key, const std::vector<std::string>& items) {
  if (items.empty())
    return "";
  std::string text = key + ": [\n";
  for (const std::string& item : items)
    text += "  " + ucl_string(item) + ",\n";
  return text + "]\n";
}

std::string manifest(const package& p, const std::map<std::string, const package*>& by_name) {
  std::string description;
  for (const std::string& line : p.description)
    description += line + "\n";
  std::string text = "name: " + ucl_string(p.name) + "\norigin: " + ucl_string(origin(p.name)) +
                     "\nversion: " + ucl_string(p.version) + "\ncomment: " + ucl_string(p.comment) +
                     "\nmaintainer: \"ports@example.org\"\nwww: \"https://example.org/\"\nprefix: \"/usr/local\"\n" +
                     "desc: " + ucl_string(description) + "\n" + (p.vital ? "vital: true\n" : "") + "deps: {\n";
  for (const std::string& d : p.depends) {
    auto found = by_name.find(d);
    if (found == by_name.end())
      throw std::runtime_error(p.name + " depends on " + d + ", which is not in the system");
    text += "  " + ucl_string(d) + ": { origin: " + ucl_string(origin(d)) + ", version: " + ucl_string(found->second->version) +
            " }\n";
  }
  if (!p.pre_deinstall.empty())
    text += "}\nscripts: {\n  pre-deinstall: " + ucl_string(p.pre_deinstall) + "\n";
  text += "}\n" + ucl_list("provides", p.provides) + ucl_list("requires", p.requires) + "files: {\n  " +
          ucl_string("/" + package_file(p)) + ": \"\"\n";
  for (const auto& copy : p.copies)
    text += "  " + ucl_string("/" + copy.first) + ": \"\"\n";
  return text + "}\n";
}

// FNV-1a, 64 bits: enough to tell sets of manifests apart.
std::string digest(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  (void)std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// The packages with every package after those it depends on.
std::vector<const package*> dependencies_first(const std::vector<package>& packages) {
  std::map<std::string, const package*> by_name;
  for (const package& p : packages)
    by_name[p.name] = &p;
  std::vector<const package*> order;
  std::set<std::string> placed;
  // Depth first; the system is small and has no cycles.
  std::function<void(const package&)> place = [&](const package& p) {
    if (!placed.insert(p.name).second)
      return;
    for (const std::string& d : p.depends) {
      auto found = by_name.find(d);
      if (found != by_name.end())
        place(*found->second);
    }
    order.push_back(&p);
  };
  for (const package& p : packages)
    place(p);
  return order;
}

void require(const tool_result& result, const std::string& what) {
  if (!result.ok())
    throw std::runtime_error(what + " failed (wait status " + std::to_string(result.status) + "):\n" +
                             result.output + result.errors);
}

}  // namespace

bool tool_result::ok() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

tool_result run_in(const std::string& dir, const std::vector<std::string>& argv) {
  // Standard error goes to a file, so that one pipe is read to its end
  // without a second one filling up meanwhile.
  FILE* errors = std::tmpfile();
  int out[2];
  if (errors == nullptr || pipe(out) != 0)
    throw std::runtime_error("cannot make the child's output channels");
  std::vector<char*> words;
  words.reserve(argv.size() + 1);
  for (const std::string& word : argv)
    words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  pid_t pid = fork();
  if (pid == -1)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    int null = open("/dev/null", O_RDONLY);
    if (chdir(dir.c_str()) != 0 || null == -1 || dup2(null, 0) == -1 || dup2(out[1], 1) == -1 ||
        dup2(fileno(errors), 2) == -1)
      _exit(126);
    close(out[0]);
    char* no_environment[] = {nullptr};
    execve(words[0], words.data(), no_environment);
    _exit(127);
  }
  close(out[1]);
  tool_result result{0, "", ""};
  char buffer[4096];
  ssize_t count;
  while ((count = read(out[0], buffer, sizeof buffer)) != 0) {
    if (count > 0)
      result.output.append(buffer, static_cast<size_t>(count));
    else if (errno != EINTR)
      break;
  }
  close(out[0]);
  while (waitpid(pid, &result.status, 0) == -1) {
    if (errno != EINTR)
      throw std::runtime_error("waitpid failed");
  }
  std::rewind(errors);
  while ((count = static_cast<ssize_t>(std::fread(buffer, 1, sizeof buffer, errors))) > 0)
    result.errors.append(buffer, static_cast<size_t>(count));
  (void)std::fclose(errors);
  return result;
}

tool_result run_real_tool(const std::string& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv{REAL_PKG_WRAPPER};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_in(dir, argv);
}

std::string package_file(const package& p) { return "usr/local/share/" + p.name + "/README"; }

std::string made_packages(const std::vector<package>& packages, const std::string& cache_dir) {
  std::map<std::string, const package*> by_name;
  for (const package& p : packages)
    by_name[p.name] = &p;
  std::vector<std::string> manifests;
  std::string all = REAL_PKG;
  for (const package& p : packages) {
    manifests.push_back(manifest(p, by_name));
    all += "\n" + manifests.back();
  }
  std::string done = cache_dir + "/" + digest(all);
  if (fs::is_directory(done))
    return done;

  // Made aside and renamed into place, so that tests running at the same
  // time never see half a set; the one that comes second throws its own
  // copy away.
  fs::create_directories(cache_dir);
  std::string work_template = cache_dir + "/making-XXXXXX";
  if (mkdtemp(work_template.data()) == nullptr)
    throw std::runtime_error("cannot make a directory in " + cache_dir);
  const std::string work = work_template;
  const std::string out = work + "/packages";
  fs::create_directories(out);
  fs::create_directories(work + "/db");
  for (size_t i = 0; i < packages.size(); ++i) {
    const package& p = packages[i];
    const std::string stage = work + "/stage/" + p.name;
    fs::create_directories(fs::path(stage + "/" + package_file(p)).parent_path());
    write_file(stage + "/" + package_file(p), p.key() + "\n");
    for (const auto& copy : p.copies) {
      fs::create_directories(fs::path(stage + "/" + copy.first).parent_path());
      fs::copy_file(copy.second, stage + "/" + copy.first, fs::copy_options::overwrite_existing);
    }
    write_file(work + "/manifest", manifests[i]);
    // pkg create takes no root: with one it would look for the staged
    // files inside it. The database directory it is given is scratch too.
    require(run_in(work, {REAL_PKG, "-C", "/dev/null", "-R", REAL_PKG_REPOS, "-o", "SYSLOG=false", "-o",
                          "PKG_DBDIR=" + work + "/db", "create", "-f", "tar", "-M", work + "/manifest", "-r", stage,
                          "-o", out}),
            "making " + p.key());
  }
  if (rename(out.c_str(), done.c_str()) != 0 && errno != EEXIST && errno != ENOTEMPTY)
    throw std::runtime_error("cannot rename " + out + " to " + done);
  fs::remove_all(work);
  return done;
}

void add_to_new_root(const std::string& dir, const std::vector<package>& packages, const std::string& cache_dir) {
  const std::string made = made_packages(packages, cache_dir);
  fs::create_directories(dir + "/root/var/db/pkg");
  std::vector<std::string> add{"add"};
  for (const package* p : dependencies_first(packages))
    add.push_back(made + "/" + p->key() + ".pkg");
  require(run_real_tool(dir, add), "adding the packages");
  for (const package& p : packages) {
    if (p.locked)
      require(run_real_tool(dir, {"lock", "-y", p.name}), "locking " + p.key());
  }
}

std::vector<std::string> lines_of(const std::string& output) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < output.size();) {
    size_t end = std::min(output.find('\n', start), output.size());
    lines.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> tool_leaves(const std::string& dir) {
  tool_result query = run_real_tool(dir, {"query", "-e", "%#r=0 && %k=0", "%n-%v\\t%c"});
  require(query, "the leaf query");
  std::vector<std::string> keys;
  for (const std::string& line : lines_of(query.output))
    keys.push_back(line.substr(0, line.find('\t')));
  return keys;
}
