#ifndef LEAFSWEEP_PKGTOOL_TOOL_PATH_H
#define LEAFSWEEP_PKGTOOL_TOOL_PATH_H

// The package tool's absolute path, fixed when the program is built.
extern const char pkg_tool_path[];

// The words that follow the path on every command line of the tool. pkg
// expands the ALIAS entries of its configuration file before it looks its
// own commands up, so an alias named "delete" or "query" would change what
// a command line does, a dry run into a real delete even. A -o option
// replaces the whole ALIAS object, here with one that names no command of
// the tool; every other setting still comes from the configuration file.
constexpr const char* alias_guard[] = {"-o", "ALIAS=x=x"};

// The option, right after the command word, of every command line that
// names packages: the names match with case. Releases before 2.8 match
// without case unless told otherwise, and take no word of the
// configuration file for it, so "foo-1.0" named "Foo-1.0" as well; from
// 2.8 on the configuration file may say so.
constexpr const char* match_case = "-C";

#endif
