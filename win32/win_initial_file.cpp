// The initial text file from the working folder: the core's reader on the
// platform's file service; the greeting of a first start written here.
#include "core/gbk.h"
#include "platform/files.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

InitialFile ReadInitialFileWin() {
    return LoadInitialFile(files::Read);
}

bool PlaceGreetingWin() {
    // CREATE_NEW: a file of that name, even an empty one, is the user's.
    HANDLE file = CreateFileW(Wide(kInitialTextFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string bytes = GbkBytes(kFirstStartGreeting);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}
