// call_log.h: the stand-in package tool's call log (pkg-calls.log), for the
// tests and for the stand-in itself. Header-only, C++17, POSIX.
//
// Record format, one per call, appended with a single write():
//   call
//   arg<TAB>ESCAPED        one per argv word, argv[0] included
//   env<TAB>ESCAPED        one per environment entry, in order (none if empty)
//   cwd<TAB>ESCAPED
//   blocked<TAB>N N ...    the signals blocked when the call started, by number
//   end
// ESCAPED: bytes 0x20..0x7e other than backslash as they are, backslash as
// "\\", tab "\t", line feed "\n", carriage return "\r", any other byte
// "\xHH" (two lower-case hex digits).
#ifndef LEAFSWEEP_TESTS_STANDIN_CALL_LOG_H
#define LEAFSWEEP_TESTS_STANDIN_CALL_LOG_H

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

struct pkg_call {
    std::vector<std::string> args, env;
    std::string cwd;
    std::vector<int> blocked;  // signal numbers, ascending
};

// The exact words the program passes (after argv[0]). Every command line
// starts with "-o" and pkg_alias_guard, which replaces pkg.conf's ALIAS
// entries so that no alias can turn a dry run into a delete.
inline const char* const pkg_alias_guard = "ALIAS=x=x";
inline const char* const pkg_leaf_query_where = "%#r=0 && %k=0";
inline const char* const pkg_leaf_query_format = "%n-%v\\t%c";         // backslash, 't'
inline const char* const pkg_leaf_query_vital_format = "%n-%v\\t%V";   // the form right before a delete
inline const char* const pkg_state_query_format = "%n-%v\\t%k\\t%V";  // backslash, 't', twice

// The formats of the whole-database queries that tell along which links a
// delete takes other packages with it: dependencies, required and provided
// capabilities, required and provided shared libraries. The required ones
// carry the lock flag (%k) too.
inline const char* const pkg_link_depends_format = "%n-%v\\t%k\\t%dn";
inline const char* const pkg_link_requires_format = "%n-%v\\t%k\\t%Y";
inline const char* const pkg_link_provides_format = "%n-%v\\t%y";
inline const char* const pkg_link_shlib_requires_format = "%n-%v\\t%k\\t%B";
inline const char* const pkg_link_shlib_provides_format = "%n-%v\\t%b";
inline const char* const pkg_link_query_formats[] = {pkg_link_depends_format, pkg_link_requires_format,
                                                     pkg_link_provides_format, pkg_link_shlib_requires_format,
                                                     pkg_link_shlib_provides_format};
// Each link query is asked with -e and a condition that leaves out the
// packages that have no such link, whose loading is most of a query's cost.
inline const char* const pkg_link_query_conditions[] = {"%#d > 0", "%#Y > 0", "%#y > 0", "%#B > 0", "%#b > 0"};

// The words of the link query with format after "query": -e, its condition,
// the format.
inline std::vector<std::string> link_query_words(const std::string& format) {
    for (std::size_t i = 0; i < 5; ++i)
        if (format == pkg_link_query_formats[i]) return {"-e", pkg_link_query_conditions[i], format};
    return {format};
}

// The whole environment the program gives every child.
inline const char* const pkg_child_path = "PATH=/sbin:/bin:/usr/sbin:/usr/bin:/usr/local/sbin:/usr/local/bin";

enum class pkg_call_kind {
    leaf_query,
    description_query,
    state_query,
    link_query,
    dry_run,
    delete_packages,
    unexpected
};

namespace pkg_call_log_detail {
// Whether argv[1..] starts with the words of head, in order.
inline bool starts_with(const pkg_call& c, const std::vector<std::string>& head) {
    if (c.args.size() <= head.size()) return false;
    for (std::size_t i = 0; i < head.size(); ++i)
        if (c.args[1 + i] != head[i]) return false;
    return true;
}

inline std::vector<std::string> query_head() { return {"-o", pkg_alias_guard, "query"}; }

// Where the words after "--" start when argv[1..] is the guard, "-o
// AUTOREMOVE=false delete -C", FLAGS, an optional "-x", "--" and at least
// one word; 0 when it is not.
inline std::size_t delete_words_at(const pkg_call& c, const std::vector<std::string>& flags) {
    std::vector<std::string> head{"-o", pkg_alias_guard, "-o", "AUTOREMOVE=false", "delete", "-C"};
    head.insert(head.end(), flags.begin(), flags.end());
    if (!starts_with(c, head)) return 0;
    std::size_t at = 1 + head.size();
    if (at < c.args.size() && c.args[at] == "-x") ++at;
    if (at >= c.args.size() || c.args[at] != "--") return 0;
    return at + 1 < c.args.size() ? at + 1 : 0;
}

inline std::size_t dry_run_words_at(const pkg_call& c) { return delete_words_at(c, {"-n", "-y"}); }

inline std::size_t deleted_words_at(const pkg_call& c) { return delete_words_at(c, {"-y"}); }

// Whether c is the leaf query in its form with the format given.
inline bool is_leaf_query_with(const pkg_call& c, const char* format) {
    std::vector<std::string> words = query_head();
    words.insert(words.end(), {"-e", pkg_leaf_query_where, format});
    return c.args.size() == 1 + words.size() && starts_with(c, words);
}
}  // namespace pkg_call_log_detail

