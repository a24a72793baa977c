#ifndef LEAFSWEEP_RUN_STANDARD_STREAMS_H
#define LEAFSWEEP_RUN_STANDARD_STREAMS_H

// Opens each of standard input, output and error that is closed on the
// controlling terminal, or on /dev/null when there is none, so that no pipe
// or file the program opens later takes its place. Returns false when one of
// them could not be opened on either.
bool open_closed_standard_streams();

#endif
