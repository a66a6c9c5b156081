// The console's one window on Qt: the toolkit's widgets built from the
// control table, each notification connected to the core's handler, and the
// menus, file dialogs and analysis window around it. The handlers and the
// window's state are the core's Form1 (core/form1.h).
#pragma once

#include "core/form1.h"
#include "qt/file_dialog.h"
#include "qt/toolkit.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// What a test must control. Empty members get the real thing.
struct Form1Deps {
    // The serial control MSComm1; default: the one on the serial line.
    std::unique_ptr<CommControl> comm;
    // Shows one modal message; default: the modal message box.
    std::function<void(const QString& text)> messageBox;
    // The millisecond sleep of the repetition test; default: a thread sleep.
    std::function<void(int32_t ms)> sleepMs;
    // Open and save dialogs; default: Qt's own file dialog.
    FileDialogFn fileDialog;
    // Wall clock of the traffic record, ms since the epoch; default: the system's.
    std::function<int64_t()> clockMs;
};

class AnalysisWindow;
class QMenu;

class Form1Window : public QWidget, public Form1 {
    Q_OBJECT
  public:
    // Builds every control with its design values, then runs Form_Load.
    explicit Form1Window(Form1Deps deps = {}, QWidget* parent = nullptr);
    ~Form1Window() override;

    // ---- the widgets (names as designed); the core sees the same controls
    Frame* Frame6 = nullptr;
    TextBox* Text3 = nullptr;
    CheckBox* Check2 = nullptr;
    CheckBox* Check3 = nullptr;
    CheckBox* Check4 = nullptr;
    CommandButton* Command20 = nullptr;
    Label* Label5 = nullptr;
    CommandButton* Command6 = nullptr;
    CommandButton* Command3 = nullptr;
    CommandButton* Command7 = nullptr;
    CommandButton* Command8 = nullptr;
    CommandButton* Command9 = nullptr;
    CommandButton* Command28 = nullptr;
    CommandButton* Command21 = nullptr;
    Frame* Frame10 = nullptr;
    TextBox* Text4 = nullptr;
    Frame* Frame16 = nullptr;
    TextBox* Text5 = nullptr;
    CommandButton* Command29 = nullptr;
    CommandButton* Command30 = nullptr;
    Frame* Frame4 = nullptr;
    Label* Label8 = nullptr;
    Label* Label9 = nullptr;
    ComboBox* Combo2 = nullptr;
    CommandButton* Command27 = nullptr;
    Frame* Frame15 = nullptr;
    ComboBox* Combo3 = nullptr;
    CommandButton* Command26 = nullptr;
    ComboBox* Combo4 = nullptr;
    CommandButton* Command11 = nullptr;
    ComboBox* Combo5 = nullptr;
    Frame* Frame9 = nullptr;
    ComboBox* Combo1 = nullptr; // element 0 of its control array
    Frame* Frame11 = nullptr;
    Label* Label1 = nullptr;
    HScrollBar* HScroll1 = nullptr;
    Label* Label3 = nullptr;
    HScrollBar* HScroll3 = nullptr;
    Label* Label2 = nullptr;
    HScrollBar* HScroll2 = nullptr;
    Label* Label4 = nullptr;
    OptionButton* Option1 = nullptr;
    OptionButton* Option2 = nullptr;
    CommandButton* Command34 = nullptr;
    Frame* Frame8 = nullptr;
    CommandButton* Command2 = nullptr;
    CommandButton* Command31 = nullptr;
    CommandButton* Command1 = nullptr;
    CommandButton* Command32 = nullptr;
    CheckBox* Check1 = nullptr;
    CommandButton* Command4 = nullptr;
    Label* Label6 = nullptr;
    LineBox* Text1 = nullptr;
    Label* Label7 = nullptr;

    using Form1::AppendLog;
    using Form1::MsgBox;
    void AppendLog(const QString& line) { AppendLog(ToU16View(line)); }
    void MsgBox(const QString& text) { MsgBox(ToU16View(text)); }

    // Each entry of the port list tells in its tooltip which device it
    // stands for; refreshed at start-up and whenever the list opens.
    void RefreshPortTips();

    // ---- context menus, files, the analysis window
    // The menus the work log and the text box open; the caller owns them.
    QMenu* MakeLogMenu(const QPoint& pos);
    QMenu* MakeTextMenu(const QPoint& pos);
    void OpenAnalysis(); // "通信分析": one window, raised when open
    AnalysisWindow* Analysis() const { return analysis_.get(); }
    void SaveLog();
    void OpenTextFile();
    void SaveTextAs();
    void UpdateHexTip(); // Text5's tooltip follows its text
    FileDialogAnswer FileDialog(const FileDialogRequest& request);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    static std::u16string_view ToU16View(const QString& text) {
        return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
    }
    // The core's services from what the test gave (the real ones otherwise);
    // makes the serial control when none was given.
    static Form1Services MakeServices(Form1Deps& deps, Form1Window* window);
    void CreateControls();  // shell/form1_window.cpp
    void AdaptControls();   // shell/form1_window.cpp: the core's view of each widget
    void ConnectHandlers(); // shell/form1_window.cpp
    void ConnectMenus();    // shell/form1_menus.cpp

    std::unique_ptr<CommControl> comm_;
    FileDialogFn fileDialog_;
    std::vector<std::unique_ptr<ui::Control>> adapters_;
    // Declared last: it goes first, while the record still exists.
    std::unique_ptr<AnalysisWindow> analysis_;
};

// The port-failure message.
extern const QString kPortFailureMessage;
