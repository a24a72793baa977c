#ifndef LEAFSWEEP_PKGTOOL_TOOL_CHECK_H
#define LEAFSWEEP_PKGTOOL_TOOL_CHECK_H

// Whether the package tool can be run, as far as can be told without running
// it: 0 when it is a regular file that may be executed and, where it can be
// read, starts as a program or a script does; otherwise the errno value that
// tells why not, as executing it would.
int tool_fault();

#endif
