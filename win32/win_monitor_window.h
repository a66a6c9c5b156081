// "监听两条线路" on Windows: a user's controller and the chip watched on two
// taps of their line. The ports and the rate, start and stop, the watched
// rows as a report-view list (rows with a finding marked), the selected
// row field by field, the counts, a status line and "导出CSV(&E)…". A
// window of its own, not modal, owned by the console's window. The watch,
// its rows and texts are the core's (core/monitor_view.h); the taps are
// read on a thread of their own (platform/monitor_thread.h), opened by
// the command-line program's services that makeSystem gives, so that
// reading never waits for a window.
#pragma once

#include "core/monitor_view.h"
#include "core/session_io.h" // SteadyClock
#include "platform/monitor_thread.h"
#include "win32/win_text_files.h"

#include <functional>
#include <memory>
#include <string>
#include <windows.h>

class MonitorWindowWin {
  public:
    static constexpr wchar_t kClassName[] = L"VXT4710Monitor";
    // How often the window takes what the watch found.
    static constexpr UINT kTakeMs = 50;

    MonitorWindowWin(HINSTANCE instance, HWND owner, HFONT font,
                     MonitorThread::MakeSystem makeSystem, FileDialogFn fileDialog,
                     std::function<void(std::u16string_view)> message);
    ~MonitorWindowWin();
    MonitorWindowWin(const MonitorWindowWin&) = delete;
    MonitorWindowWin& operator=(const MonitorWindowWin&) = delete;

    // Shows the window (again) in front.
    void Show();
    HWND Handle() const { return hwnd_; }
    HWND Table() const { return table_; }
    HWND Fields() const { return fields_; }
    HWND HostBox() const { return host_; }
    HWND ChipBox() const { return chip_; }
    HWND RateBox() const { return rate_; }
    HWND StartButton() const { return start_; }
    HWND StopButton() const { return stop_; }
    HWND CountsLine() const { return counts_; }
    HWND StatusLine() const { return status_; }
    const MonitorTable& Rows() const { return rows_; }
    bool Watching() const { return thread_ != nullptr; }

    // "开始": a fresh watch of the ports the boxes name, at the chosen rate.
    void Start();
    // "停止": asks the watch to end; the timer lets it go once it has.
    void Stop();
    // Takes in what the watch found since the last call (the timer's work).
    void Take();
    // Shows the fields of a row (-1: none).
    void ShowFields(int row);
    // "导出CSV": asks for a file and writes every row to it.
    void ExportCsv();
    // Writes the CSV to path; false, with the message shown, on failure.
    bool WriteCsv(const std::wstring& path);
    // "导出抓包文件": every row as a capture, one interface per tap, as
    // vxt4710-cli --capture monitor writes one.
    void ExportCapture();
    bool WriteCapture(const std::wstring& path);

  private:
    template <class Self> friend Self* WindowObject(HWND, UINT, LPARAM);
    template <class W> friend LRESULT CALLBACK RowWindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(const NMHDR& header);
    void Layout();
    void Buttons();
    void End(); // the watch has ended: its thread goes

    MonitorThread::MakeSystem makeSystem_;
    FileDialogFn fileDialog_;
    std::function<void(std::u16string_view)> message_;
    SteadyClock clock_;
    std::unique_ptr<WindowWatch> watch_;
    std::unique_ptr<MonitorThread> thread_; // after watch_: goes first
    MonitorTable rows_;
    std::u16string hostName_, chipName_;
    int rateIndex_ = 0;        // the status line's
    int watchRate_ = 0;        // the watch's rate at its start, bit/s
    int64_t epochZeroUs_ = 0;  // the wall clock at clock_'s zero
    int64_t watchStartUs_ = 0; // clock_ at the watch's t = 0
    bool stopping_ = false;
    bool failed_ = false; // the status line says why the last watch ended
    HWND hwnd_ = nullptr, table_ = nullptr, fields_ = nullptr, host_ = nullptr, chip_ = nullptr,
         rate_ = nullptr, start_ = nullptr, stop_ = nullptr, counts_ = nullptr, status_ = nullptr,
         export_ = nullptr, exportCapture_ = nullptr;
    HWND labels_[3] = {};
    int dpi_ = 96;
    std::wstring cell_; // the text handed to the list last
};
