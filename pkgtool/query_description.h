#ifndef LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H
#define LEAFSWEEP_PKGTOOL_QUERY_DESCRIPTION_H

#include "pkgtool/tool_text.h"

// Asks the package tool for the long description of the package name. The
// text is null when the tool prints nothing (a tool that cannot be executed
// prints nothing on its standard output) or when error is set.
tool_text query_description(const char* name);

#endif
