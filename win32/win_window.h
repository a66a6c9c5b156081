// The console's window on Windows: the designed controls made with the
// Windows API's own controls from the control table, each seen by the core
// through an adapter, and every notification connected to its handler.
#pragma once

#include "core/form1.h"
#include "win32/win_analysis_window.h"
#include "win32/win_comm.h"
#include "win32/win_controls.h"
#include "win32/win_monitor_window.h"
#include "win32/win_port_doctor_window.h"
#include "win32/win_text_files.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>

// What the window runs on besides the Windows API: the serial control and
// how it is hung on the window (the system's posts
// WinCommControl::kDataMessage to it, whose arrival runs deliver), the
// message box, and the reader of the initial text file. Tests give a fake
// port, answer the boxes and hand in the file.
struct WindowServices {
    std::unique_ptr<CommControl> comm;
    std::function<void(HWND window)> attach;
    std::function<void()> deliver;
    std::function<void(std::u16string_view text)> messageBox; // empty: MessageBoxW
    std::function<InitialFile()> readInitialFile;
    // The services the monitor window opens its taps with (the console's:
    // the command-line program's, which the window's library cannot reach;
    // main.cpp hands them in). Empty: the work log's menu has no monitor.
    MonitorThread::MakeSystem monitorSystem;
};
// The console's own: WinCommControl on the system's ports and the initial
// text file of the working folder.
WindowServices SystemWindowServices();

// Made before Form1, which takes the serial control at construction.
struct CommHolder {
    explicit CommHolder(WindowServices services) : windowServices_(std::move(services)) {}
    WindowServices windowServices_;
};

class Form1Window : private CommHolder, public Form1 {
  public:
    static constexpr wchar_t kClassName[] = L"VXT4710Form1";

    // Makes the window and its controls (hidden); Show() runs Form_Load and
    // shows it.
    explicit Form1Window(HINSTANCE instance, WindowServices services = SystemWindowServices());
    ~Form1Window() override;

    void Show(int showCommand);
    HWND Handle() const { return hwnd_; }
    // Moves the focus for Tab and Shift+Tab (Ctrl+Tab is left to the
    // control); true when msg was such a key.
    bool TabKey(const MSG& msg);
    // The control of the given designed name (nullptr if there is none).
    HWND ControlHandle(const std::string& name) const;
    // The window's own adapter of a designed control, reached through its
    // member of Form1: Widget(&Form1::Text3) is the win::TextBox the core
    // sees as Text3. Its type follows the member's; a control that is not of
    // it (never, as the window is built) throws rather than being misused.
    template <class Interface> win::Of<Interface>* Widget(Interface* Form1::*member) const {
        auto* control = dynamic_cast<win::Of<Interface>*>(this->*member);
        if (!control)
            throw std::logic_error("Form1Window: a control without its adapter");
        return control;
    }

    // ---- the context menus of Text3 and Text4 and the tooltips
    // (win_window_menus.cpp). Tests answer the file dialogs and message boxes.
    void SetFileDialog(FileDialogFn dialog) { fileDialog_ = std::move(dialog); }
    void SetMessageBox(std::function<void(std::u16string_view)> box) {
        messageBox_ = std::move(box);
    }
    // The menu of a big text box: the edit entries, then the core's
    // (core/form1_events.h). The caller destroys it.
    HMENU MakeContextMenu(HWND edit);
    void RunMenuCommand(HWND edit, int command);
    AnalysisWindowWin* Analysis() const { return analysis_.get(); }
    MonitorWindowWin* Monitor() const { return monitor_.get(); }
    PortDoctorWindowWin* PortDoctor() const { return doctor_.get(); }
    // "监听两条线路…": made on first use, shown again later.
    void ShowMonitor();
    // "端口诊断…": the one window, made on first use, surveyed again on each
    // showing (through monitorSystem's services).
    void ShowPortDoctor();
    // What the tooltip of a control says now (empty: none).
    std::u16string ToolTipText(HWND control);

    // The 9-point face the window uses: 宋体 where the system has it, else
    // another face that writes Chinese.
    static std::wstring ChooseFontFace(HDC dc);

  private:
    template <class Self> friend Self* WindowObject(HWND, UINT, LPARAM);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // The core's services on window: the message box, the sleep, the file
    // dialogs and files, the analysis window (made before Form1 is).
    static Form1Services CoreServices(Form1Window* window);
    void CreateControls();
    // One adapter per row of the control table, handed to the core.
    void AdaptControls();
    void ConnectHandlers();
    void OnCommand(int id, int code);
    void ConnectMenus();
    void ShowContextMenu(HWND edit, LPARAM where);
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Close();
    // "通信分析": made on first use, shown again later.
    void ShowAnalysis();
    // The core's file dialog on Windows' own (or the test's).
    FileChoice ChooseFile(const TextFileDialog& dialog);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr, bold_ = nullptr;
    HBRUSH logBrush_ = nullptr;
    std::set<HWND> boldButtons_; // Command6 and Command3
    std::map<std::string, HWND> byName_;
    std::map<std::string, ui::Control*> controls_;
    std::vector<std::unique_ptr<ui::Control>> adapters_;
    std::map<int, std::function<void(int code)>> onCommand_; // by control id
    std::map<HWND, std::function<void(int code, int pos)>> onScroll_;
    bool closed_ = false;
    HWND tips_ = nullptr;
    std::wstring tipText_; // the text the tooltip shows
    FileDialogFn fileDialog_;
    std::function<void(std::u16string_view)> messageBox_;
    std::unique_ptr<AnalysisWindowWin> analysis_;
    std::unique_ptr<MonitorWindowWin> monitor_;
    std::unique_ptr<PortDoctorWindowWin> doctor_;
};

// Reads the initial text file from the working folder (created empty when absent).
InitialFile ReadInitialFileWin();
// Writes kFirstStartGreeting (GBK) as the initial text file of the working
// folder when there is none; true when it did.
bool PlaceGreetingWin();
