// UTF-8 <-> UTF-16 for the platform's Windows files, which speak UTF-8 to
// their callers and UTF-16 to the system.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

namespace wintext {

inline std::string Utf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), s.data(), n, nullptr,
                          nullptr);
    return s;
}

inline std::wstring Wide(std::string_view text) {
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring s(size_t(n > 0 ? n : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), s.data(), n);
    return s;
}

} // namespace wintext
