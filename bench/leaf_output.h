// The leaves of a made-up big system, shared by the benchmarks so that the
// program, the floor and the micro-benchmarks all see the same packages.
#ifndef LEAFSWEEP_BENCH_LEAF_OUTPUT_H
#define LEAFSWEEP_BENCH_LEAF_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>

// Names are spread as on a real system: about half belong to a few
// language and library families sharing a prefix, and within a family the
// names differ soon after it. rubygem- fills a name's first eight bytes on
// its own, as it does on a real system (see docs/benchmarks.md on why that
// matters).
inline const char* leaf_family(uint32_t mix) {
  static const char* const families[20] = {
      "", "", "", "", "", "", "", "", "", "",
      "py311-", "py311-", "py311-", "p5-", "p5-", "rubygem-", "php82-", "hs-", "font-", "R-cran-",
  };
  return families[mix % 20];
}

inline const char* leaf_syllable(uint32_t mix) {
  static const char* const syllables[32] = {
      "al", "ber", "cap", "do", "el", "fix", "gra", "hu", "in", "jo", "ka", "lib", "mo", "net", "or", "pix",
      "qu", "ra", "sto", "tex", "ul", "vi", "wa", "xml", "yo", "zip", "sh", "tr", "gl", "bz", "ct", "ssl",
  };
  return syllables[mix % 32];
}

// The package of the i-th leaf, "name-version": a family, two syllables,
// and i in letters so that every name is different.
inline std::string leaf_name(int i) {
  uint32_t mix = static_cast<uint32_t>(i) * 2654435761u;
  std::string name = leaf_family(mix >> 7);
  name += leaf_syllable(mix >> 12);
  name += leaf_syllable(mix >> 17);
  name += '-';
  int rest = i;
  do {
    name += static_cast<char>('a' + rest % 26);
    rest /= 26;
  } while (rest != 0);
  char version[32];
  std::snprintf(version, sizeof version, "-%d.%d.%d", 1 + i % 7, i % 13, i % 5);
  return name + version;
}

inline const char* leaf_comment_text(int i) {
  static const char* const comments[] = {
      "Library",
      "Command line tool for everyday work",
      "Bindings for a widely used C library, with documentation",
      "Small utility",
      "Collection of fonts for the console and for X11 applications",
      "Parser and generator for a structured text format",
  };
  return comments[i % 6];
}

// Its one-line comment; short enough to fit the bottom line of an 80
// column screen.
inline std::string leaf_comment(int i) {
  char text[96];
  std::snprintf(text, sizeof text, "%s (%d)", leaf_comment_text(i), i);
  return text;
}

// What the leaf query prints for the count leaves from the first-th on:
// "name-version<TAB>comment" lines.
inline std::string leaf_output(int count, int first = 0) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    text += leaf_name(i);
    text += '\t';
    text += leaf_comment(i);
    text += '\n';
  }
  return text;
}

#endif
