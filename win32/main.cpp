// The console on Windows: one window, its own message loop.
#include "win32/cli/win_cli_run.h"
#include "win32/win_window.h"

#include <memory>
#include <string>
#include <windows.h>

namespace {
// Started with --user-folder (as the Start menu's shortcut starts it), the
// console works in %LOCALAPPDATA%\vxt4710, made when missing, so that its
// initial text file lives there, with a greeting on the first start as the
// Linux menu entry gives one. Where that cannot be, it stays where it was
// started.
void EnterUserFolder(const wchar_t* commandLine) {
    if (std::wstring(commandLine) != L"--user-folder")
        return;
    wchar_t base[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring folder = std::wstring(base) + L"\\vxt4710";
    CreateDirectoryW(folder.c_str(), nullptr);
    if (SetCurrentDirectoryW(folder.c_str()))
        PlaceGreetingWin();
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    // Geometry is laid out for the screen's real DPI.
    SetProcessDPIAware();
    EnterUserFolder(commandLine);
    {
        WindowServices services = SystemWindowServices();
        // The monitor window reads its taps as vxt4710-cli monitor does.
        services.monitorSystem = [] { return std::make_unique<WinCliSystem>(); };
        Form1Window window(instance, std::move(services));
        window.Show(showCommand);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            // Tab and Shift+Tab move the focus in the designed order, also
            // out of the multi-line boxes, which would take Tab as a character.
            if (window.Handle() && window.TabKey(msg))
                continue;
            if (window.Handle() && IsDialogMessageW(window.Handle(), &msg))
                continue;
            // The monitor window's boxes and buttons take Tab as well.
            const MonitorWindowWin* monitor = window.Monitor();
            if (monitor && monitor->Handle() && IsDialogMessageW(monitor->Handle(), &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}
