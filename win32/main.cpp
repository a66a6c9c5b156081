// The console on Windows: one window, its own message loop.
#include "win32/win_window.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // Geometry is laid out for the screen's real DPI.
    SetProcessDPIAware();
    {
        Form1Window window(instance);
        window.Show(showCommand);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            // Tab and Shift+Tab move the focus in the designed order, also
            // out of the multi-line boxes, which would take Tab as a character.
            if (window.Handle() && window.TabKey(msg))
                continue;
            if (window.Handle() && IsDialogMessageW(window.Handle(), &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}
