// Descriptors 0, 1 and 2, as every program of the console needs them before
// it opens anything else.
#pragma once

// The status a program ends with when it cannot make them open.
inline constexpr int kNoStandardStreamsStatus = 71;

// Opens each of standard input, output and error that is closed on
// /dev/null. A program started with them closed (`prog <&- >&- 2>&-`) would
// otherwise get its serial port or a file as descriptor 1 or 2, and its
// messages would go onto the line or into that file. Call it first thing in
// main(), before anything (Qt included) opens a descriptor. False when
// /dev/null could not be opened. *outputWasClosed (may be null) tells whether
// standard output was one of them: a program that writes its results there
// then says so rather than write into /dev/null and end as if all went well.
bool OpenStandardStreams(bool* outputWasClosed = nullptr);

// True when standard output is a pipe or socket whose reader has gone, or a
// terminal that hung up: known without writing, so that a program that waits
// between lines notices at once.
bool StandardOutputReaderGone();

// Ignores SIGPIPE for the whole run: a write to a pipe whose reader has gone
// then fails with EPIPE, which the program reports, instead of killing it.
void IgnoreBrokenPipes();
