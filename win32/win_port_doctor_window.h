// "端口诊断" on Windows: the port doctor's findings (core/port_doctor.h), the
// same text vxt4710-cli doctor shows, in a window of its own, not modal,
// owned by the console's window, with "重新诊断" (look again) and
// "复制到剪贴板". What is surveyed comes from survey: the command-line
// program's services, which the window's library cannot reach itself.
#pragma once

#include "core/port_doctor.h"

#include <functional>
#include <string>
#include <windows.h>

class PortDoctorWindowWin {
  public:
    static constexpr wchar_t kClassName[] = L"VXT4710PortDoctor";
    using Survey = std::function<doctor::Survey()>;

    PortDoctorWindowWin(HINSTANCE instance, HWND owner, HFONT font, Survey survey);
    ~PortDoctorWindowWin();
    PortDoctorWindowWin(const PortDoctorWindowWin&) = delete;
    PortDoctorWindowWin& operator=(const PortDoctorWindowWin&) = delete;

    // Surveys again and shows the window in front.
    void Show();
    HWND Handle() const { return hwnd_; }
    HWND Findings() const { return text_; }
    HWND AgainButton() const { return again_; }
    HWND CopyButton() const { return copy_; }

    // Surveys the ports again and shows what the doctor finds.
    void Refresh();
    // The findings onto the clipboard; false when it could not be opened.
    bool Copy();

  private:
    template <class Self> friend Self* WindowObject(HWND, UINT, LPARAM);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    void Layout();

    Survey survey_;
    HWND hwnd_ = nullptr;
    HWND text_ = nullptr;
    HWND again_ = nullptr;
    HWND copy_ = nullptr;
    int dpi_ = 96;
};
