// The termination watch on Windows: the console control events through
// SetConsoleCtrlHandler. The system runs the handler on a thread of its own,
// so the handler only takes a short lock, writes one byte into a pipe and
// sets an event; the program reads them on its own thread.
//
//   Ctrl+C                   SIGINT  (2)
//   Ctrl+Break               SIGTERM (15): the harder key, as kill's default
//   the console closed       SIGHUP  (1): the terminal went away
//   log-off, shut-down       SIGTERM (15): the system asks the program to end
//
// For a closed console, log-off and shut-down the system ends the process
// as soon as the handler returns (or after about 5 s); so the handler waits
// there until the program has cleaned up and called Restore.
#include "platform/termination_watch.h"
#include "platform/windows/termination_watch_test_hook.h"

#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <windows.h>

namespace termination {
namespace {
std::mutex gLock;        // the handler threads against the program's thread
int gPipe[2] = {-1, -1}; // CRT descriptors of an anonymous pipe
HANDLE gPending{};       // manual-reset: set while bytes wait in the pipe
int gPendingCount = 0;   // bytes in the pipe, so that a read never blocks
bool gSecondSignalEnds = false;
bool gDisarmed = false; // a signal came while gSecondSignalEnds
// Set by Restore; the closing events wait for it. Made once, never closed,
// as a handler thread may still wait on it after Restore.
HANDLE gRestored{};

// The pipe's writes block when it is full, and a blocked handler thread
// would hold the lock: past this many unread signals more are dropped.
constexpr unsigned kPipeSize = 4096;
constexpr int kMaxPending = 512;
// The system ends the process about 5 s after a close; never wait longer.
constexpr DWORD kCleanUpWaitMs = 10000;

int SignalFor(DWORD ctrlType) {
    switch (ctrlType) {
    case CTRL_C_EVENT:
        return kInterrupt;
    case CTRL_CLOSE_EVENT:
        return kHangUp;
    case CTRL_BREAK_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return kTerminate;
    default:
        return 0;
    }
}

bool EndsProcessOnReturn(DWORD ctrlType) {
    return ctrlType == CTRL_CLOSE_EVENT || ctrlType == CTRL_LOGOFF_EVENT ||
           ctrlType == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI OnControlEvent(DWORD ctrlType) {
    const int signo = SignalFor(ctrlType);
    if (signo == 0)
        return FALSE;
    {
        std::lock_guard lock(gLock);
        if (gPipe[1] < 0)
            return FALSE; // restored meanwhile: the default action
        if (gDisarmed) {
            // As a second POSIX signal with its default action: at once,
            // without running the program's or the runtime's exit code,
            // which another thread may be in the middle of.
            ::TerminateProcess(::GetCurrentProcess(), 128 + signo);
        }
        gDisarmed = gSecondSignalEnds;
        if (gPendingCount < kMaxPending) {
            const char b = static_cast<char>(signo);
            DWORD written = 0;
            const auto pipe = reinterpret_cast<HANDLE>(::_get_osfhandle(gPipe[1]));
            if (::WriteFile(pipe, &b, 1, &written, nullptr) && written == 1) {
                ++gPendingCount;
                ::SetEvent(gPending);
            }
        }
    }
    if (EndsProcessOnReturn(ctrlType))
        ::WaitForSingleObject(gRestored, kCleanUpWaitMs);
    return TRUE;
}

void CloseAll() {
    for (int& fd : gPipe) {
        if (fd >= 0)
            ::_close(fd);
        fd = -1;
    }
    if (gPending)
        ::CloseHandle(gPending);
    gPending = nullptr;
    gPendingCount = 0;
}
} // namespace

int Install(const WatchOptions& options) {
    std::lock_guard lock(gLock);
    if (gPipe[0] >= 0)
        return gPipe[0];
    if (!gRestored)
        gRestored = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gPending = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Not inherited: a child must not hold the write end open.
    if (!gRestored || !gPending || ::_pipe(gPipe, kPipeSize, _O_BINARY | _O_NOINHERIT) != 0) {
        gPipe[0] = gPipe[1] = -1;
        CloseAll();
        return -1;
    }
    ::ResetEvent(gRestored);
    gSecondSignalEnds = options.secondSignalEnds;
    gDisarmed = false;
    if (!::SetConsoleCtrlHandler(OnControlEvent, TRUE)) {
        CloseAll();
        return -1;
    }
    // Windows has no SIGPIPE: a write to a closed pipe fails already.
    return gPipe[0];
}

int Descriptor() {
    std::lock_guard lock(gLock);
    return gPipe[0];
}

void* WaitHandle() {
    std::lock_guard lock(gLock);
    return gPending;
}

int ReadPending(int* buf, int size) {
    std::lock_guard lock(gLock);
    if (gPipe[0] < 0 || size <= 0)
        return 0;
    const int want = gPendingCount < size ? gPendingCount : size;
    unsigned char bytes[64];
    int count = 0;
    while (count < want) {
        const int chunk = want - count < int(sizeof bytes) ? want - count : int(sizeof bytes);
        const int n = ::_read(gPipe[0], bytes, static_cast<unsigned>(chunk));
        if (n <= 0)
            break;
        for (int i = 0; i < n; ++i)
            buf[count++] = bytes[i];
    }
    gPendingCount -= count;
    // The handler writes and sets under the same lock, so nothing slips in
    // between the count and the reset.
    if (gPendingCount == 0)
        ::ResetEvent(gPending);
    return count;
}

void Restore() {
    std::lock_guard lock(gLock);
    ::SetConsoleCtrlHandler(OnControlEvent, FALSE);
    CloseAll();
    gDisarmed = false;
    // A closing event's handler may now return and let the system end us.
    if (gRestored)
        ::SetEvent(gRestored);
}

namespace test {
int DeliverControlEvent(unsigned long ctrlType) {
    return OnControlEvent(ctrlType);
}

bool HandlerRegistered() {
    // Removing fails for a handler that is not in the list.
    if (!::SetConsoleCtrlHandler(OnControlEvent, FALSE))
        return false;
    ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
    return true;
}
} // namespace test

} // namespace termination
