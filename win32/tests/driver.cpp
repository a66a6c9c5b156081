// The console's test driver on Windows: finds the console's window by its
// class and title, its controls by their designed names, and reads and
// works them through the Windows API as a UI-automation tool does. One
// command per run; prints UTF-8; exit status 0 on success, 1 on a failed
// check, 2 on bad use.
//
//   layout                      each designed control's rectangle (at 96 dpi)
//                               and caption against the design
//   title                       the window's title
//   text NAME                   a control's text (a long line's pieces joined)
//   longest-line NAME           the longest line the control holds
//   wait-length NAME N SECONDS  until the control's text is N characters long
//                               (a long text reaches the control in parts)
//   wait-text NAME TEXT SECONDS until the control's text contains TEXT
//   set-text NAME TEXT          sets a control's text (as typing would)
//   click NAME                  clicks a button
//   choose NAME INDEX           chooses a combo box's entry as the user does
//   message SECONDS             waits for a message box; prints its text and closes it
//   no-message SECONDS          fails if a message box shows within SECONDS
//   scroll NAME right|left      one arrow click on a scroll bar
//   tab N [back]                presses Tab (Shift+Tab) N times from where the
//                               focus is; prints the focused control's name after each
//   close                       closes the window (WM_CLOSE)
//   menu NAME KEY               opens a control's context menu (as Shift+F10 does)
//                               and presses the entry's access KEY in it
//   menu-up NAME N              opens a control's context menu and takes the
//                               entry N places up from its end (an entry with no access key)
//   click-in CLASS ID           clicks the button ID of the console's window of CLASS
//   text-in CLASS ID            the text of the control ID of the console's window of CLASS
//   set-text-in CLASS ID TEXT   sets it (a combo box's field as typing would)
//   wait-text-in CLASS ID TEXT SECONDS   until it contains TEXT
//   count-in CLASS ID           the rows of the list view ID there
//   save-dialog PATH SECONDS    waits for a save dialog, types PATH as its file
//                               name and presses OK; waits for it to close
#include "core/control_table.h"
#include "core/text_pieces.h"
#include "core/text_util.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <string>
#include <windows.h>

namespace {
constexpr int kFirstId = 100;

void Print(const std::u16string& text) {
    const std::string bytes = Utf8FromUtf16(text) + "\n";
    DWORD n = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), DWORD(bytes.size()), &n, nullptr);
}

// A control's text, asked of its window procedure: GetWindowText does not
// ask a window of another process.
std::u16string TextOf(HWND w) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::wstring text(size_t(length) + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, WPARAM(text.size()), LPARAM(text.data()), SMTO_ABORTIFHUNG,
                        5000, &got);
    text.resize(size_t(got));
    return U16(text);
}

// The console's window (once start-up has shown it, unless hiddenToo).
HWND FindConsole(int seconds, bool hiddenToo) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = FindWindowW(L"VXT4710Form1", Wide(kWindowTitle).c_str());
        if (w && (hiddenToo || IsWindowVisible(w)))
            return w;
        Sleep(100);
    }
    return nullptr;
}

HWND Control(HWND window, const std::string& name) {
    const auto& table = ControlTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].name == name)
            return GetDlgItem(window, kFirstId + int(i));
    return nullptr;
}

BOOL CALLBACK OnTopWindow(HWND w, LPARAM param) {
    wchar_t cls[64] = {}, title[64] = {};
    GetClassNameW(w, cls, 64);
    GetWindowTextW(w, title, 64);
    if (std::wstring(cls) == L"#32770" && std::wstring(title) == L"VXT4710" && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(param) = w;
        return FALSE;
    }
    return TRUE;
}

// The console's message box (a dialog with the caption VXT4710): during
// start-up it shows before the window does.
HWND FindMessageBox(int seconds) {
    HWND found = nullptr;
    for (int i = 0; i < seconds * 10 && !found; ++i) {
        EnumWindows(OnTopWindow, LPARAM(&found));
        if (!found)
            Sleep(100);
    }
    return found;
}

