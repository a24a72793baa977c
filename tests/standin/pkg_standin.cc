// pkg-standin: a stand-in for DragonFly's pkg(8), for leafsweep's tests and
// demo. It accepts only the six kinds of command line leafsweep uses, keeps
// its data in the current directory (pkgdb, pkgctl, pkg-calls.log) and never
// looks at the environment. Its deletes follow pkg 2.8.4's. See README.md
// beside this file.
#include "call_log.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <fnmatch.h>
#include <regex.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

// pkg's own status for a delete of packages that are all locked or vital.
constexpr int exit_all_locked = 7;
// pkg's status (its EPKG_FATAL) when it cannot apply all its jobs.
constexpr int exit_fatal = 3;

// Exit statuses besides 0, 1, 3 and 7 (the values of BSD's sysexits.h).
constexpr int exit_usage = 64;      // unexpected command line
constexpr int exit_dataerr = 65;    // bad pkgdb or pkgctl
constexpr int exit_noinput = 66;    // pkgdb or a file named in pkgctl missing
constexpr int exit_software = 70;   // bad log, a signal that did not kill
constexpr int exit_cantcreat = 73;  // cannot write the log
constexpr int exit_ioerr = 74;      // cannot write output or the database

const char* const db_file = "pkgdb";
const char* const db_temp_template = "pkgdb.tmp.XXXXXX";
const char* const ctl_file = "pkgctl";
const char* const log_file = "pkg-calls.log";

bool write_all(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void message(const std::string& text) { write_all(2, text + "\n"); }

[[noreturn]] void fail(int status, const std::string& text) {
    message("pkg-standin: " + text);
    std::exit(status);
}

void out(const std::string& data) {
    if (!write_all(1, data)) fail(exit_ioerr, std::string("cannot write output: ") + std::strerror(errno));
}

// Reads a file the command needs; exits 66 if it is missing or unreadable.
std::string must_read(const std::string& path) {
    std::string text;
    if (read_file(path, text) != read_result::ok)
        fail(exit_noinput, "cannot read " + path + ": " + std::strerror(errno));
    return text;
}

// Splits text into lines at LF; a final LF does not start another line.
std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

bool is_blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// Decimal digits only, no sign, value <= max; -1 otherwise.
long parse_number(const std::string& s, long max) {
    if (s.empty() || s.size() > 10) return -1;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v <= max ? v : -1;
}

std::string current_directory() {
    std::vector<char> buf(256);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
        buf.resize(buf.size() * 2);
    }
}

// ---------------------------------------------------------------- call log

// Appends this call's record to the log with one write() and returns the
// log's descriptor, still holding a write lock on the whole file so that the
// call can be numbered (call_number) before anyone else appends.
int log_call(int argc, char** argv) {
    std::string record = "call\n";
    for (int i = 0; i < argc; ++i) record += "arg\t" + escape_log_word(argv[i]) + "\n";
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        record += "env\t" + escape_log_word(*e) + "\n";
    record += "cwd\t" + escape_log_word(current_directory()) + "\n";
    sigset_t mask;
    sigemptyset(&mask);
    ::sigprocmask(SIG_BLOCK, nullptr, &mask);
    std::string blocked;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sigismember(&mask, sig) == 1) blocked += (blocked.empty() ? "" : " ") + std::to_string(sig);
    record += "blocked\t" + blocked + "\n";
    record += "end\n";

    int fd = ::open(log_file, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fail(exit_cantcreat, std::string("cannot open ") + log_file + ": " + std::strerror(errno));
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    while (::fcntl(fd, F_SETLKW, &lock) == -1 && errno == EINTR) {
    }
    // Not locked (a file system without locks): go on, numbering is then
    // only exact for calls that do not overlap, which is the normal case.
    ssize_t n;
    do n = ::write(fd, record.data(), record.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(record.size()))
        fail(exit_cantcreat, std::string("cannot write ") + log_file + ": " +
                                 (n < 0 ? std::strerror(errno) : "short write"));
    return fd;
}

