// The console's one window, its state and every handler, written against the
// controls of core/controls.h and the serial control of core/comm_control.h.
// A front end makes the controls, hands them over, connects each control's
// notification to its handler and calls Form_Load.
#pragma once

#include "core/comm_control.h"
#include "core/controls.h"
#include "core/initial_text.h"
#include "core/text_files.h"
#include "core/traffic_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// What the handlers need from the platform besides the controls.
struct Form1Services {
    // The serial control MSComm1; the front end owns it.
    CommControl* comm = nullptr;
    // Shows one modal message (OK only, caption VXT4710) and returns once it
    // is closed.
    std::function<void(std::u16string_view text)> messageBox;
    // The millisecond sleep of the repetition test: it blocks the window.
    std::function<void(int32_t ms)> sleepMs;
    // Reads the initial text file from the working directory.
    std::function<InitialFile()> readInitialFile;
    // Wall clock of the traffic record, ms since the epoch; empty: the system's.
    std::function<int64_t()> clockMs;
    // The front end's open and save dialogs; empty: every dialog is cancelled.
    std::function<FileChoice(const TextFileDialog& dialog)> fileDialog;
    // The platform's file service (platform/files.h); empty: nothing is
    // read or written.
    FileService files;
    // Shows the analysis window: made on first use, raised while it is open.
    std::function<void()> showAnalysis;
};

// The port-failure message.
inline constexpr std::u16string_view kPortFailureText =
    u"串口不存在或被占用,若电脑没有串口，请使用USB转串口设备";

// Why 设置芯片 sends nothing on a port whose rate the server keeps.
inline constexpr std::u16string_view kRawRateRefusalText =
    u"此端口是 socket:// 网络端口，波特率由服务器决定，无法从这里更改；"
    u"要设置芯片的波特率，请使用 rfc2217:// 地址";

class Form1 {
  public:
    explicit Form1(Form1Services services);
    virtual ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // ---- controls (names as designed), set by the front end
    ui::Frame* Frame6 = nullptr;
    ui::TextBox* Text3 = nullptr;
    ui::CheckBox* Check2 = nullptr;
    ui::CheckBox* Check3 = nullptr;
    ui::CheckBox* Check4 = nullptr;
    ui::CommandButton* Command20 = nullptr;
    ui::Label* Label5 = nullptr;
    ui::CommandButton* Command6 = nullptr;
    ui::CommandButton* Command3 = nullptr;
    ui::CommandButton* Command7 = nullptr;
    ui::CommandButton* Command8 = nullptr;
    ui::CommandButton* Command9 = nullptr;
    ui::CommandButton* Command28 = nullptr;
    ui::CommandButton* Command21 = nullptr;
    ui::Frame* Frame10 = nullptr;
    ui::TextBox* Text4 = nullptr;
    ui::Frame* Frame16 = nullptr;
    ui::TextBox* Text5 = nullptr;
    ui::CommandButton* Command29 = nullptr;
    ui::CommandButton* Command30 = nullptr;
    ui::Frame* Frame4 = nullptr;
    ui::Label* Label8 = nullptr;
    ui::Label* Label9 = nullptr;
    ui::ComboBox* Combo2 = nullptr;
    ui::CommandButton* Command27 = nullptr;
    ui::Frame* Frame15 = nullptr;
    ui::ComboBox* Combo3 = nullptr;
    ui::CommandButton* Command26 = nullptr;
    ui::ComboBox* Combo4 = nullptr;
    ui::CommandButton* Command11 = nullptr;
    ui::ComboBox* Combo5 = nullptr;
    ui::Frame* Frame9 = nullptr;
    ui::ComboBox* Combo1 = nullptr; // element 0 of its control array
    ui::Frame* Frame11 = nullptr;
    ui::Label* Label1 = nullptr;
    ui::HScrollBar* HScroll1 = nullptr;
    ui::Label* Label3 = nullptr;
    ui::HScrollBar* HScroll3 = nullptr;
    ui::Label* Label2 = nullptr;
    ui::HScrollBar* HScroll2 = nullptr;
    ui::Label* Label4 = nullptr;
    ui::OptionButton* Option1 = nullptr;
    ui::OptionButton* Option2 = nullptr;
    ui::CommandButton* Command34 = nullptr;
    ui::Frame* Frame8 = nullptr;
    ui::CommandButton* Command2 = nullptr;
    ui::CommandButton* Command31 = nullptr;
    ui::CommandButton* Command1 = nullptr;
    ui::CommandButton* Command32 = nullptr;
    ui::CheckBox* Check1 = nullptr;
    ui::CommandButton* Command4 = nullptr;
    ui::Label* Label6 = nullptr;
    ui::LineBox* Text1 = nullptr;
    ui::Label* Label7 = nullptr;
    CommControl* MSComm1 = nullptr;

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
    std::string FrameBuffer;
    // The Combo5 entry carried by the last set-baud frame handed to the port:
    // the rate the chip will listen at once it accepts the change.
    int16_t PendingBaudIndex = -1;

