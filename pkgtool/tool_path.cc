#include "pkgtool/tool_path.h"

#ifndef LEAFSWEEP_PKG_TOOL
#error "LEAFSWEEP_PKG_TOOL must name the package tool's absolute path"
#endif

const char pkg_tool_path[] = LEAFSWEEP_PKG_TOOL;