// The number of calls of this kind in the log, this one included (it is the
// last record, the log being locked since it was written).
long call_number(int log_fd, pkg_call_kind kind) {
    std::string text;
    char buf[65536];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(log_fd, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(exit_software, std::string("cannot read ") + log_file + ": " + std::strerror(errno));
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        offset += n;
    }
    try {
        return static_cast<long>(count_calls(parse_call_log(text), kind));
    } catch (const std::exception& e) {
        fail(exit_software, std::string(log_file) + ": " + e.what());
    }
}

// ---------------------------------------------------------------- pkgctl

enum class value_type { file, status, signal, none };

struct known_key {
    const char* name;
    pkg_call_kind kind = pkg_call_kind::unexpected;
    value_type type;
};

const known_key known_keys[] = {
    {"leaves_file", pkg_call_kind::leaf_query, value_type::file},
    {"leaves_exit", pkg_call_kind::leaf_query, value_type::status},
    {"leaves_signal", pkg_call_kind::leaf_query, value_type::signal},
    {"leaves_pause", pkg_call_kind::leaf_query, value_type::file},
    {"describe_file", pkg_call_kind::description_query, value_type::file},
    {"describe_exit", pkg_call_kind::description_query, value_type::status},
    {"describe_signal", pkg_call_kind::description_query, value_type::signal},
    {"describe_pause", pkg_call_kind::description_query, value_type::file},
    {"state_file", pkg_call_kind::state_query, value_type::file},
    {"state_exit", pkg_call_kind::state_query, value_type::status},
    {"state_signal", pkg_call_kind::state_query, value_type::signal},
    {"state_pause", pkg_call_kind::state_query, value_type::file},
    {"links_file", pkg_call_kind::link_query, value_type::file},
    {"links_exit", pkg_call_kind::link_query, value_type::status},
    {"links_signal", pkg_call_kind::link_query, value_type::signal},
    {"links_pause", pkg_call_kind::link_query, value_type::file},
    {"old_query_keys", pkg_call_kind::link_query, value_type::none},
    {"dryrun_file", pkg_call_kind::dry_run, value_type::file},
    {"dryrun_exit", pkg_call_kind::dry_run, value_type::status},
    {"dryrun_signal", pkg_call_kind::dry_run, value_type::signal},
    {"dryrun_pause", pkg_call_kind::dry_run, value_type::file},
    {"delete_exit", pkg_call_kind::delete_packages, value_type::status},
    {"delete_signal", pkg_call_kind::delete_packages, value_type::signal},
    {"delete_noop", pkg_call_kind::delete_packages, value_type::none},
    {"delete_pause", pkg_call_kind::delete_packages, value_type::file},
};

struct directive {
    std::string key;    // without the @K suffix
    long call = 0;      // K, or 0 for every call
    std::string value;
    long number = 0;    // status or signal
    pkg_call_kind kind = pkg_call_kind::unexpected;
};

struct control {
    std::vector<directive> directives;

    bool numbered(pkg_call_kind kind) const {
        for (const directive& d : directives)
            if (d.kind == kind && d.call != 0) return true;
        return false;
    }

    // The directive for key that applies to the n-th call: a directive for
    // exactly that call wins over one for every call; among equals, the last.
    const directive* find(const std::string& key, long n) const {
        const directive* best = nullptr;
        for (const directive& d : directives)
            if (d.key == key && (d.call == 0 || d.call == n) && (best == nullptr || d.call != 0 || best->call == 0))
                best = &d;
        return best;
    }
};