// The designed rectangle of a control in window client coordinates, pixels at 96 dpi.
RECT Designed(const DesignedControl& c) {
    int left = c.left, top = c.top;
    for (std::string container = c.container; !container.empty();) {
        const auto& table = ControlTable();
        const auto it = std::find_if(table.begin(), table.end(),
                                     [&](const DesignedControl& d) { return d.name == container; });
        left += it->left;
        top += it->top;
        container = it->container;
    }
    return {TwipsToPixels(left, 96), TwipsToPixels(top, 96), TwipsToPixels(left + c.width, 96),
            TwipsToPixels(top + c.height, 96)};
}

std::u16string NameOf(HWND window, HWND control) {
    const int index = GetDlgCtrlID(control) - kFirstId;
    const auto& table = ControlTable();
    if (GetParent(control) == window && index >= 0 && index < int(table.size()))
        return Latin1ToUtf16(table[size_t(index)].name);
    // The field inside a combo box stands for it.
    if (GetParent(control) && GetParent(control) != window)
        return NameOf(window, GetParent(control));
    return u"?";
}

HWND Focused(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Tab as the keyboard gives it: key down and up, with Shift around it for
// Shift+Tab, to the control that has the focus (the console's loop passes it
// to IsDialogMessage).
int Tab(HWND window, int count, bool back) {
    for (int i = 0; i < count; ++i) {
        HWND focus = Focused(window);
        if (!focus)
            return 1;
        BYTE keys[256] = {};
        if (back) {
            // The console reads Shift's state from its own thread's key state.
            AttachThreadInput(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr), TRUE);
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0x80;
            SetKeyboardState(keys);
        }
        PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0x000F0001);
        PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC00F0001);
        // Until the console has taken the key: a loaded machine may take
        // seconds; only a focus that never moves waits the whole 30 s. A
        // combo box passes the focus between its edit and itself on the
        // way, so the move counts once another control has it.
        const std::u16string from = NameOf(window, focus);
        const auto moved = [&] {
            const HWND now = Focused(window);
            return now && now != focus && NameOf(window, now) != from;
        };
        for (int wait = 0; wait < 600 && !moved(); ++wait)
            Sleep(50);
        if (back) {
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
            AttachThreadInput(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr), FALSE);
        }
        Print(NameOf(window, Focused(window)));
    }
    return 0;
}

