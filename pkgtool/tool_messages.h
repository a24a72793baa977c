#ifndef LEAFSWEEP_PKGTOOL_TOOL_MESSAGES_H
#define LEAFSWEEP_PKGTOOL_TOOL_MESSAGES_H

#include <cstddef>
#include <string>

// What the package tool wrote on standard error during the queries. The
// queries run while a dialog screen is up, or just before one comes, so
// their standard error goes to a file of the program's, never to the
// terminal: written there, the tool's words would land over the screen, and
// the next box would wipe them before they could be read. They are kept and
// written once no screen is up any more: right before the line of a query
// that failed, and otherwise when the run ends, before its last line.

// The most of one query's words that is kept.
constexpr size_t tool_message_limit = 8192;
// What a buffer for reading them holds: the limit, a byte to tell whether
// there was more, a line feed and a NUL.
constexpr size_t tool_message_buffer = tool_message_limit + 3;

// Keeps what a query's tool wrote on standard error, read from the start of
// the file fd: its first tool_message_limit bytes, with a mark where it was
// cut, and every byte that the terminal would not print as it is shown as
// '?'. Words that are kept already are not kept again, so a warning that
// the tool gives on every call is read once. Returns whether the tool wrote
// anything.
bool keep_tool_messages(int fd);

// Reads the first tool_message_limit + 1 bytes of the file fd into text, a
// buffer of tool_message_buffer bytes; returns how many there were.
size_t read_tool_messages(int fd, char* text);

// Keeps words, read by read_tool_messages, as keep_tool_messages does, for a
// query whose caller first looked at them.
void keep_tool_words(const std::string& words);

// Writes what is kept to standard error and forgets it.
void write_tool_messages();

#endif
