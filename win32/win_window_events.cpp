// The adapters the core sees, the connection of every notification to its
// handler, and the window procedure.
#include "core/control_table.h"
#include "win32/win_button_draw.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <commctrl.h>

namespace {
template <class A, class Core, class... Extra>
void Adapt(std::vector<std::unique_ptr<ui::Control>>& owned, std::map<std::string, ui::Control*>& by,
           const std::map<std::string, HWND>& handles, const char* name, Core*& core, Extra&&... extra) {
    auto adapter = std::make_unique<A>(handles.at(name), std::forward<Extra>(extra)...);
    core = adapter.get();
    by[name] = adapter.get();
    owned.push_back(std::move(adapter));
}
} // namespace

void Form1Window::AdaptControls() {
    auto& a = adapters_;
    auto& c = controls_;
    const auto& h = byName_;
#define VXT_ADAPT(Kind, Name) Adapt<win::Kind>(a, c, h, #Name, Form1::Name)
    VXT_ADAPT(Frame, Frame6);
    VXT_ADAPT(TextBox, Text3);
    VXT_ADAPT(CheckBox, Check2);
    VXT_ADAPT(CheckBox, Check3);
    VXT_ADAPT(CheckBox, Check4);
    VXT_ADAPT(CommandButton, Command20);
    VXT_ADAPT(Label, Label5);
    VXT_ADAPT(CommandButton, Command6);
    VXT_ADAPT(CommandButton, Command3);
    VXT_ADAPT(CommandButton, Command7);
    VXT_ADAPT(CommandButton, Command8);
    VXT_ADAPT(CommandButton, Command9);
    VXT_ADAPT(CommandButton, Command28);
    VXT_ADAPT(CommandButton, Command21);
    VXT_ADAPT(Frame, Frame10);
    VXT_ADAPT(TextBox, Text4);
    VXT_ADAPT(Frame, Frame16);
    VXT_ADAPT(TextBox, Text5);
    VXT_ADAPT(CommandButton, Command29);
    VXT_ADAPT(CommandButton, Command30);
    VXT_ADAPT(Frame, Frame4);
    VXT_ADAPT(Label, Label8);
    VXT_ADAPT(Label, Label9);
    VXT_ADAPT(ComboBox, Combo2);
    VXT_ADAPT(CommandButton, Command27);
    VXT_ADAPT(Frame, Frame15);
    VXT_ADAPT(ComboBox, Combo3);
    VXT_ADAPT(CommandButton, Command26);
    VXT_ADAPT(ComboBox, Combo4);
    VXT_ADAPT(CommandButton, Command11);
    VXT_ADAPT(ComboBox, Combo5);
    VXT_ADAPT(Frame, Frame9);
    VXT_ADAPT(ComboBox, Combo1);
    VXT_ADAPT(Frame, Frame11);
    VXT_ADAPT(Label, Label1);
    VXT_ADAPT(Label, Label3);
    VXT_ADAPT(Label, Label2);
    VXT_ADAPT(Label, Label4);
    VXT_ADAPT(CommandButton, Command34);
    VXT_ADAPT(Frame, Frame8);
    VXT_ADAPT(CommandButton, Command2);
    VXT_ADAPT(CommandButton, Command31);
    VXT_ADAPT(CommandButton, Command1);
    VXT_ADAPT(CommandButton, Command32);
    VXT_ADAPT(CheckBox, Check1);
    VXT_ADAPT(CommandButton, Command4);
    VXT_ADAPT(Label, Label6);
    VXT_ADAPT(LineBox, Text1);
    VXT_ADAPT(Label, Label7);
#undef VXT_ADAPT
    // These raise their handler also when the program sets them.
    Adapt<win::HScrollBar>(a, c, h, "HScroll1", Form1::HScroll1, [this] { HScroll1_Change(); });
    Adapt<win::HScrollBar>(a, c, h, "HScroll2", Form1::HScroll2, [this] { HScroll2_Change(); });
    Adapt<win::HScrollBar>(a, c, h, "HScroll3", Form1::HScroll3, [this] { HScroll3_Change(); });
    Adapt<win::OptionButton>(a, c, h, "Option1", Form1::Option1, [this] { Option1_Click(); });
    Adapt<win::OptionButton>(a, c, h, "Option2", Form1::Option2, [this] { Option2_Click(); });
    auto* o1 = static_cast<win::OptionButton*>(Form1::Option1);
    auto* o2 = static_cast<win::OptionButton*>(Form1::Option2);
    o1->SetGroup({o1, o2});
    o2->SetGroup({o1, o2});

    // Design-time values, set before any handler is connected.
    auto* h1 = static_cast<win::HScrollBar*>(Form1::HScroll1);
    auto* h2 = static_cast<win::HScrollBar*>(Form1::HScroll2);
    auto* h3 = static_cast<win::HScrollBar*>(Form1::HScroll3);
    h1->SetRange(1, 17);
    h3->SetRange(1, 17);
    h2->SetRange(1, 6);
    SetScrollPos(h1->Handle(), SB_CTL, 11, TRUE);
    SetScrollPos(h3->Handle(), SB_CTL, 5, TRUE);
    SetScrollPos(h2->Handle(), SB_CTL, 5, TRUE);
    SendMessageW(o1->Handle(), BM_SETCHECK, BST_CHECKED, 0);
    o1->Clicked(); // records the selection; no handler yet
    Check1->SetValue(1);
    Check2->SetValue(1);
    Check4->SetValue(1);
}

