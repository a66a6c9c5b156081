// The adapters the core sees, the connection of every notification to its
// handler, and the window procedure.
#include "core/control_table.h"
#include "core/form1_events.h"
#include "win32/win_button_draw.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"
#include "win32/win_window.h"

#include <commctrl.h>
#include <stdexcept>

namespace {
// The core's view of a control of the given kind; scroll bars and option
// buttons raise their handler (change) also when the program sets them.
std::unique_ptr<ui::Control> AdapterOf(ControlKind kind, HWND hwnd, std::function<void()> change) {
    switch (kind) {
    case ControlKind::Frame:
        return std::make_unique<win::Frame>(hwnd);
    case ControlKind::TextBox:
        return std::make_unique<win::TextBox>(hwnd);
    case ControlKind::LineBox:
        return std::make_unique<win::LineBox>(hwnd);
    case ControlKind::CommandButton:
        return std::make_unique<win::CommandButton>(hwnd);
    case ControlKind::CheckBox:
        return std::make_unique<win::CheckBox>(hwnd);
    case ControlKind::ComboBox:
        return std::make_unique<win::ComboBox>(hwnd);
    case ControlKind::Label:
        return std::make_unique<win::Label>(hwnd);
    case ControlKind::HScrollBar:
        return std::make_unique<win::HScrollBar>(hwnd, std::move(change));
    case ControlKind::OptionButton:
        return std::make_unique<win::OptionButton>(hwnd, std::move(change));
    }
    throw std::logic_error("Form1Window: a control of no known kind");
}
} // namespace

void Form1Window::AdaptControls() {
    for (const DesignedControl& c : ControlTable()) {
        const FormEvent event =
            c.kind == ControlKind::HScrollBar ? FormEvent::Change : FormEvent::Click;
        std::function<void()> change;
        if (const auto handler = Form1Handler(c.name, event))
            change = [this, handler] { (this->*handler)(); };
        std::unique_ptr<ui::Control> adapter = AdapterOf(c.kind, byName_.at(c.name), change);
        if (!AttachControl(*this, c.name, adapter.get()))
            throw std::logic_error("Form1Window: no member for control " + c.name);
        controls_[c.name] = adapter.get();
        adapters_.push_back(std::move(adapter));
    }
    auto* o1 = Widget(&Form1::Option1);
    auto* o2 = Widget(&Form1::Option2);
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
    for (win::ComboBox* combo :
         {Widget(&Form1::Combo1), Widget(&Form1::Combo3), Widget(&Form1::Combo5)})
        onCommand_[GetDlgCtrlID(combo->Handle())] = [combo](int code) { combo->Notify(code); };
    for (win::OptionButton* option : {Widget(&Form1::Option1), Widget(&Form1::Option2)}) {
        onCommand_[GetDlgCtrlID(option->Handle())] = [option](int code) {
            if (code == BN_CLICKED)
                option->Clicked();
        };
    }
    for (win::HScrollBar* bar :
         {Widget(&Form1::HScroll1), Widget(&Form1::HScroll2), Widget(&Form1::HScroll3)})
        onScroll_[bar->Handle()] = [bar](int code, int pos) { bar->Scroll(code, pos); };
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
