// The console's one window. Its handlers are defined in the folder of their
// subsystem: shell/ (window, start-up, shut-down), serial/ (ports, output,
// replies), frames/, attributes/, demo/.
#pragma once

#include "core/traffic_record.h"
#include "serial/comm_control.h"
#include "shell/file_dialog.h"
#include "shell/toolkit.h"

#include <QByteArray>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

// What a test must control. Empty members get the real thing.
struct Form1Deps {
    // The serial control MSComm1; default: the QSerialPort one.
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

class Form1 : public QWidget {
    Q_OBJECT
  public:
    // Builds every control with its design values, then runs Form_Load.
    explicit Form1(Form1Deps deps = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // ---- controls (names as designed)
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
    CommControl* MSComm1 = nullptr; // owned by the window

    // ---- form-level state (booleans: -1 true, 0 false)
    int16_t PlayAllActive = 0;
    int16_t BaudChangePending = 0;
    int32_t RepeatIntervalMs = 0;
    int32_t RepeatCycles = 10000; // cycles of the repetition test (tests run fewer)
    int16_t AttributeFramesEnabled = 0;
    uint8_t FrameHeader = 0;
    int16_t MaxTextBytes = 0;
    int16_t TextByteCount = 0;
    int16_t ChecksumIndex = 0;
    int16_t PortNumber = 0;
    uint8_t Checksum = 0;
    int16_t LastDataIndex = 0;
    int16_t LoopIndex = 0;
    QByteArray FrameBuffer;
    // The Combo5 entry carried by the last set-baud frame handed to the port:
    // the rate the chip will listen at once it accepts the change.
    int16_t PendingBaudIndex = -1;

    // ---- start-up and shut-down (shell/)
    void Form_Load();
    void Form_Unload();
    void Command2_Click();
    // Each entry of the port list tells in its tooltip which device it
    // stands for; refreshed at start-up and whenever the list opens.
    void RefreshPortTips();

    // ---- serial link (serial/)
    // Writes the frame, opening the port first when it is closed. On any
    // serial failure shows the port-failure message; returns whether the
    // frame was handed to the port (callers other than the set-baud button
    // ignore it).
    bool SendBytes(const QByteArray& bytes);
    void Combo4_Click();
    void Combo2_Click();
    void MSComm1_OnComm();
    void ShowPortFailure();

    // ---- frames (frames/)
    void LogFrame(const QByteArray& frame);
    // Every handler's frame comes from the shared builders and goes out
    // here: logged first, then sent; returns what SendBytes returns.
    bool SendBuiltFrame(const QByteArray& frame);
    // Appends one log text and CR LF to the work log; the caret goes to the end.
    void AppendLog(const QString& line);
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command21_Click();
    void Command28_Click();
    void Command11_Click();
    void Command29_Click();
    void Command30_Click();

    // ---- attributes (attributes/)
    void HScroll1_Change();
    void HScroll2_Change();
    void HScroll3_Change();
    void Option1_Click();
    void Option2_Click();
    void Command34_Click();

    // ---- demonstrations and playback tests (demo/)
    void Command3_Click();
    void Command4_Click();
    void Text1_Change();
    void Command1_Click();
    void Command31_Click();
    void Command32_Click();

    // Shows a modal message (or hands it to the injected recorder).
    void MsgBox(const QString& text);
    void SleepMs(int32_t ms);

    // True once Form_Unload has run (perhaps inside a message box's nested
    // event loop): from then on nothing opens the port or sends.
    bool Unloaded() const { return unloaded_; }
    // Port failures so far (each shown at most once).
    int PortFailures() const { return portFailures_; }
    // A continuation step of continuous playback is under way.
    bool PlaybackStepRunning = false;
    // ---- traffic record, context menus, files (analysis/, shell/form1_menus.cpp)
    // Every frame handed to the port and every status byte read; kept while
    // the window lives (the work log's clear button leaves it alone).
    TrafficRecord Traffic;
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
    void CreateControls();  // shell/form1_window.cpp
    void ConnectHandlers(); // shell/form1_window.cpp
    void ConnectMenus();    // shell/form1_menus.cpp

    std::unique_ptr<CommControl> comm_;
    std::function<void(const QString&)> messageBox_;
    std::function<void(int32_t)> sleepMs_;
    bool unloaded_ = false;
    int portFailures_ = 0;
    bool failureShown_ = false; // the port-failure message is open
    FileDialogFn fileDialog_;
    // Declared after Traffic: it goes first, while the record still exists.
    std::unique_ptr<AnalysisWindow> analysis_;
};

// The port-failure message.
extern const QString kPortFailureMessage;