// Both forms: the checklist's, with the comment, and the one with the vital
// flag that the program runs right before it deletes.
inline bool is_leaf_query(const pkg_call& c) {
    return pkg_call_log_detail::is_leaf_query_with(c, pkg_leaf_query_format) ||
           pkg_call_log_detail::is_leaf_query_with(c, pkg_leaf_query_vital_format);
}

// Whether c is the leaf query's form with the vital flag.
inline bool asks_vital(const pkg_call& c) {
    return pkg_call_log_detail::is_leaf_query_with(c, pkg_leaf_query_vital_format);
}

inline bool is_description_query(const pkg_call& c) {
    std::vector<std::string> head = pkg_call_log_detail::query_head();
    head.insert(head.end(), {"-C", "%e"});
    return c.args.size() == 1 + head.size() + 1 && pkg_call_log_detail::starts_with(c, head);
}

inline bool is_state_query(const pkg_call& c) {
    std::vector<std::string> head = pkg_call_log_detail::query_head();
    head.insert(head.end(), {"-C", pkg_state_query_format});
    return c.args.size() > 1 + head.size() && pkg_call_log_detail::starts_with(c, head);
}

// The format of a link query, one of pkg_link_query_formats ("" if c is not
// one). A link query is "query -e CONDITION FORMAT", with no words after it.
inline std::string link_query_format(const pkg_call& c) {
    const std::vector<std::string> head = pkg_call_log_detail::query_head();
    if (c.args.size() != 1 + head.size() + 3 || !pkg_call_log_detail::starts_with(c, head)) return std::string();
    for (const char* format : pkg_link_query_formats) {
        std::vector<std::string> words = head;
        const std::vector<std::string> rest = link_query_words(format);
        words.insert(words.end(), rest.begin(), rest.end());
        if (pkg_call_log_detail::starts_with(c, words)) return format;
    }
    return std::string();
}

inline bool is_link_query(const pkg_call& c) { return !link_query_format(c).empty(); }

inline bool is_dry_run(const pkg_call& c) { return pkg_call_log_detail::dry_run_words_at(c) != 0; }

inline bool is_delete(const pkg_call& c) { return pkg_call_log_detail::deleted_words_at(c) != 0; }

// Whether a dry run or a delete takes its words as regular expressions (-x).
inline bool uses_regex(const pkg_call& c) {
    std::size_t at = pkg_call_log_detail::dry_run_words_at(c);
    if (at == 0) at = pkg_call_log_detail::deleted_words_at(c);
    return at != 0 && c.args[at - 2] == "-x";
}

inline pkg_call_kind call_kind(const pkg_call& c) {
    if (is_leaf_query(c)) return pkg_call_kind::leaf_query;
    if (is_description_query(c)) return pkg_call_kind::description_query;
    if (is_state_query(c)) return pkg_call_kind::state_query;
    if (is_link_query(c)) return pkg_call_kind::link_query;
    if (is_dry_run(c)) return pkg_call_kind::dry_run;
    if (is_delete(c)) return pkg_call_kind::delete_packages;
    return pkg_call_kind::unexpected;
}

// The NAME word of a description query ("" if c is not one).
inline std::string described_package(const pkg_call& c) {
    return is_description_query(c) ? c.args.back() : std::string();
}

// The words after "--" of a delete, as given (empty if c is not one).
inline std::vector<std::string> deleted_packages(const pkg_call& c) {
    const std::size_t at = pkg_call_log_detail::deleted_words_at(c);
    if (at == 0) return {};
    return std::vector<std::string>(c.args.begin() + static_cast<long>(at), c.args.end());
}

// The words after "--" of a dry run, as given (empty if c is not one).
inline std::vector<std::string> dry_run_packages(const pkg_call& c) {
    const std::size_t at = pkg_call_log_detail::dry_run_words_at(c);
    if (at == 0) return {};
    return std::vector<std::string>(c.args.begin() + static_cast<long>(at), c.args.end());
}

// The words after the format of a state query (empty if c is not one).
inline std::vector<std::string> state_query_packages(const pkg_call& c) {
    if (!is_state_query(c)) return {};
    return std::vector<std::string>(c.args.begin() + 6, c.args.end());
}