struct ProcessWindow {
    DWORD process;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK OnProcessWindow(HWND w, LPARAM param) {
    auto* want = reinterpret_cast<ProcessWindow*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (process == want->process && std::wstring(cls) == want->cls && IsWindowVisible(w)) {
        want->found = w;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the console's process by its class.
HWND WaitForWindow(HWND console, const wchar_t* cls, int seconds) {
    ProcessWindow want{0, cls, nullptr};
    GetWindowThreadProcessId(console, &want.process);
    for (int i = 0; i < seconds * 10 && !want.found; ++i) {
        EnumWindows(OnProcessWindow, LPARAM(&want));
        if (!want.found)
            Sleep(100);
    }
    return want.found;
}

// Shift+F10 sends the edit WM_CONTEXTMENU at (-1, -1); the popup menu's
// own loop then takes the entry's key as a character.
int Menu(HWND window, HWND control, wchar_t key) {
    PostMessageW(control, WM_CONTEXTMENU, WPARAM(control), LPARAM(-1));
    HWND menu = WaitForWindow(window, L"#32768", 10);
    if (!menu) {
        Print(u"no context menu");
        return 1;
    }
    PostMessageW(menu, WM_CHAR, WPARAM(key), 1);
    for (int i = 0; i < 100 && IsWindowVisible(menu); ++i)
        Sleep(100);
    return IsWindowVisible(menu) ? 1 : 0;
}

// Up from no entry reaches the last one; Enter takes the entry reached.
int MenuUp(HWND window, HWND control, int up) {
    PostMessageW(control, WM_CONTEXTMENU, WPARAM(control), LPARAM(-1));
    HWND menu = WaitForWindow(window, L"#32768", 10);
    if (!menu) {
        Print(u"no context menu");
        return 1;
    }
    for (int i = 0; i < up; ++i)
        PostMessageW(menu, WM_KEYDOWN, VK_UP, 0x01480001);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    for (int i = 0; i < 100 && IsWindowVisible(menu); ++i)
        Sleep(100);
    return IsWindowVisible(menu) ? 1 : 0;
}

// The control id of a window of the console's of class cls (nullptr: none).
HWND ControlIn(HWND window, const wchar_t* cls, int id) {
    HWND owner = WaitForWindow(window, cls, 10);
    HWND control = owner ? GetDlgItem(owner, id) : nullptr;
    if (!control)
        Print(u"no control " + Number16(id) + u" in " + U16(cls));
    return control;
}

// Windows' save dialog: its file-name field is a combo box (0x47C) in the
// newer layout, an edit (0x480) in the older one.
int SaveDialog(HWND window, const std::wstring& path, int seconds) {
    HWND dialog = WaitForWindow(window, L"#32770", seconds);
    if (!dialog) {
        Print(u"no save dialog");
        return 1;
    }
    HWND field = GetDlgItem(dialog, 0x47C);
    if (!field)
        field = GetDlgItem(dialog, 0x480);
    if (!field) {
        Print(u"no file-name field in " + TextOf(dialog));
        return 1;
    }
    SendMessageW(field, WM_SETTEXT, 0, LPARAM(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(dialog, IDOK)));
    for (int i = 0; i < seconds * 10 && IsWindow(dialog) && IsWindowVisible(dialog); ++i)
        Sleep(100);
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
        Print(u"the save dialog stays open: " + TextOf(dialog));
        return 1;
    }
    return 0;
}

int Layout(HWND window) {
    int faults = 0;
    const auto& table = ControlTable();
    RECT client{};
    GetClientRect(window, &client);
    if (client.right != TwipsToPixels(kClientWidthTwips, 96) ||
        client.bottom != TwipsToPixels(kClientHeightTwips, 96)) {
        Print(u"window client area " + Number16(client.right) + u"x" + Number16(client.bottom));
        ++faults;
    }
    for (size_t i = 0; i < table.size(); ++i) {
        const DesignedControl& c = table[i];
        HWND w = GetDlgItem(window, kFirstId + int(i));
        const std::u16string name = Latin1ToUtf16(c.name);
        if (!w) {
            Print(name + u": missing");
            ++faults;
            continue;
        }
        RECT r{};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const RECT want = Designed(c);
        // A drop-down's window includes its list: its field is compared by top, left and width.
        const bool combo = c.kind == ControlKind::ComboBox;
        if (r.left != want.left || r.top != want.top || r.right != want.right ||
            (!combo && r.bottom != want.bottom)) {
            Print(name + u": at " + Number16(r.left) + u"," + Number16(r.top) + u" " +
                  Number16(r.right - r.left) + u"x" + Number16(r.bottom - r.top) + u", designed " +
                  Number16(want.left) + u"," + Number16(want.top) + u" " +
                  Number16(want.right - want.left) + u"x" + Number16(want.bottom - want.top));
            ++faults;
        }
        const std::u16string text = TextOf(w);
        const std::u16string caption = c.kind == ControlKind::TextBox ? WithCrLf(c.caption) : c.caption;
        // Start-up puts the initial file into Text3 and selects the entries.
        const bool setAtStartUp = c.name == "Text3" || (combo && c.name != "Combo4");
        if (c.kind != ControlKind::HScrollBar && !setAtStartUp && text != caption) {
            Print(name + u": caption \"" + text + u"\", designed \"" + caption + u"\"");
            ++faults;
        }
    }
    Print(Number16(int64_t(table.size())) + u" controls checked, " + Number16(faults) + u" faults");
    return faults ? 1 : 0;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    const std::wstring command = argv[1];
    const auto arg = [&](int i) { return i < argc ? Utf8FromUtf16(U16(argv[i])) : std::string(); };
    const bool messages = command == L"message" || command == L"no-message";
    HWND window = messages ? nullptr : FindConsole(30, false);
    if (!window && !messages) {
        Print(u"no console window");
        return 1;
    }
    if (command == L"layout")
        return Layout(window);
    if (command == L"title") {
        Print(TextOf(window));
        return 0;
    }
    if (command == L"tab")
        return Tab(window, std::stoi(arg(2)), arg(3) == "back");
    if (command == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"menu" && argc >= 4) {
        HWND control = Control(window, arg(2));
        return control ? Menu(window, control, argv[3][0]) : 2;
    }
    if (command == L"click-in" && argc >= 4) {
        HWND owner = WaitForWindow(window, argv[2], 10);
        HWND button = owner ? GetDlgItem(owner, std::stoi(arg(3))) : nullptr;
        if (!button) {
            Print(u"no button " + Utf16FromUtf8(arg(3)) + u" in " + Utf16FromUtf8(arg(2)));
            return 1;
        }
        // Posted: the click may open a modal dialog.
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"menu-up" && argc >= 4) {
        HWND control = Control(window, arg(2));
        return control ? MenuUp(window, control, std::stoi(arg(3))) : 2;
    }
    if (command.size() > 3 && command.substr(command.size() - 3) == L"-in" && argc >= 4) {
        HWND control = ControlIn(window, argv[2], std::stoi(arg(3)));
        if (!control)
            return 1;
        if (command == L"text-in") {
            Print(TextOf(control));
            return 0;
        }
        if (command == L"set-text-in" && argc >= 5) {
            SendMessageW(control, WM_SETTEXT, 0, LPARAM(argv[4]));
            return 0;
        }
        if (command == L"wait-text-in" && argc >= 6) {
            const std::u16string want = U16(argv[4]);
            for (int i = 0; i < std::stoi(arg(5)) * 10; ++i) {
                if (TextOf(control).find(want) != std::u16string::npos)
                    return 0;
                Sleep(100);
            }
            Print(TextOf(control));
            return 1;
        }
        if (command == L"count-in") {
            Print(Number16(int64_t(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0))));
            return 0;
        }
        return 2;
    }
    if (command == L"save-dialog" && argc >= 4)
        return SaveDialog(window, argv[2], std::stoi(arg(3)));
    if (messages) {
        HWND box = FindMessageBox(std::stoi(arg(2)));
        if (command == L"no-message")
            return box ? 1 : 0;
        if (!box)
            return 1;
        Print(TextOf(box));
        // The text is the box's static control whose id is 0xFFFF.
        Print(TextOf(GetDlgItem(box, 0xFFFF)));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    HWND control = Control(window, arg(2));
    if (!control) {
        Print(u"no control " + Utf16FromUtf8(arg(2)));
        return 2;
    }
    if (command == L"text") {
        Print(UnpiecedText(TextOf(control), win::TextBox::kSeam));
        return 0;
    }
    if (command == L"wait-length" && argc >= 5) {
        const size_t want = size_t(std::stoll(arg(3)));
        size_t got = 0;
        for (int i = 0; i < std::stoi(arg(4)) * 10 && got < want; ++i) {
            got = UnpiecedText(TextOf(control), win::TextBox::kSeam).size();
            if (got < want)
                Sleep(100);
        }
        Print(Number16(int64_t(got)));
        return got >= want ? 0 : 1;
    }
    if (command == L"longest-line") {
        size_t longest = 0, length = 0;
        for (const char16_t c : TextOf(control)) {
            length = c == u'\r' || c == u'\n' ? 0 : length + 1;
            longest = std::max(longest, length);
        }
        Print(Number16(int64_t(longest)));
        return 0;
    }
    if (command == L"wait-text") {
        const std::u16string want = U16(argv[3]);
        for (int i = 0; i < std::stoi(arg(4)) * 10; ++i) {
            if (TextOf(control).find(want) != std::u16string::npos)
                return 0;
            Sleep(100);
        }
        Print(TextOf(control));
        return 1;
    }
    if (command == L"set-text") {
        SendMessageW(control, WM_SETTEXT, 0, LPARAM(argv[3]));
        return 0;
    }
    if (command == L"click") {
        // Posted: the click may open a modal message box.
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"choose") {
        SendMessageW(control, CB_SETCURSEL, WPARAM(std::stoi(arg(3))), 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
                     LPARAM(control));
        return 0;
    }
    if (command == L"scroll") {
        const WPARAM code = arg(3) == "left" ? SB_LINELEFT : SB_LINERIGHT;
        PostMessageW(window, WM_HSCROLL, MAKEWPARAM(code, 0), LPARAM(control));
        return 0;
    }
    return 2;
}