    // ---- start-up and shut-down
    void Form_Load();
    void Form_Unload();
    void Command2_Click();

    // ---- serial link
    // Writes the frame, opening the port first when it is closed. On any
    // serial failure shows the port-failure message; returns whether the
    // frame was handed to the port (callers other than the set-baud button
    // ignore it).
    bool SendBytes(std::string_view bytes);
    void Combo4_Click();
    void Combo2_Click();
    void MSComm1_OnComm();
    // The designed port-failure message; for a port on another machine with
    // a line that names the address and reason (why the connection failed).
    void ShowPortFailure(std::string_view reason = {});
    // A port that was connecting in the background failed: what waited for
    // it gets no reply, so continuous playback ends, and the user is told.
    void BackgroundPortFailure(std::string_view reason);

    // ---- frames
    void LogFrame(std::string_view frame);
    // Every handler's frame comes from the shared builders and goes out
    // here: logged first, then sent; returns what SendBytes returns.
    bool SendBuiltFrame(const std::string& frame);
    // Appends one log text and CR LF to the work log; the caret goes to the end.
    void AppendLog(std::u16string_view line);
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command21_Click();
    void Command28_Click();
    void Command11_Click();
    void Command29_Click();
    void Command30_Click();

    // ---- attributes
    void HScroll1_Change();
    void HScroll2_Change();
    void HScroll3_Change();
    void Option1_Click();
    void Option2_Click();
    void Command34_Click();

    // ---- demonstrations and playback tests
    void Command3_Click();
    void Command4_Click();
    void Text1_Change();
    void Command1_Click();
    void Command31_Click();
    void Command32_Click();

    // ---- the context menus of the text box and the work log (form1_files.cpp)
    // "打开文本文件": replaces the text as the demo buttons do (nothing sent,
    // logged or selected), or says why not.
    void OpenTextFile();
    // "另存为": the text, GBK by default, the initial text file's encoding.
    void SaveTextAs();
    // "保存工作记录": the log exactly as it stands (its line breaks are CR LF),
    // UTF-8 unless GBK is chosen.
    void SaveLog();
    // "通信分析": one window, raised when open.
    void OpenAnalysis();

    // Shows a modal message (none once the window is closing).
    void MsgBox(std::u16string_view text);
    void SleepMs(int32_t ms);

    // True once Form_Unload has run (perhaps inside a message box's nested
    // event loop): from then on nothing opens the port or sends.
    bool Unloaded() const { return unloaded_; }
    // Port failures so far (each shown at most once).
    int PortFailures() const { return portFailures_; }
    // A continuation step of continuous playback is under way.
    bool PlaybackStepRunning = false;
    // Every frame handed to the port and every status byte read; kept while
    // the window lives (the work log's clear button leaves it alone).
    TrafficRecord Traffic;

  private:
    // Asks the front end's dialog; cancelled when there is none.
    FileChoice AskFile(const TextFileDialog& dialog);
    // Writes box's text as the chosen filter's encoding, or says why not.
    void SaveText(const TextFileDialog& dialog, const ui::TextBox* box);

    Form1Services services_;
    bool unloaded_ = false;
    int portFailures_ = 0;
    bool failureShown_ = false; // the port-failure message is open
};