void Form1Window::ConnectHandlers() {
    const auto click = [this](const char* name, void (Form1::*handler)()) {
        onCommand_[GetDlgCtrlID(byName_.at(name))] = [this, handler](int code) {
            if (code == BN_CLICKED)
                (this->*handler)();
        };
    };
    click("Command2", &Form1::Command2_Click);
    click("Command6", &Form1::Command6_Click);
    click("Command7", &Form1::Command7_Click);
    click("Command8", &Form1::Command8_Click);
    click("Command9", &Form1::Command9_Click);
    click("Command21", &Form1::Command21_Click);
    click("Command28", &Form1::Command28_Click);
    click("Command11", &Form1::Command11_Click);
    click("Command29", &Form1::Command29_Click);
    click("Command30", &Form1::Command30_Click);
    click("Command34", &Form1::Command34_Click);
    click("Command3", &Form1::Command3_Click);
    click("Command4", &Form1::Command4_Click);
    click("Command1", &Form1::Command1_Click);
    click("Command31", &Form1::Command31_Click);
    click("Command32", &Form1::Command32_Click);

    const auto combo = [this](const char* name, ui::ComboBox* core, void (Form1::*handler)()) {
        auto* adapter = static_cast<win::ComboBox*>(core);
        onCommand_[GetDlgCtrlID(byName_.at(name))] = [this, adapter, handler](int code) {
            if (adapter->Notify(code) && handler)
                (this->*handler)();
        };
    };
    combo("Combo4", Combo4, &Form1::Combo4_Click);
    combo("Combo2", Combo2, &Form1::Combo2_Click);
    combo("Combo1", Combo1, nullptr);
    combo("Combo3", Combo3, nullptr);
    combo("Combo5", Combo5, nullptr);

    for (ui::OptionButton* core : {Option1, Option2}) {
        auto* option = static_cast<win::OptionButton*>(core);
        onCommand_[GetDlgCtrlID(option->Handle())] = [option](int code) {
            if (code == BN_CLICKED)
                option->Clicked();
        };
    }
    for (ui::HScrollBar* core : {HScroll1, HScroll2, HScroll3}) {
        auto* bar = static_cast<win::HScrollBar*>(core);
        onScroll_[bar->Handle()] = [bar](int code, int pos) { bar->Scroll(code, pos); };
    }
    onCommand_[GetDlgCtrlID(byName_.at("Text1"))] = [this](int code) {
        if (code == EN_CHANGE)
            Text1_Change();
    };
    MSComm1->SetOnComm([this] { MSComm1_OnComm(); });
    // A network port's connection that failed after its open returned.
    MSComm1->SetOnPortFailure([this](const std::string& reason) { BackgroundPortFailure(reason); });
}

void Form1Window::Show(int showCommand) {
    // The window opens with the focus in the text to speak.
    Text3->SetFocus();
    Form_Load();
    if (Unloaded())
        return;
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    Text3->SetFocus();
}

bool Form1Window::TabKey(const MSG& msg) {
    const bool tab = (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && msg.wParam == (msg.message == WM_KEYDOWN ? VK_TAB : L'\t');
    if (!tab || GetKeyState(VK_CONTROL) < 0)
        return false;
    HWND control = GetFocus();
    // The field inside a combo box stands for the combo box.
    while (control && GetParent(control) && GetParent(control) != hwnd_)
        control = GetParent(control);
    if (!control || GetParent(control) != hwnd_)
        return false;
    if (msg.message == WM_KEYDOWN) {
        HWND next = GetNextDlgTabItem(hwnd_, control, GetKeyState(VK_SHIFT) < 0);
        if (next)
            SetFocus(next);
    }
    return true;
}

void Form1Window::Close() {
    if (closed_)
        return;
    closed_ = true;
    Form_Unload();
}

LRESULT CALLBACK Form1Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = WindowObject<Form1Window>(hwnd, msg, lParam);
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->Handle(hwnd, msg, wParam, lParam);
}

LRESULT Form1Window::Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        const auto it = onCommand_.find(LOWORD(wParam));
        if (it != onCommand_.end() && lParam)
            it->second(HIWORD(wParam));
        return 0;
    }
    case WM_HSCROLL: {
        const auto it = onScroll_.find(HWND(lParam));
        if (it != onScroll_.end())
            it->second(LOWORD(wParam), short(HIWORD(wParam)));
        return 0;
    }
    case WM_NOTIFY: {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        if (info->hdr.hwndFrom != tips_ || info->hdr.code != TTN_GETDISPINFOW)
            break;
        tipText_ = Wide(ToolTipText(HWND(info->hdr.idFrom)));
        info->lpszText = tipText_.data();
        return 0;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlType != ODT_BUTTON)
            break;
        const bool bold = boldButtons_.count(item->hwndItem) != 0;
        DrawCommandButton(*item, bold ? bold_ : font_, bold);
        return TRUE;
    }
    case WM_CTLCOLOREDIT:
        // The work log is drawn on the button face, as designed.
        if (HWND(lParam) == byName_["Text4"]) {
            SetBkColor(HDC(wParam), GetSysColor(COLOR_BTNFACE));
            return LRESULT(logBrush_);
        }
        break;
    case WinCommControl::kDataMessage:
        if (windowServices_.deliver)
            windowServices_.deliver();
        return 0;
    case WM_CLOSE:
        Close();
        DestroyWindow(hwnd);
        return 0;
    case WM_ENDSESSION:
        if (wParam)
            Close();
        return 0;
    case WM_DESTROY:
        Close();
        hwnd_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
