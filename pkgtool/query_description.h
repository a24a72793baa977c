#ifndef LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H
#define LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H

#include <cstdio>

// Asks the package tool for the long description of the package name. The
// text belongs to the caller, who releases it with free(); null when the
// query cannot start, prints nothing, or memory runs out.
char* query_description(const char* name);

// Reads a stream to its end into one NUL-terminated heap text; null when
// the stream gives nothing or memory runs out.
char* read_description(FILE* in);

#endif
