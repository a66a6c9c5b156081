// The loop's wait on Windows: WaitForMultipleObjects on the events. It names
// the first object set only, so the others are looked at after it.
#include "platform/line_loop.h"

#include <algorithm>
#include <windows.h>

bool WaitTurn(const Waitable* items, bool* ready, int count, int64_t timeoutMs) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    int index[MAXIMUM_WAIT_OBJECTS];
    DWORD n = 0;
    for (int i = 0; i < count; ++i) {
        ready[i] = false;
        if (items[i].handle && n < MAXIMUM_WAIT_OBJECTS) {
            index[n] = i;
            handles[n++] = static_cast<HANDLE>(items[i].handle);
        }
    }
    const DWORD wait =
        timeoutMs < 0 ? INFINITE : static_cast<DWORD>(std::min<int64_t>(timeoutMs, 0x7FFFFFFF));
    if (n == 0) {
        if (wait == INFINITE)
            return false; // nothing could ever end it
        Sleep(wait);
        return true;
    }
    const DWORD which = WaitForMultipleObjects(n, handles, FALSE, wait);
    if (which == WAIT_TIMEOUT)
        return true;
    if (which >= WAIT_OBJECT_0 + n)
        return false; // a failed wait or an abandoned mutex: never spin
    ready[index[which - WAIT_OBJECT_0]] = true;
    for (DWORD k = which - WAIT_OBJECT_0 + 1; k < n; ++k)
        ready[index[k]] = WaitForSingleObject(handles[k], 0) == WAIT_OBJECT_0;
    return true;
}
