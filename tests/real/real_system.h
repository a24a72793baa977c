// The system the real-tool tests add to each scratch root: 33 packages with
// dependency chains, pkg itself, a locked leaf, a vital leaf, multi-line and
// UTF-8 descriptions (one with indented lines and a double blank), a name
// with "+", versions with "_" and with a "," epoch.
#ifndef LEAFSWEEP_TESTS_REAL_REAL_SYSTEM_H
#define LEAFSWEEP_TESTS_REAL_REAL_SYSTEM_H

#include <vector>

#include "package.h"

// Leaves: py311-requests, py311-black, git, wget, tmux, nano, libxml++,
// gtkmm30, vim, screen, rsync, pkg and doas, which is vital; sudo is a
// locked leaf. pkg is installed as a package that nothing depends on, as on
// every system. Deleting git, tmux and py311-black frees curl, expat,
// libevent, utf8proc and py311-click (openssl and pcre2 stay needed by
// wget); deleting curl then frees libnghttp2.
inline std::vector<package> real_system() {
  return {
      {"libffi", "3.4.4", "Foreign Function Interface", {}, {"A portable foreign function interface library."}},
      {"python311", "3.11.6", "Interpreted object-oriented programming language", {"libffi"},
       {"Python is an interpreted, interactive, object-oriented language.", "", "WWW: https://www.python.org/"}},
      {"py311-urllib3", "1.26.18,1", "HTTP library with thread-safe connection pooling", {"python311"},
       {"urllib3 brings connection pooling and file posting to Python."}},
      {"py311-idna", "3.4", "Internationalized Domain Names in Applications (IDNA)", {"python311"},
       {"Support for IDNA 2008, e.g. b\xc3\xbc\x63her.example for b\xc3\xbc\x63her."}},
      {"py311-charset-normalizer", "3.3.2", "Universal charset detector", {"python311"},
       {"Reads text in an unknown encoding and tells which one it is."}},
      {"py311-requests", "2.31.0", "HTTP library written in Python for human beings",
       {"python311", "py311-urllib3", "py311-idna", "py311-charset-normalizer"},
       {"Requests is an HTTP library for Python.", "WWW: https://requests.readthedocs.io/"}},
      {"py311-click", "8.1.7", "Python package for creating beautiful command line interfaces", {"python311"},
       {"Click composes command line interfaces from decorators."}},
      {"py311-black", "23.11.0", "Uncompromising code formatter", {"python311", "py311-click"},
       {"Black reformats Python code in place.", "Any colour you like."}},
      {"openssl", "3.0.12_1,1", "TLS/SSL and crypto library", {},
       {"OpenSSL implements the TLS protocol and a general crypto library.", "WWW: https://www.openssl.org/"}},
      {"libnghttp2", "1.58.0", "HTTP/2 C library", {}, {"An HTTP/2 library.", "WWW: https://nghttp2.org/"}},
      {"curl", "8.4.0", "Command line tool and library for transferring data with URLs", {"openssl", "libnghttp2"},
       {"curl transfers data with URL syntax.", "", "WWW: https://curl.se/"}},
      {"expat", "2.5.0", "XML 1.0 parser written in C", {}, {"Expat is a stream-oriented XML parser."}},
      {"pcre2", "10.42", "Perl Compatible Regular Expressions library, version 2", {},
       {"PCRE2 implements regular expressions with Perl 5 syntax."}},
      {"git", "2.42.0_1", "Distributed source code management tool", {"curl", "expat", "pcre2"},
       {"Git is a fast, scalable, distributed revision control system.", "", "WWW: https://git-scm.com/"}},
      {"libidn2", "2.3.4_1", "Implementation of IDNA2008 internationalized domain names", {},
       {"Encodes and decodes internationalized domain names."}},
      {"wget", "1.21.4", "Retrieve files from the Net via HTTP(S) and FTP", {"openssl", "libidn2", "pcre2"},
       {"GNU Wget retrieves files over HTTP, HTTPS and FTP."}},
      {"libevent", "2.1.12", "API for executing callback functions on events or timeouts", {},
       {"libevent runs callbacks on events."}},
      {"utf8proc", "2.9.0", "UTF-8 processing library", {},
       {"utf8proc normalizes, case-folds and measures UTF-8 text: \xc3\x85ngstr\xc3\xb6m \xe2\x86\x92 \xc3\xa5ngstr\xc3\xb6m."}},
      {"tmux", "3.3a_1", "Terminal Multiplexer", {"libevent", "utf8proc"},
       {"tmux lets you switch between programs in one terminal.", "WWW: https://tmux.github.io/"}},
      {"nano", "7.2", "Nano's ANOther editor, an enhanced free Pico clone", {},
       {"GNU nano \xe2\x80\x93 a small, friendly editor for the terminal.",
        "\xc3\x87\x61 marche: \xc2\xabPico\xc2\xbb keys, UTF-8 \xe2\x9c\x93, Gr\xc3\xb6\xc3\x9f\x65 \xe2\x89\xa5 1 \xc2\xb5s, na\xc3\xafve caf\xc3\xa9.",
        "", "WWW: https://www.nano-editor.org/"}},
      {"libsigc++", "3.4.0", "Callback framework for C++", {}, {"libsigc++ implements a typesafe callback system."}},
      {"libxml2", "2.11.6", "XML parser library for GNOME", {}, {"Libxml2 is the XML C parser of GNOME."}},
      {"libxml++", "5.0.3", "XML API for C++", {"libxml2"},
       {"libxml++ is a C++ wrapper for libxml2:", "  - DOM and SAX parsers,", "  - validation  against a DTD."}},
      {"glibmm", "2.78.0", "C++ interfaces for glib2", {"libsigc++"}, {"glibmm wraps glib for C++."}},
      {"gtkmm30", "3.24.8", "C++ wrapper for the Gtk+3 widget set", {"glibmm", "libsigc++"},
       {"gtkmm is the C++ interface for Gtk+."}},
      {"vim", "9.0.2116", "Improved version of the vi editor", {}, {"Vim is a highly configurable text editor."}},
      {"screen", "4.9.1,1", "Multi-screen window manager", {},
       {"Screen multiplexes a physical terminal between several processes."}},
      {"zstd", "1.5.5", "Fast real-time compression algorithm", {}, {"Zstandard compresses fast at high ratios."}},
      {"xxhash", "0.8.2", "Extremely fast non-cryptographic hash algorithm", {}, {"xxHash runs at RAM speed limits."}},
      {"rsync", "3.2.7", "Network file distribution/synchronization utility", {"zstd", "xxhash"},
       {"rsync copies files, sending only the differences."}},
      {"pkg", "2.8.4", "Package manager", {}, {"The package manager itself."}},
      {"sudo", "1.9.15p2", "Allow others to run commands as root", {}, {"Sudo runs commands as another user; locked here."},
       true},
      {"doas", "6.3p12", "Simple sudo alternative to run commands as another user", {},
       {"doas runs commands as another user; the administrator marked it vital."}, false, true},
  };
}

#endif
