// The context menus of the two big text boxes (the edit entries and the
// core's own, core/form1_events.h), Windows' file dialogs and the analysis
// window they open, and the tooltips of the hex entry and the port list.
// None of it adds a control to the window or a line to the work log.
#include "core/cli_run.h" // the doctor surveys through CliSystem
#include "core/form1_events.h"
#include "core/hex_entry_check.h"
#include "core/text_util.h"
#include "core/traffic_capture.h"
#include "win32/win_controls.h"
#include "win32/win_port_binding.h"
#include "win32/win_port_list.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <algorithm>
#include <commctrl.h>

namespace {
const wchar_t kEditProcProp[] = L"VXT4710.EditProc";

enum MenuCommand {
    kUndo = 1,
    kCut,
    kCopy,
    kPaste,
    kDelete,
    kSelectAll,
    kMonitor,
    kPortDoctor,
    kFirstEntry, // then one per row of Form1MenuEntries()
};
// The monitor's entry follows the analysis window's.
constexpr std::string_view kAnalysisEntryId = "TrafficAnalysis";

void AddTool(HWND tips, HWND owner, HWND control) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = UINT_PTR(control);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tips, TTM_ADDTOOLW, 0, LPARAM(&tool));
}
} // namespace

void Form1Window::ConnectMenus() {
    for (const char* name : {"Text3", "Text4"}) {
        HWND edit = byName_.at(name);
        SetPropW(edit, kEditProcProp,
                 HANDLE(SetWindowLongPtrW(edit, GWLP_WNDPROC, LONG_PTR(&Form1Window::EditProc))));
    }

    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
    if (!tips_)
        return; // the window works without its tooltips
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, 480);
    // The window's Chinese face: the system's tooltip face may have no
    // Chinese (under Wine it has none).
    SendMessageW(tips_, WM_SETFONT, WPARAM(font_), FALSE);
    // Long enough to read a frame's meaning.
    SendMessageW(tips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    AddTool(tips_, hwnd_, byName_.at("Text5"));
    HWND combo = byName_.at("Combo4");
    AddTool(tips_, hwnd_, combo);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(combo, &info) && info.hwndItem)
        AddTool(tips_, hwnd_, info.hwndItem); // the field, which covers most of it
}

std::u16string Form1Window::ToolTipText(HWND control) {
    if (control == byName_.at("Text5"))
        return HexEntryTip(Text5->Text());
    HWND combo = byName_.at("Combo4");
    if (control == combo || GetParent(control) == combo) {
        std::u16string tip =
            PortListTip(WindowText(combo), WithBindings(SystemComPorts(), WinPortsFolder()));
        // A network port's connection under way shows on the chosen port's line.
        if (MSComm1->Connecting(PortNumber))
            tip.insert(std::min(tip.find(u"\r\n"), tip.size()), u"（正在连接）");
        return tip;
    }
    return {};
}

LRESULT CALLBACK Form1Window::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto old = WNDPROC(GetPropW(hwnd, kEditProcProp));
    if (msg == WM_CONTEXTMENU) {
        auto* self =
            reinterpret_cast<Form1Window*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
        if (self) {
            self->ShowContextMenu(hwnd, lParam);
            return 0;
        }
    }
    if (msg == WM_NCDESTROY) {
        RemovePropW(hwnd, kEditProcProp);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, LONG_PTR(old));
    }
    return CallWindowProcW(old, hwnd, msg, wParam, lParam);
}

HMENU Form1Window::MakeContextMenu(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    const bool selection = end > start;
    const bool writable = !(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
    const auto state = [](bool on) { return on ? MF_ENABLED : MF_GRAYED; };

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | state(SendMessageW(edit, EM_CANUNDO, 0, 0)), kUndo, L"撤消(&U)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | state(selection && writable), kCut, L"剪切(&T)");
    AppendMenuW(menu, MF_STRING | state(selection), kCopy, L"复制(&C)");
    AppendMenuW(menu, MF_STRING | state(writable && IsClipboardFormatAvailable(CF_UNICODETEXT)),
                kPaste, L"粘贴(&P)");
    AppendMenuW(menu, MF_STRING | state(selection && writable), kDelete, L"删除(&D)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | state(GetWindowTextLengthW(edit) > 0), kSelectAll, L"全选(&L)");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const auto& entries = Form1MenuEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (ControlHandle(std::string(entries[i].control)) != edit)
            continue;
        AppendMenuW(menu, MF_STRING, kFirstEntry + i, Wide(entries[i].caption).c_str());
        if (entries[i].id == kAnalysisEntryId && windowServices_.monitorSystem)
            AppendMenuW(menu, MF_STRING, kMonitor, Wide(kMonitorMenu).c_str());
    }
    // The port doctor after every other entry of the work log's.
    if (edit == byName_.at("Text4") && windowServices_.monitorSystem)
        AppendMenuW(menu, MF_STRING, kPortDoctor, Wide(doctor::kDoctorMenu).c_str());
    return menu;
}

void Form1Window::ShowContextMenu(HWND edit, LPARAM where) {
    POINT at{short(LOWORD(where)), short(HIWORD(where))};
    if (where == LPARAM(-1)) {
        // From the keyboard (Shift+F10, the menu key): at the caret.
        RECT r{};
        GetWindowRect(edit, &r);
        at = {r.left + 8, r.top + 8};
        POINT caret{};
        if (GetCaretPos(&caret)) {
            ClientToScreen(edit, &caret);
            if (PtInRect(&r, caret))
                at = caret;
        }
    }
    SetFocus(edit);
    HMENU menu = MakeContextMenu(edit);
    const int command = int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                           at.x, at.y, 0, hwnd_, nullptr));
    DestroyMenu(menu);
    if (command)
        RunMenuCommand(edit, command);
}

