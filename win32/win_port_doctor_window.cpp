#include "win32/win_port_doctor_window.h"

#include "core/text_input.h" // WithCrLf
#include "core/text_util.h"
#include "win32/win_row_view.h" // RegisterRowWindowClass
#include "win32/win_text.h"

#include <algorithm>
#include <cstring>

namespace {
enum { kTextId = 1, kAgainId, kCopyId };
} // namespace

PortDoctorWindowWin::PortDoctorWindowWin(HINSTANCE instance, HWND owner, HFONT font, Survey survey)
    : survey_(std::move(survey)) {
    RegisterRowWindowClass(instance, kClassName, WindowProc);
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, MulDiv(640, dpi_, 96), MulDiv(360, dpi_, 96)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    hwnd_ = CreateWindowExW(0, kClassName, Wide(doctor::kDoctorTitle).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            owner, nullptr, instance, this);
    const auto child = [&](const wchar_t* cls, std::u16string_view text, DWORD extra, int id,
                           DWORD exStyle) {
        HWND w = CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | extra, 0,
                                 0, 10, 10, hwnd_, HMENU(INT_PTR(id)), instance, nullptr);
        SendMessageW(w, WM_SETFONT, WPARAM(font), FALSE);
        return w;
    };
    text_ =
        child(L"EDIT", u"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
              kTextId, WS_EX_CLIENTEDGE);
    again_ = child(L"BUTTON", doctor::kDoctorAgain, WS_TABSTOP | BS_PUSHBUTTON, kAgainId, 0);
    copy_ = child(L"BUTTON", doctor::kDoctorCopy, WS_TABSTOP | BS_PUSHBUTTON, kCopyId, 0);
    Layout();
}

PortDoctorWindowWin::~PortDoctorWindowWin() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void PortDoctorWindowWin::Show() {
    Refresh();
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(copy_);
}

void PortDoctorWindowWin::Refresh() {
    const doctor::Diagnosis diagnosis = doctor::Diagnose(survey_());
    // An edit control breaks lines on CR LF only.
    SetWindowTextW(text_, Wide(WithCrLf(Utf16FromUtf8(doctor::DiagnosisShown(diagnosis)))).c_str());
}

bool PortDoctorWindowWin::Copy() {
    const std::u16string text = WindowText(text_);
    if (!OpenClipboard(hwnd_))
        return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool done = false;
    if (memory) {
        if (void* at = GlobalLock(memory)) {
            std::memcpy(at, text.c_str(), bytes);
            GlobalUnlock(memory);
            done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!done)
            GlobalFree(memory); // the clipboard did not take it
    }
    CloseClipboard();
    return done;
}

void PortDoctorWindowWin::Layout() {
    RECT r{};
    GetClientRect(hwnd_, &r);
    const auto px = [this](int v) { return MulDiv(v, dpi_, 96); };
    const int m = px(8), rowH = px(26), buttonW = px(110);
    const int width = std::max(0, int(r.right) - 2 * m);
    const int textH = std::max(0, int(r.bottom) - 3 * m - rowH);
    MoveWindow(text_, m, m, width, textH, TRUE);
    const int y = m + textH + m;
    MoveWindow(copy_, int(r.right) - m - buttonW, y, buttonW, rowH, TRUE);
    MoveWindow(again_, int(r.right) - 2 * m - 2 * buttonW, y, buttonW, rowH, TRUE);
}

LRESULT CALLBACK PortDoctorWindowWin::WindowProc(HWND hwnd, UINT msg, WPARAM wParam,
                                                 LPARAM lParam) {
    auto* self = WindowObject<PortDoctorWindowWin>(hwnd, msg, lParam);
    if (self && msg == WM_NCDESTROY) {
        // Gone with the console's window, which owns it.
        self->hwnd_ = self->text_ = self->again_ = self->copy_ = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return self ? self->Handle(msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT PortDoctorWindowWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        if (text_)
            Layout();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kAgainId)
            Refresh();
        else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == kCopyId)
            Copy();
        return 0;
    case WM_CLOSE:
        ShowWindow(hwnd_, SW_HIDE); // the menu shows it again
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}
