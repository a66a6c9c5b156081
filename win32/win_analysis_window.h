// "通信分析" on Windows: the traffic record as a live report-view list, one
// row per frame or status byte, the selected row field by field below it,
// and the buttons "清空", "导出CSV(&E)…", "导出抓包文件(&P)…" and
// "打开抓包文件(&O)…". A window of its own, not modal, owned by the
// console's window; a capture opened shows in a window of its own. The
// texts are the core's (core/traffic_table.h), as in the Linux window.
#pragma once

#include "core/capture_file.h"
#include "core/traffic_table.h"
#include "win32/win_text_files.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

class AnalysisWindowWin : private TrafficRecord::Listener {
  public:
    static constexpr wchar_t kClassName[] = L"VXT4710Analysis";

    AnalysisWindowWin(HINSTANCE instance, HWND owner, TrafficRecord& record, HFONT font,
                      FileDialogFn fileDialog, std::function<void(std::u16string_view)> message);
    ~AnalysisWindowWin() override;

    // Shows the window (again) in front.
    void Show();
    HWND Handle() const { return hwnd_; }
    HWND Table() const { return table_; }
    HWND Fields() const { return fields_; }

    // Takes in what the record gained since the last call (done on its own
    // at the next turn of the message loop).
    void Sync();
    // Shows the fields of a row (-1: none).
    void ShowFields(int row);
    // "导出CSV": asks for a file and writes every row to it.
    void ExportCsv();
    // Writes the CSV to path; false, with the message shown, on failure.
    bool WriteCsv(const std::wstring& path);

    // The line a capture export names (its port and rate); none: unnamed.
    void SetCaptureLine(std::function<CaptureInterface()> line) { line_ = std::move(line); }
    // "导出抓包文件": asks for a file and writes every row to it as a capture.
    void ExportCapture();
    bool WriteCapture(const std::wstring& path);
    // "打开抓包文件": asks for a capture and shows it in a window of its own
    // (this window's rows stay as they are).
    void OpenCapture();
    // The window showing the capture at path (this window keeps it), its
    // problems told; none when nothing could be read (told why).
    AnalysisWindowWin* ShowCapture(const std::wstring& path);

  private:
    template <class Self> friend Self* WindowObject(HWND, UINT, LPARAM);
    static constexpr UINT kSyncMessage = WM_APP + 20;
    template <class W> friend LRESULT CALLBACK RowWindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(const NMHDR& header);
    void Layout();
    void Appended(int row) override;
    void Changed(int row) override;
    void Cleared() override;
    void DroppedFront(int count) override;
    void Schedule();

    void Retitle();

    TrafficRecord& record_;
    FileDialogFn fileDialog_;
    std::function<void(std::u16string_view)> message_;
    std::function<CaptureInterface()> line_;
    std::unique_ptr<TrafficRecord> owned_; // a capture's record, shown by this window
    std::u16string fileName_;              // the capture shown; empty: the live record
    std::vector<std::unique_ptr<AnalysisWindowWin>> captures_; // the captures opened from here
    HWND hwnd_ = nullptr, table_ = nullptr, fields_ = nullptr, clear_ = nullptr, export_ = nullptr,
         exportCapture_ = nullptr, openCapture_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    int rows_ = 0;
    bool scheduled_ = false;
    std::wstring cell_; // the text handed to the list last
};

// The local time's offset from UTC at a moment, by the system's time zone.
int64_t WinUtcOffset(int64_t epochMs);
