#include "win32/win_button_draw.h"

#include <algorithm>

namespace {

bool IsChinese(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x3000 && c <= 0x303F);
}

bool IsClosing(wchar_t c) {
    return std::wstring_view(L")]}，。、；：？！）」』》〉”’,.;:?!").find(c) != std::wstring_view::npos;
}

bool IsOpening(wchar_t c) {
    return std::wstring_view(L"([{（「『《〈“‘").find(c) != std::wstring_view::npos;
}

// Whether a line may break between caption[i - 1] and caption[i].
bool BreakBefore(std::wstring_view caption, size_t i) {
    const wchar_t before = caption[i - 1], c = caption[i];
    if (c == L' ' || IsClosing(c) || IsOpening(before))
        return false;
    return before == L' ' || IsChinese(c) || IsChinese(before) || IsOpening(c);
}

std::wstring_view TrimEnd(std::wstring_view s) {
    while (!s.empty() && s.back() == L' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<std::wstring> WrapCaption(std::wstring_view caption,
                                      const std::function<int(std::wstring_view)>& width,
                                      int maxWidth) {
    std::vector<std::wstring> lines;
    size_t lineStart = 0, lastBreak = 0;
    for (size_t i = 1; i <= caption.size(); ++i) {
        if (i < caption.size() && !BreakBefore(caption, i))
            continue;
        // caption[lastBreak, i) is one unbreakable part.
        const std::wstring_view candidate = TrimEnd(caption.substr(lineStart, i - lineStart));
        if (lastBreak > lineStart && width(candidate) > maxWidth) {
            lines.emplace_back(caption.substr(lineStart, lastBreak - lineStart));
            lineStart = lastBreak;
        }
        lastBreak = i;
    }
    if (lineStart < caption.size() || lines.empty())
        lines.emplace_back(caption.substr(lineStart));
    return lines;
}

void DrawCommandButton(const DRAWITEMSTRUCT& item, HFONT font, bool bold) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = item.itemState & ODS_SELECTED;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));

    const int length = GetWindowTextLengthW(item.hwndItem);
    std::wstring caption(size_t(length) + 1, L'\0');
    caption.resize(size_t(std::max(0, GetWindowTextW(item.hwndItem, caption.data(), length + 1))));

    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const bool thicken = bold && metrics.tmWeight < FW_BOLD;
    const auto width = [dc, thicken](std::wstring_view run) {
        SIZE size{};
        GetTextExtentPoint32W(dc, run.data(), int(run.size()), &size);
        return int(size.cx) + (thicken ? 1 : 0);
    };
    RECT inside = r;
    InflateRect(&inside, -4, -3);
    const std::vector<std::wstring> lines =
        WrapCaption(caption, width, int(inside.right - inside.left));
    const int lineHeight = metrics.tmHeight;
    int y = (r.top + r.bottom - lineHeight * int(lines.size())) / 2;
    if (pushed)
        ++y;
    SetBkMode(dc, TRANSPARENT);
    const bool disabled = item.itemState & ODS_DISABLED;
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    for (const std::wstring& line : lines) {
        const std::wstring_view shown = TrimEnd(line);
        int x = (r.left + r.right - width(shown)) / 2 + (pushed ? 1 : 0);
        for (int pass = 0; pass < (thicken ? 2 : 1); ++pass)
            TextOutW(dc, x + pass, y, shown.data(), int(shown.size()));
        y += lineHeight;
    }
    SelectObject(dc, old);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}
