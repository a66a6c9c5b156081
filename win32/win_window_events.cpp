// The adapters the core sees, the connection of every notification to its
// handler, and the window procedure.
#include "core/control_table.h"
#include "core/form1_events.h"
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
    const auto handler = [this](const char* name, FormEvent event) {
        return [this, h = Form1Handler(name, event)] { (this->*h)(); };
    };
    Adapt<win::HScrollBar>(a, c, h, "HScroll1", Form1::HScroll1, handler("HScroll1", FormEvent::Change));
    Adapt<win::HScrollBar>(a, c, h, "HScroll2", Form1::HScroll2, handler("HScroll2", FormEvent::Change));
    Adapt<win::HScrollBar>(a, c, h, "HScroll3", Form1::HScroll3, handler("HScroll3", FormEvent::Change));
    Adapt<win::OptionButton>(a, c, h, "Option1", Form1::Option1, handler("Option1", FormEvent::Click));
    Adapt<win::OptionButton>(a, c, h, "Option2", Form1::Option2, handler("Option2", FormEvent::Click));
    auto* o1 = static_cast<win::OptionButton*>(Form1::Option1);
    auto* o2 = static_cast<win::OptionButton*>(Form1::Option2);
    o1->SetGroup({o1, o2});
    o2->SetGroup({o1, o2});

    // Design-time values, set before any handler is connected (the scroll
    // bars' positions straight on the control, which raises nothing).
    for (const DesignedValue& v : DesignedValues()) {
        ui::Control* control = controls_.at(std::string(v.control));
        if (auto* bar = dynamic_cast<win::HScrollBar*>(control)) {
            bar->SetRange(v.min, v.max);
            SetScrollPos(bar->Handle(), SB_CTL, v.value, TRUE);
        } else if (auto* option = dynamic_cast<win::OptionButton*>(control)) {
            SendMessageW(option->Handle(), BM_SETCHECK, v.value ? BST_CHECKED : BST_UNCHECKED, 0);
            option->Clicked(); // records the selection; no handler yet
        } else if (auto* check = dynamic_cast<ui::CheckBox*>(control)) {
            check->SetValue(int16_t(v.value));
        }
    }
}

void Form1Window::ConnectHandlers() {
    // Buttons, combo boxes and the line box tell their parent; the scroll
    // bars and option buttons got their handlers from their adapters.
    for (const FormEventRow& row : Form1Events()) {
        const std::string name(row.control);
        ui::Control* control = controls_.at(name);
        const int id = GetDlgCtrlID(byName_.at(name));
        const auto handler = row.handler;
        if (auto* combo = dynamic_cast<win::ComboBox*>(control)) {
            onCommand_[id] = [this, combo, handler](int code) {
                if (combo->Notify(code))
                    (this->*handler)();
            };
        } else if (dynamic_cast<ui::CommandButton*>(control)) {
            onCommand_[id] = [this, handler](int code) {
                if (code == BN_CLICKED)
                    (this->*handler)();
            };
        } else if (dynamic_cast<ui::LineBox*>(control)) {
            onCommand_[id] = [this, handler](int code) {
                if (code == EN_CHANGE)
                    (this->*handler)();
            };
        }
    }
    // The other combo boxes have no handler; they keep their typed text.
    for (const char* name : {"Combo1", "Combo3", "Combo5"}) {
        auto* combo = static_cast<win::ComboBox*>(controls_.at(name));
        onCommand_[GetDlgCtrlID(byName_.at(name))] = [combo](int code) { combo->Notify(code); };
    }
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
