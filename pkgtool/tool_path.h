#ifndef LEAFSWEEP_PKGTOOL_TOOL_PATH_H
#define LEAFSWEEP_PKGTOOL_TOOL_PATH_H

// The package tool's absolute path, fixed when the program is built.
extern const char pkg_tool_path[];

#endif