control read_control() {
    control ctl;
    std::string text;
    read_result r = read_file(ctl_file, text);
    if (r == read_result::missing) return ctl;
    if (r == read_result::error) fail(exit_noinput, std::string("cannot read ") + ctl_file + ": " + std::strerror(errno));
    std::vector<std::string> lines = split_lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto bad = [&](const std::string& what) {
            fail(exit_dataerr, std::string(ctl_file) + " line " + std::to_string(i + 1) + ": " + what + ": " +
                                   escape_log_word(line));
        };
        if (is_blank(line) || line[0] == '#') continue;
        std::size_t sep = line.find_first_of(" \t");
        std::string word = line.substr(0, sep);
        directive d;
        d.value = sep == std::string::npos ? std::string() : line.substr(sep + 1);
        std::size_t at = word.find('@');
        d.key = word.substr(0, at);
        if (at != std::string::npos) {
            d.call = parse_number(word.substr(at + 1), INT_MAX);
            if (d.call < 1) bad("the call number after @ must be a whole number from 1");
        }
        const known_key* key = nullptr;
        for (const known_key& k : known_keys)
            if (d.key == k.name) key = &k;
        if (key == nullptr) bad("unknown directive");
        d.kind = key->kind;
        switch (key->type) {
        case value_type::file:
            if (d.value.empty()) bad("a file name is needed");
            break;
        case value_type::status:
            d.number = parse_number(d.value, 255);
            if (d.number < 0) bad("an exit status from 0 to 255 is needed");
            break;
        case value_type::signal: {
            d.number = parse_number(d.value, INT_MAX);
            sigset_t set;
            sigemptyset(&set);
            if (d.number < 1 || sigaddset(&set, static_cast<int>(d.number)) != 0) bad("a signal number is needed");
            break;
        }
        case value_type::none:
            if (!d.value.empty()) bad("this directive takes no value");
            break;
        }
        ctl.directives.push_back(d);
    }
    return ctl;
}

[[noreturn]] void kill_self(int sig) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);  // fails for SIGKILL and SIGSTOP, which need no reset
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    (void)::raise(sig);
    ::kill(::getpid(), sig);
    fail(exit_software, "signal " + std::to_string(sig) + " did not end the process");
}

// Ends a command: prefix_signal, else prefix_exit, else status.
[[noreturn]] void finish(const control& ctl, const std::string& prefix, long n, int status) {
    if (const directive* d = ctl.find(prefix + "_signal", n)) kill_self(static_cast<int>(d->number));
    if (const directive* d = ctl.find(prefix + "_exit", n)) status = static_cast<int>(d->number);
    std::exit(status);
}

// ---------------------------------------------------------------- pkgdb

struct package {
    std::string name, version, comment;
    std::vector<std::string> depends, provides, requires, shlib_provides, shlib_requires, description;
    bool locked = false;
    bool vital = false;
    bool has_comment = false;
    std::vector<std::string> raw;  // its lines as read, with the comment and blank lines before it

    std::string full_name() const { return name + "-" + version; }
};

struct database {
    std::vector<std::string> head;  // comment and blank lines before the first package
    std::vector<package> packages;
    std::vector<std::string> tail;  // comment and blank lines after the last package's last line
    struct stat file_stat;

    bool required(const std::string& name) const {
        for (const package& p : packages)
            for (const std::string& d : p.depends)
                if (d == name) return true;
        return false;
    }

    // Index of the package called NAME-VERSION, or -1.
    long find_full(const std::string& word) const {
        for (std::size_t i = 0; i < packages.size(); ++i)
            if (packages[i].full_name() == word) return static_cast<long>(i);
        return -1;
    }

    long find_name(const std::string& word) const {
        for (std::size_t i = 0; i < packages.size(); ++i)
            if (packages[i].name == word) return static_cast<long>(i);
        return -1;
    }
};

