// The termination signals (SIGINT, SIGTERM, SIGHUP) as bytes on a readable
// descriptor, so that an event loop or a poll() sees them like any input.
// One implementation per platform: POSIX signals in platform/posix/, the
// console control events in platform/windows/ (Ctrl+C reports SIGINT, a
// closed console SIGHUP, Ctrl+Break, log-off and shut-down SIGTERM).
#pragma once

namespace termination {

// The numbers reported, the same on every platform (POSIX's own), so that
// an exit status of 128 + n means the same thing everywhere.
inline constexpr int kHangUp = 1;     // SIGHUP
inline constexpr int kInterrupt = 2;  // SIGINT
inline constexpr int kTerminate = 15; // SIGTERM

struct WatchOptions {
    // The first signal disarms the watch: a second one of any kind ends the
    // process at once (the shell reports 128+n), for a program that may be
    // too busy to read the first.
    bool secondSignalEnds = false;
};

// Catches the termination signals and ignores SIGPIPE (a closed reader shows
// as a failed write instead). Installing again while installed changes
// nothing. Returns the descriptor to watch, -1 when it cannot be made.
int Install(const WatchOptions& options = {});

// The descriptor to watch, -1 when not installed. Non-blocking: each caught
// signal's number arrives on it as one byte.
int Descriptor();

// What a Windows event loop waits on (MsgWaitForMultipleObjects), since it
// cannot poll() a descriptor: a manual-reset event HANDLE that is set while
// signals are pending and reset by ReadPending once all are read. Valid
// until Restore; nullptr when not installed and on POSIX.
void* WaitHandle();

// Reads the waiting signal numbers into buf (at most size); returns how many.
int ReadPending(int* buf, int size);

// Puts the termination signals back to their default action and closes the
// descriptor. SIGPIPE stays ignored: output may still be written after.
void Restore();

} // namespace termination
