// The core's UTF-16 strings and the Windows API's wide strings are the same
// units (wchar_t is 16 bits wide there): conversions copy, nothing else.
#pragma once

#include "core/text_input.h" // WithCrLf: every lone CR and LF becomes CR LF

#include <string>
#include <string_view>
#include <windows.h>

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string U16(std::wstring_view text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// The whole text of a window (a control's caption or contents).
inline std::u16string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(size_t(got > 0 ? got : 0));
    return U16(text);
}


// The object behind a window made with it as CreateWindowExW's last
// argument: kept in GWLP_USERDATA from WM_NCCREATE on, its hwnd_ set then.
template <class Self> Self* WindowObject(HWND hwnd, UINT msg, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Self*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(self));
        self->hwnd_ = hwnd;
    }
    return reinterpret_cast<Self*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}
