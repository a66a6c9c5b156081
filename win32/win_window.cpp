// Building the window from its control table, and the window procedure that
// hands each notification to its handler.
#include "win32/win_window.h"

#include "core/control_table.h"
#include "core/text_util.h"
#include "platform/files.h"
#include "win32/win_button_draw.h"
#include "win32/win_controls.h"
#include "win32/win_text.h"

#include <algorithm>

namespace {
constexpr int kFirstId = 100; // clear of IDOK and IDCANCEL, which IsDialogMessage sends

const wchar_t* ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Frame:
    case ControlKind::CommandButton:
    case ControlKind::CheckBox:
    case ControlKind::OptionButton:
        return L"BUTTON";
    case ControlKind::TextBox:
    case ControlKind::LineBox:
        return L"EDIT";
    case ControlKind::ComboBox:
        return L"COMBOBOX";
    case ControlKind::Label:
        return L"STATIC";
    case ControlKind::HScrollBar:
        return L"SCROLLBAR";
    }
    return L"STATIC";
}

DWORD StyleOf(ControlKind kind) {
    const DWORD tab = WS_TABSTOP | WS_GROUP;
    switch (kind) {
    case ControlKind::Frame:
        return BS_GROUPBOX;
    case ControlKind::CommandButton:
        return tab | BS_OWNERDRAW; // win_button_draw.h
    case ControlKind::CheckBox:
        return tab | BS_AUTOCHECKBOX;
    case ControlKind::OptionButton:
        return WS_TABSTOP | BS_AUTORADIOBUTTON;
    case ControlKind::TextBox:
        return tab | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN;
    case ControlKind::LineBox:
        return tab | ES_AUTOHSCROLL;
    case ControlKind::ComboBox:
        return tab | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
    case ControlKind::Label:
        return SS_LEFT;
    case ControlKind::HScrollBar:
        return tab | SBS_HORZ;
    }
    return 0;
}

int CALLBACK OnFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM found) {
    reinterpret_cast<std::vector<std::wstring>*>(found)->push_back(font->lfFaceName);
    return 1;
}

std::vector<std::wstring> FacesOf(HDC dc, BYTE charset) {
    LOGFONTW query{};
    query.lfCharSet = charset;
    std::vector<std::wstring> faces;
    EnumFontFamiliesExW(dc, &query, OnFontFamily, LPARAM(&faces), 0);
    return faces;
}

// Where in the window a control of the table stands (twips): containers add
// their own place to what they hold. *visible gets the part of the window
// its containers leave it, as a container clips what it holds.
RECT PlaceOf(const DesignedControl& c, RECT* visible) {
    const auto& table = ControlTable();
    const auto find = [&table](const std::string& name) {
        return std::find_if(table.begin(), table.end(),
                            [&](const DesignedControl& d) { return d.name == name; });
    };
    RECT place{c.left, c.top, c.left + c.width, c.top + c.height};
    *visible = place;
    for (auto it = find(c.container); it != table.end(); it = find(it->container)) {
        OffsetRect(&place, it->left, it->top);
        OffsetRect(visible, it->left, it->top);
        const RECT inner{it->left, it->top, it->left + it->width, it->top + it->height};
        IntersectRect(visible, visible, &inner);
    }
    return place;
}
} // namespace

std::wstring Form1Window::ChooseFontFace(HDC dc) {
    const std::vector<std::wstring> all = FacesOf(dc, DEFAULT_CHARSET);
    const auto has = [&all](const std::wstring& face) {
        return std::find(all.begin(), all.end(), face) != all.end();
    };
    // The captions are measured for 宋体; the Ming face of Linux systems has
    // its metrics.
    for (const wchar_t* face : {L"宋体", L"SimSun", L"NSimSun", L"AR PL UMing CN", L"AR PL UMing TW",
                                L"Noto Serif CJK SC", L"Noto Sans CJK SC", L"Microsoft YaHei"}) {
        if (has(face))
            return face;
    }
    for (const std::wstring& face : FacesOf(dc, GB2312_CHARSET)) {
        if (!face.empty() && face[0] != L'@') // not a vertical-writing face
            return face;
    }
    return L"MS Shell Dlg";
}

WindowServices SystemWindowServices() {
    auto comm = std::make_unique<WinCommControl>();
    WinCommControl* control = comm.get();
    WindowServices services;
    services.comm = std::move(comm);
    services.attach = [control](HWND window) { control->SetWindow(window); };
    services.deliver = [control] { control->Deliver(); };
    services.readInitialFile = [] { return ReadInitialFileWin(); };
    return services;
}