// The plain key an anchored regular expression word stands for: "^KEY$" with
// a backslash before each of .[]()*+?{}|^$ and backslash in KEY. A word of
// any other shape comes back unchanged.
inline std::string regex_key(const std::string& word) {
    static const std::string special = ".[]()*+?{}|^$\\";
    if (word.size() < 2 || word.front() != '^' || word.back() != '$') return word;
    std::string key;
    for (std::size_t i = 1; i + 1 < word.size(); ++i) {
        const char c = word[i];
        if (c != '\\') {
            if (special.find(c) != std::string::npos) return word;
            key += c;
        } else if (i + 2 < word.size() && special.find(word[i + 1]) != std::string::npos) {
            key += word[++i];
        } else {
            return word;
        }
    }
    return key;
}

inline std::size_t count_calls(const std::vector<pkg_call>& calls, pkg_call_kind kind) {
    std::size_t n = 0;
    for (const pkg_call& c : calls)
        if (call_kind(c) == kind) ++n;
    return n;
}

inline std::string escape_log_word(const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c >= 0x20 && c <= 0x7e) out += static_cast<char>(c);
        else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

namespace pkg_call_log_detail {
// Inverse of escape_log_word; returns nullptr on success, else what is wrong.
inline const char* unescape(const std::string& s, std::string& out) {
    auto hexval = [](char h) -> int {
        if (h >= '0' && h <= '9') return h - '0';
        if (h >= 'a' && h <= 'f') return h - 'a' + 10;
        return -1;
    };
    out.clear();
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return "backslash at end of word";
        switch (s[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            if (i + 2 >= s.size()) return "short \\x escape";
            int hi = hexval(s[i + 1]), lo = hexval(s[i + 2]);
            if (hi < 0 || lo < 0) return "bad \\x escape";
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return "unknown escape";
        }
    }
    return nullptr;
}
}  // namespace pkg_call_log_detail

// Strict inverse of escape_log_word; throws std::runtime_error on a bad escape.
inline std::string unescape_log_word(const std::string& s) {
    std::string out;
    if (const char* err = pkg_call_log_detail::unescape(s, out))
        throw std::runtime_error(std::string("call log: ") + err);
    return out;
}

// Parses a whole log. Throws std::runtime_error (with the line number) if it
// is not a sequence of well-formed records.
inline std::vector<pkg_call> parse_call_log(const std::string& text) {
    std::vector<pkg_call> calls;
    if (text.empty()) return calls;
    if (text.back() != '\n') throw std::runtime_error("call log: does not end with a line feed");
    enum { want_call, in_args, in_env, want_blocked, want_end } state = want_call;
    std::size_t pos = 0, lineno = 0;
    std::string word;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineno;
        auto fail = [&](const std::string& what) {
            throw std::runtime_error("call log line " + std::to_string(lineno) + ": " + what);
        };
        std::size_t tab = line.find('\t');
        std::string key = line.substr(0, tab);
        if (tab != std::string::npos) {
            if (const char* err = pkg_call_log_detail::unescape(line.substr(tab + 1), word)) fail(err);
        }
        if (state == want_call) {
            if (line != "call") fail("expected 'call'");
            calls.emplace_back();
            state = in_args;
        } else if (tab != std::string::npos && key == "arg" && state == in_args) {
            calls.back().args.push_back(word);
        } else if (tab != std::string::npos && key == "env" && (state == in_args || state == in_env)) {
            calls.back().env.push_back(word);
            state = in_env;
        } else if (tab != std::string::npos && key == "cwd" && (state == in_args || state == in_env)) {
            calls.back().cwd = word;
            state = want_blocked;
        } else if (tab != std::string::npos && key == "blocked" && state == want_blocked) {
            std::size_t at = 0;
            while (at < word.size()) {
                std::size_t end = word.find(' ', at);
                if (end == std::string::npos) end = word.size();
                std::string number = word.substr(at, end - at);
                if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 3)
                    fail("bad signal number");
                calls.back().blocked.push_back(std::stoi(number));
                at = end + 1;
            }
            state = want_end;
        } else if (line == "end" && state == want_end) {
            state = want_call;
        } else {
            fail("unexpected line");
        }
    }
    if (state != want_call) throw std::runtime_error("call log: last record has no 'end'");
    return calls;
}

enum class read_result { ok, missing, error };

// Reads a whole file into text; on error, errno says why.
inline read_result read_file(const std::string& path, std::string& text) {
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? read_result::missing : read_result::error;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            errno = e;
            return read_result::error;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return read_result::ok;
}

// Reads and parses the log at path; an empty vector if the file does not exist.
inline std::vector<pkg_call> read_call_log(const std::string& path) {
    std::string text;
    switch (read_file(path, text)) {
    case read_result::missing:
        return {};
    case read_result::error:
        throw std::runtime_error("call log: cannot read " + path + ": " + std::strerror(errno));
    case read_result::ok:
        break;
    }
    return parse_call_log(text);
}

#endif