void Form1Window::RunMenuCommand(HWND edit, int command) {
    // What an edit entry does to the work log goes through the control, so
    // let it have what is still on its way.
    if (edit == byName_.at("Text4"))
        Widget(&Form1::Text4)->Flush();
    switch (command) {
    case kUndo:
        SendMessageW(edit, WM_UNDO, 0, 0);
        break;
    case kCut:
        SendMessageW(edit, WM_CUT, 0, 0);
        break;
    case kCopy:
        SendMessageW(edit, WM_COPY, 0, 0);
        break;
    case kPaste:
        SendMessageW(edit, WM_PASTE, 0, 0);
        break;
    case kDelete:
        SendMessageW(edit, WM_CLEAR, 0, 0);
        break;
    case kSelectAll:
        // All of the text, also the part of a long one still on its way.
        if (edit == byName_.at("Text3"))
            Widget(&Form1::Text3)->SelectAll();
        else
            SendMessageW(edit, EM_SETSEL, 0, -1);
        break;
    case kMonitor:
        ShowMonitor();
        break;
    case kPortDoctor:
        ShowPortDoctor();
        break;
    default:
        if (command >= kFirstEntry && size_t(command - kFirstEntry) < Form1MenuEntries().size())
            (this->*Form1MenuEntries()[size_t(command - kFirstEntry)].action)();
        break;
    }
}

namespace {
FileDialogAnswer Ask(const FileDialogFn& test, HWND owner, const TextFileDialog& dialog) {
    return test ? test(owner, dialog) : RunFileDialogWin(owner, dialog);
}
} // namespace

FileChoice Form1Window::ChooseFile(const TextFileDialog& dialog) {
    const FileDialogAnswer answer = Ask(fileDialog_, hwnd_, dialog);
    if (answer.path.empty())
        return {};
    return {Utf8FromUtf16(U16(answer.path)), FileNameOf(answer.path), answer.filter};
}

void Form1Window::ShowAnalysis() {
    if (!analysis_)
        analysis_ = std::make_unique<AnalysisWindowWin>(
            instance_, hwnd_, Traffic, font_,
            [this](HWND owner, const TextFileDialog& d) { return Ask(fileDialog_, owner, d); },
            [this](std::u16string_view text) { MsgBox(text); });
    analysis_->SetCaptureLine(
        [this] { return MSComm1 ? CommCaptureLine(*MSComm1) : CaptureInterface{}; });
    analysis_->Show();
}

void Form1Window::ShowMonitor() {
    if (!windowServices_.monitorSystem)
        return;
    if (!monitor_)
        monitor_ = std::make_unique<MonitorWindowWin>(
            instance_, hwnd_, font_, windowServices_.monitorSystem,
            [this](HWND owner, const TextFileDialog& d) { return Ask(fileDialog_, owner, d); },
            [this](std::u16string_view text) { MsgBox(text); });
    monitor_->Show();
}

void Form1Window::ShowPortDoctor() {
    if (!windowServices_.monitorSystem)
        return;
    if (!doctor_)
        doctor_ = std::make_unique<PortDoctorWindowWin>(
            instance_, hwnd_, font_, [this, make = windowServices_.monitorSystem] {
                // The console's port is looked at closely (opened for a
                // moment) only when the console could not open it: open, it
                // is the console's own, not held by another program.
                const bool open = MSComm1 && MSComm1->PortOpen();
                return make()->surveyPorts(open ? std::string()
                                                : "COM" + std::to_string(PortNumber));
            });
    doctor_->Show();
}