Form1Services Form1Window::CoreServices(Form1Window* window) {
    Form1Services services;
    services.comm = window->windowServices_.comm.get();
    services.messageBox = [window](std::u16string_view text) {
        if (window->messageBox_)
            window->messageBox_(text);
        else
            MessageBoxW(window->hwnd_, Wide(text).c_str(), L"VXT4710", MB_OK);
    };
    services.sleepMs = [](int32_t ms) { ::Sleep(DWORD(ms)); };
    services.readInitialFile = window->windowServices_.readInitialFile;
    services.fileDialog = [window](const TextFileDialog& dialog) {
        return window->ChooseFile(dialog);
    };
    services.files = files::Service();
    services.showAnalysis = [window] { window->ShowAnalysis(); };
    return services;
}

Form1Window::Form1Window(HINSTANCE instance, WindowServices services)
    : CommHolder(std::move(services)), Form1(CoreServices(this)), instance_(instance) {
    messageBox_ = std::move(windowServices_.messageBox);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = HICON(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    const std::wstring face = ChooseFontFace(screen);
    ReleaseDC(nullptr, screen);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, Wide(kWindowTitle).c_str(), style,
                            CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (windowServices_.attach)
        windowServices_.attach(hwnd_);

    const int height = -MulDiv(9, dpi, 72);
    font_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    bold_ = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    logBrush_ = GetSysColorBrush(COLOR_BTNFACE);
    CreateControls();
    AdaptControls();
    ConnectHandlers();
    ConnectMenus();
}

Form1Window::~Form1Window() {
    windowServices_.comm->SetOnComm({});
    windowServices_.comm->SetOnPortFailure({});
    analysis_.reset(); // before the record it listens to
    monitor_.reset();  // its reading thread ends first
    if (hwnd_)
        DestroyWindow(hwnd_);
    DeleteObject(font_);
    DeleteObject(bold_);
}

HWND Form1Window::ControlHandle(const std::string& name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void Form1Window::CreateControls() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };

    // Creation order is the tab order (IsDialogMessage walks the children in
    // it) and the drawing order, first on top. Labels and frames take no
    // focus and come after the controls, frames below what they surround,
    // and Label5, which lies under Text3, last.
    std::vector<const DesignedControl*> order;
    for (const DesignedControl& c : ControlTable())
        order.push_back(&c);
    const auto layer = [](const DesignedControl* c) {
        if (c->name == "Label5")
            return 3;
        return c->kind == ControlKind::Frame ? 2 : c->kind == ControlKind::Label ? 1 : 0;
    };
    std::stable_sort(order.begin(), order.end(), [&](const auto* a, const auto* b) {
        if (layer(a) != layer(b))
            return layer(a) < layer(b);
        return a->tab < b->tab;
    });

    const auto& table = ControlTable();
    for (const DesignedControl* c : order) {
        RECT visible{};
        const RECT r = PlaceOf(*c, &visible);
        const int id = kFirstId + int(c - table.data());
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | StyleOf(c->kind);
        if (c->name == "Option1")
            style |= WS_GROUP; // Option1 and Option2 form one group
        const bool captioned = c->kind != ControlKind::ComboBox && c->kind != ControlKind::HScrollBar;
        const std::u16string caption = c->kind == ControlKind::TextBox ? WithCrLf(c->caption) : c->caption;
        // A drop-down's height includes its open list.
        const int height = c->kind == ControlKind::ComboBox ? px(c->height) + 200 : px(c->height);
        HWND w = CreateWindowExW(c->kind == ControlKind::TextBox || c->kind == ControlKind::LineBox
                                     ? WS_EX_CLIENTEDGE
                                     : 0,
                                 ClassOf(c->kind), captioned ? Wide(caption).c_str() : L"", style,
                                 px(r.left), px(r.top), px(r.right - r.left), height, hwnd_,
                                 HMENU(INT_PTR(id)), instance_, nullptr);
        const bool isBold = c->name == "Command6" || c->name == "Command3";
        SendMessageW(w, WM_SETFONT, WPARAM(isBold ? bold_ : font_), FALSE);
        if (isBold)
            boldButtons_.insert(w);
        byName_[c->name] = w;
        if (!EqualRect(&visible, &r)) {
            // Partly or wholly outside its container: only the inside shows,
            // and the control stays in the tab order, as designed.
            const int x = px(r.left), y = px(r.top);
            HRGN region = IsRectEmpty(&visible)
                              ? CreateRectRgn(0, 0, 0, 0)
                              : CreateRectRgn(px(visible.left) - x, px(visible.top) - y,
                                              px(visible.right) - x, px(visible.bottom) - y);
            SetWindowRgn(w, region, FALSE);
        }
        if (c->kind == ControlKind::TextBox || c->kind == ControlKind::LineBox)
            SendMessageW(w, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
        if (c->kind == ControlKind::ComboBox) {
            for (const std::u16string& entry : ComboEntries(c->name))
                SendMessageW(w, CB_ADDSTRING, 0, LPARAM(Wide(entry).c_str()));
            SetWindowTextW(w, Wide(c->caption).c_str());
        }
    }
}