database read_database() {
    database db;
    std::string text = must_read(db_file);
    if (::stat(db_file, &db.file_stat) != 0) fail(exit_noinput, std::string("cannot stat ") + db_file);
    std::vector<std::string> lines = split_lines(text);
    std::vector<std::string> pending;  // comment and blank lines not yet placed
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto bad = [&](const std::string& what) {
            fail(exit_dataerr, std::string(db_file) + " line " + std::to_string(i + 1) + ": " + what + ": " +
                                   escape_log_word(line));
        };
        if (is_blank(line) || line[0] == '#') {
            pending.push_back(line);
            continue;
        }
        std::size_t tab = line.find('\t');
        std::string key = line.substr(0, tab);
        bool has_value = tab != std::string::npos;
        std::string value = has_value ? line.substr(tab + 1) : std::string();
        if (key == "package") {
            std::size_t tab2 = value.find('\t');
            if (!has_value || tab2 == std::string::npos) bad("expected package<TAB>NAME<TAB>VERSION");
            package p;
            p.name = value.substr(0, tab2);
            p.version = value.substr(tab2 + 1);
            if (p.name.empty() || p.version.empty()) bad("empty package name or version");
            if (p.version.find('\t') != std::string::npos) bad("a tab in the version");
            if (db.find_name(p.name) >= 0) bad("a second package with this name");
            if (db.packages.empty()) db.head.swap(pending);
            p.raw.swap(pending);
            p.raw.push_back(line);
            db.packages.push_back(p);
            continue;
        }
        if (db.packages.empty()) bad("a line before the first package line");
        package& p = db.packages.back();
        if (key == "comment") {
            if (p.has_comment) bad("a second comment line");
            p.comment = value;
            p.has_comment = true;
        } else if (key == "depends") {
            if (value.empty()) bad("expected depends<TAB>NAME");
            if (value == p.name) bad("a package depending on itself");
            p.depends.push_back(value);
        } else if (key == "locked") {
            if (has_value) bad("'locked' takes no value");
            p.locked = true;
        } else if (key == "vital") {
            if (has_value) bad("'vital' takes no value");
            p.vital = true;
        } else if (key == "provides" || key == "requires") {
            if (value.empty()) bad("expected " + key + "<TAB>CAPABILITY");
            (key == "provides" ? p.provides : p.requires).push_back(value);
        } else if (key == "shlib_provides" || key == "shlib_requires") {
            if (value.empty()) bad("expected " + key + "<TAB>LIB");
            (key == "shlib_provides" ? p.shlib_provides : p.shlib_requires).push_back(value);
        } else if (key == "description") {
            p.description.push_back(value);
        } else {
            bad("unknown line");
        }
        for (std::string& l : pending) p.raw.push_back(l);
        pending.clear();
        p.raw.push_back(line);
    }
    if (db.packages.empty()) db.head.swap(pending);
    else db.tail.swap(pending);
    return db;
}

// Rewrites pkgdb without the packages marked in gone: a temporary file in the
// same directory, then rename.
void write_database(const database& db, const std::vector<bool>& gone) {
    std::string text;
    auto add = [&text](const std::vector<std::string>& lines) {
        for (const std::string& l : lines) text += l + "\n";
    };
    add(db.head);
    for (std::size_t i = 0; i < db.packages.size(); ++i)
        if (!gone[i]) add(db.packages[i].raw);
    add(db.tail);

    std::vector<char> temp(db_temp_template, db_temp_template + std::strlen(db_temp_template) + 1);
    int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(exit_ioerr, std::string("cannot create a temporary database: ") + std::strerror(errno));
    bool ok = ::fchmod(fd, db.file_stat.st_mode & 07777) == 0 && write_all(fd, text) && ::fsync(fd) == 0;
    int e = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (ok && ::rename(temp.data(), db_file) != 0) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        ::unlink(temp.data());
        fail(exit_ioerr, std::string("cannot rewrite ") + db_file + ": " + std::strerror(e));
    }
}

// ---------------------------------------------------------------- commands

// Waits, for a minute at most, until the reader has taken in everything
// written to standard output so far (a pipe's unread bytes).
void wait_until_read() {
    const struct timespec one_ms = {0, 1000000};
    for (int waited_ms = 0; waited_ms < 60000; ++waited_ms) {
        int unread = 0;
        if (::ioctl(1, FIONREAD, &unread) != 0 || unread == 0) return;
        ::nanosleep(&one_ms, nullptr);
    }
}

