#ifndef LEAFSWEEP_PKGTOOL_LEAF_LINE_H
#define LEAFSWEEP_PKGTOOL_LEAF_LINE_H

#include <cstdio>

// One line of the leaf query, "name-version<TAB>comment", split in place.
struct leaf_line {
  char* key;            // the text before the first tab that follows a non-tab
  const char* comment;  // everything after that tab; never null
};

// Cuts trailing white space, but never the line's first character.
void trim_leaf_line(char* line);

// Splits a trimmed line in place. Leading tabs stay in the key.
leaf_line split_leaf_line(char* line);

// The package name that a key stands for: the text after its last '/'.
const char* package_name(const char* key);

// The seen-name table's copy of a key: eight hex digits of a hash of the
// whole key, then the key. The C library's table may hash little more than
// a key's first bytes, and package names share long prefixes ("py311-",
// "rubygem-"); the digest in front spreads them over the table. Null when
// memory runs out; release it with free().
char* seen_key(const char* key);

// What is done with each line of the leaf query: 0 to go on with the next
// one, or an errno value that ends the reading.
using leaf_line_taker = int (*)(const leaf_line& line, void* context);

// Reads the leaf query's output to its end and hands every line, trimmed and
// split, to take. A line is taken whole however long it is; a line that
// holds a NUL byte or whose key is not all printable ASCII is skipped.
// Returns 0 when every line was read and taken; otherwise the errno value of
// the read that failed or the value take returned, and the lines after it
// were not taken.
int read_leaf_output(FILE* in, leaf_line_taker take, void* context);

// Enters the line's key in the seen-name table and, when the key is new,
// appends the line to the leaf list. Returns 0, or ENOMEM when the line
// could not be stored. The context is not used.
int offer_leaf(const leaf_line& line, void* context);

// Reads the leaf query's output and offers every line (offer_leaf). Returns
// as read_leaf_output does; on an error the list lacks what came after it.
int read_leaf_lines(FILE* in);

#endif