// Opens the FIFO at path for reading, which returns once a writer has it
// open, and reads until that writer closes it. Nothing here blocks, catches
// or ignores a signal, so that a test can end the tool while it waits.
void wait_on_fifo(const std::string& path) {
    int fd;
    while ((fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (fd < 0) fail(exit_noinput, "cannot open " + path + ": " + std::strerror(errno));
    char buf[256];
    ssize_t got;
    while ((got = ::read(fd, buf, sizeof buf)) != 0)
        if (got < 0 && errno != EINTR) break;
    ::close(fd);
}

// Writes a query's output. With PREFIX_pause FIFO it writes the first half,
// waits until the reader has taken that in, then opens FIFO and waits until
// the writer closes it before it writes the rest: the reader is then waiting
// halfway through the output, most likely in the middle of a line.
void out_pausing(const control& ctl, const std::string& prefix, long n, const std::string& text) {
    const directive* d = ctl.find(prefix + "_pause", n);
    if (d == nullptr) {
        out(text);
        return;
    }
    const std::size_t half = text.size() / 2;
    out(text.substr(0, half));
    wait_until_read();
    wait_on_fifo(d->value);
    out(text.substr(half));
}

// Both forms of the leaf query: with each leaf's comment, or with its vital
// flag.
[[noreturn]] void leaf_query(const control& ctl, long n, bool vital) {
    std::string text;
    if (const directive* d = ctl.find("leaves_file", n)) {
        text = must_read(d->value);
    } else {
        database db = read_database();
        for (const package& p : db.packages) {
            if (p.locked || db.required(p.name)) continue;
            text += p.full_name() + "\t" + (vital ? (p.vital ? "1" : "0") : p.comment) + "\n";
        }
    }
    out_pausing(ctl, "leaves", n, text);
    finish(ctl, "leaves", n, 0);
}

[[noreturn]] void description_query(const control& ctl, long n, const std::string& word) {
    int status = 0;
    if (const directive* d = ctl.find("describe_file", n)) {
        out_pausing(ctl, "describe", n, must_read(d->value));
    } else {
        database db = read_database();
        long i = db.find_full(word);
        if (i < 0) i = db.find_name(word);
        if (i < 0) {
            status = 1;  // pkg says nothing, as for any query that prints nothing
        } else {
            std::string text;
            for (const std::string& l : db.packages[static_cast<std::size_t>(i)].description) text += l + "\n";
            out_pausing(ctl, "describe", n, text);
        }
    }
    finish(ctl, "describe", n, status);
}

// Whether word names p: it is p's NAME-VERSION or NAME, or, as a glob, fits
// either of them.
bool matches(const package& p, const std::string& word, bool glob) {
    if (!glob) return word == p.full_name() || word == p.name;
    return ::fnmatch(word.c_str(), p.name.c_str(), 0) == 0 || ::fnmatch(word.c_str(), p.full_name().c_str(), 0) == 0;
}

[[noreturn]] void state_query(const control& ctl, long n, const std::vector<std::string>& words) {
    int status = 0;
    std::string text;
    if (const directive* d = ctl.find("state_file", n)) {
        text = must_read(d->value);
    } else {
        database db = read_database();
        for (const std::string& w : words)
            for (const package& p : db.packages)
                if (matches(p, w, false))
                    text += p.full_name() + "\t" + (p.locked ? "1" : "0") + "\t" + (p.vital ? "1" : "0") + "\n";
        status = text.empty() ? 1 : 0;
    }
    out_pausing(ctl, "state", n, text);
    finish(ctl, "state", n, status);
}

// What a link query lists: one line for each item of a package's list, with
// the package's lock flag for the lists of what it needs.
struct link_list {
    const char* format;
    std::vector<std::string> package::*items;
    bool lock_flag;
    const char* newer_key;  // the format's key if pkg before 2.8 does not know it, else nullptr
};

const link_list link_lists[] = {
    {pkg_link_depends_format, &package::depends, true, nullptr},
    {pkg_link_requires_format, &package::requires, true, "%Y"},
    {pkg_link_provides_format, &package::provides, false, "%y"},
    {pkg_link_shlib_requires_format, &package::shlib_requires, true, nullptr},
    {pkg_link_shlib_provides_format, &package::shlib_provides, false, nullptr},
};

[[noreturn]] void link_query(const control& ctl, long n, const std::string& format) {
    const link_list* list = &link_lists[0];
    for (const link_list& l : link_lists)
        if (format == l.format) list = &l;
    int status = 0;
    std::string text;
    if (const directive* d = ctl.find("links_file", n)) {
        text = must_read(d->value);
    } else if (list->newer_key != nullptr && ctl.find("old_query_keys", n) != nullptr) {
        // Releases before 2.8 refuse the format before they open the database.
        message(std::string("Unknown query format key: '") + list->newer_key + "'");
        status = 1;
    } else {
        // pkg 2.8.4 also prints a line with an empty item for a package with
        // none; the stand-in prints nothing for it, as older releases do.
        database db = read_database();
        for (const package& p : db.packages) {
            const std::string head = p.full_name() + (list->lock_flag ? (p.locked ? "\t1" : "\t0") : "") + "\t";
            for (const std::string& item : p.*list->items) text += head + item + "\n";
        }
    }
    out_pausing(ctl, "links", n, text);
    finish(ctl, "links", n, status);
}

// Whether the regular expression re is found in p's NAME or NAME-VERSION.
bool matches(const package& p, const regex_t& re) {
    return ::regexec(&re, p.name.c_str(), 0, nullptr, 0) == 0 ||
           ::regexec(&re, p.full_name().c_str(), 0, nullptr, 0) == 0;
}

// What pkg says of a word that is not a regular expression: its SQL function
// fails on the first package, once as pkg counts the matches and once as it
// walks them. pkg names the full path of the source file it was built from;
// the stand-in gives the path within pkg's source tree.
std::string invalid_regex(int error, const regex_t& re, const std::string& word) {
    char why[256];
    ::regerror(error, &re, why, sizeof why);
    std::string text;
    for (const char* line : {"1205", "1139"})
        text += std::string("pkg: sqlite error while executing iterator in file libpkg/pkgdb_iterator.c:") + line +
                ": Invalid regex '" + word + "': " + why + "\nUse -e for exact match or -g for glob\n";
    return text;
}

bool has(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

// Whether p would be broken by removing x: p depends on x, or requires a
// capability or a shared library of x's that no other package provides, not
// counting those of the removal set that have had their turn (done). Like
// pkg, a package of the set whose turn is still to come counts as a
// provider, so that of several providers in the set only the last to have
// its turn takes the users along. Capabilities and libraries are apart: a
// library does not meet the requirement of a capability of the same name.
bool needs(const database& db, const std::vector<bool>& gone, const std::vector<bool>& done, const package& p,
           std::size_t x) {
    using list = std::vector<std::string> package::*;
    const package& leaving = db.packages[x];
    if (has(p.depends, leaving.name)) return true;
    const std::pair<list, list> links[] = {{&package::requires, &package::provides},
                                           {&package::shlib_requires, &package::shlib_provides}};
    for (const auto& [required, provides] : links) {
        for (const std::string& item : p.*required) {
            if (!has(leaving.*provides, item)) continue;
            bool provided = false;
            for (std::size_t i = 0; i < db.packages.size() && !provided; ++i)
                provided = i != x && (!gone[i] || !done[i]) && has(db.packages[i].*provides, item);
            if (!provided) return true;
        }
    }
    return false;
}

// What a delete's words come to: the standard output up to the progress
// lines, the error lines, and either the packages to remove, sorted by name,
// or the status of a delete that removes nothing.
struct removal {
    std::string output, errors;
    std::vector<std::size_t> doomed;
    std::vector<bool> gone;
    int status = 0;
};

removal plan_removal(const database& db, const std::vector<std::string>& words, bool regex) {
    const std::size_t count = db.packages.size();
    removal r;
    r.gone.assign(count, false);
    // Without -x, one word with a '*' makes pkg match every word as a glob.
    bool glob = false;
    for (const std::string& w : words) glob = glob || (!regex && w.find('*') != std::string::npos);

    // Like pkg, each word is looked up on its own, a repeated one too.
    std::string held;
    long held_count = 0;
    std::vector<std::size_t> wave;  // the packages added to the removal set last
    for (const std::string& w : words) {
        regex_t re{};
        if (regex) {
            const int error = ::regcomp(&re, w.c_str(), REG_EXTENDED | REG_NOSUB);
            if (error != 0) {
                // It names nothing, and pkg does not say so: its count of the
                // matches failed rather than came to 0.
                r.errors += invalid_regex(error, re, w);
                continue;
            }
        }
        bool matched = false;
        for (std::size_t i = 0; i < count; ++i) {
            const package& p = db.packages[i];
            if (!(regex ? matches(p, re) : matches(p, w, glob))) continue;
            matched = true;
            if (p.locked || p.vital) {
                held += "\t" + p.name + " (" + (p.vital ? (p.locked ? "vital and locked" : "vital") : "locked") + ")\n";
                ++held_count;
            } else if (!r.gone[i]) {
                r.gone[i] = true;
                wave.push_back(i);
            }
        }
        if (regex) ::regfree(&re);
        if (!matched) r.output += "No packages matched for pattern '" + w + "'\n\n";
    }

    // Round by round, whatever the last round's packages would break joins
    // the set; pkg gives up at the end of the first round that reaches a
    // locked or vital package.
    std::vector<bool> done(count, false);
    while (!wave.empty()) {
        std::vector<std::size_t> next;
        bool refused = false;
        for (std::size_t x : wave) {
            done[x] = true;
            for (std::size_t i = 0; i < count; ++i) {
                const package& p = db.packages[i];
                if (r.gone[i] || !needs(db, r.gone, done, p, x)) continue;
                // pkg 2.8.4 itself, meeting a vital package here, keeps what
                // that package needs and removes the rest, by a plan of its
                // solver's; the stand-in refuses as for a locked package.
                if (p.locked || p.vital) {
                    r.errors += "pkg: " + p.name + " is locked cannot delete " + db.packages[x].name + "\n";
                    refused = true;
                } else {
                    r.gone[i] = true;
                    next.push_back(i);
                }
            }
        }
        if (refused) {
            r.errors += "Cannot perform request\n";
            r.status = 1;
            return r;
        }
        wave.swap(next);
    }

    r.output += "Checking integrity... done (0 conflicting)\n";
    if (held_count > 0)
        r.output += "The following package(s) are locked or vital and may not be removed:\n\n" + held + "\n";
    for (std::size_t i = 0; i < count; ++i)
        if (r.gone[i]) r.doomed.push_back(i);
    if (r.doomed.empty()) {
        const long asked = static_cast<long>(words.size());
        r.output += std::to_string(asked) + " packages requested for removal: " + std::to_string(held_count) +
                    " locked, " + std::to_string(asked - held_count) + " missing\n";
        r.status = held_count > 0 ? exit_all_locked : 1;
        return r;
    }
    std::sort(r.doomed.begin(), r.doomed.end(),
              [&db](std::size_t a, std::size_t b) { return db.packages[a].name < db.packages[b].name; });
    const std::string total = std::to_string(r.doomed.size());
    r.output += "Deinstallation has been requested for the following " + total +
                " packages (of 0 packages in the universe):\n\nInstalled packages to be REMOVED:\n";
    for (std::size_t i : r.doomed) r.output += "\t" + db.packages[i].name + ": " + db.packages[i].version + "\n";
    r.output += "\nNumber of packages to be removed: " + total + "\n";
    return r;
}

[[noreturn]] void dry_run(const control& ctl, long n, const std::vector<std::string>& words, bool regex) {
    if (const directive* d = ctl.find("dryrun_file", n)) {
        out_pausing(ctl, "dryrun", n, must_read(d->value));
        finish(ctl, "dryrun", n, 0);
    }
    const removal r = plan_removal(read_database(), words, regex);
    out_pausing(ctl, "dryrun", n, r.output);
    write_all(2, r.errors);
    finish(ctl, "dryrun", n, r.status);
}

// The order in which pkg applies the removals of doomed (in name order):
// each time, of the packages left that no other package left depends on, the
// one with the smallest name, so that a package goes before what it depends
// on. Packages that depend on each other in a cycle are left out.
std::vector<std::size_t> job_order(const database& db, std::vector<std::size_t> left) {
    std::vector<std::size_t> order;
    for (;;) {
        auto next = std::find_if(left.begin(), left.end(), [&](std::size_t i) {
            const std::string& name = db.packages[i].name;
            return std::none_of(left.begin(), left.end(),
                                [&](std::size_t other) { return has(db.packages[other].depends, name); });
        });
        if (next == left.end()) return order;
        order.push_back(*next);
        left.erase(next);
    }
}

[[noreturn]] void delete_packages(const control& ctl, long n, const std::vector<std::string>& words, bool regex) {
    const database db = read_database();
    const removal r = plan_removal(db, words, regex);
    out(r.output);
    write_all(2, r.errors);
    if (r.doomed.empty()) finish(ctl, "delete", n, r.status);
    // pkg orders all its jobs before it applies the first one.
    const std::vector<std::size_t> order = job_order(db, r.doomed);
    if (order.size() < r.doomed.size()) {
        message("pkg: failed to break job scheduling cycle");
        finish(ctl, "delete", n, exit_fatal);
    }
    const std::string total = std::to_string(order.size());
    const bool noop = ctl.find("delete_noop", n) != nullptr;
    const directive* pause = ctl.find("delete_pause", n);
    std::vector<bool> deleted(db.packages.size(), false);
    int status = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const package& p = db.packages[order[k]];
        // Without its force flag pkg does not remove itself. It stops at that
        // job, and the packages before it in the order stay removed.
        if (p.name == "pkg" || p.name == "pkg-devel") {
            message("pkg: Cannot delete pkg itself without force flag");
            status = exit_fatal;
            break;
        }
        const std::string tag = "[" + std::to_string(k + 1) + "/" + total + "] ";
        out(tag + "Deinstalling " + p.full_name() + "...\n");
        out(tag + "Deleting files for " + p.full_name() + ": done\n");
        deleted[order[k]] = true;
        // With delete_pause the first package is gone for good, its block
        // out of pkgdb, while the tool waits: a test can then stop a delete
        // that is half done.
        if (k == 0 && pause != nullptr) {
            if (!noop) write_database(db, deleted);
            wait_on_fifo(pause->value);
        }
    }
    if (!noop) write_database(db, deleted);
    finish(ctl, "delete", n, status);
}

}  // namespace

int main(int argc, char** argv) {
    int log_fd = log_call(argc, argv);

    pkg_call call;
    for (int i = 0; i < argc; ++i) call.args.push_back(argv[i]);
    pkg_call_kind kind = call_kind(call);
    if (kind == pkg_call_kind::unexpected) {
        std::string words;
        for (std::size_t i = 1; i < call.args.size(); ++i) words += " [" + escape_log_word(call.args[i]) + "]";
        fail(exit_usage, "unexpected command line:" + words);
    }

    control ctl = read_control();
    long n = ctl.numbered(kind) ? call_number(log_fd, kind) : 0;
    ::close(log_fd);  // releases the lock

    switch (kind) {
    case pkg_call_kind::leaf_query: leaf_query(ctl, n, asks_vital(call));
    case pkg_call_kind::description_query: description_query(ctl, n, described_package(call));
    case pkg_call_kind::state_query: state_query(ctl, n, state_query_packages(call));
    case pkg_call_kind::link_query: link_query(ctl, n, link_query_format(call));
    case pkg_call_kind::dry_run: dry_run(ctl, n, dry_run_packages(call), uses_regex(call));
    case pkg_call_kind::delete_packages: delete_packages(ctl, n, deleted_packages(call), uses_regex(call));
    case pkg_call_kind::unexpected: break;
    }
    return exit_software;
}
