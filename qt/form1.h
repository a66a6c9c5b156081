// The console's one window on Qt: the toolkit's widgets built from the
// control table, each notification connected to the core's handler, and the
// menus, file dialogs and analysis window around it. The handlers and the
// window's state are the core's Form1 (core/form1.h).
#pragma once

#include "core/form1.h"
#include "qt/control_adapters.h"
#include "qt/file_dialog.h"
#include "qt/toolkit.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
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
class MonitorWindow;
class PortDoctorWindow;
class QMenu;

class Form1Window : public QWidget, public Form1 {
    Q_OBJECT
  public:
    // Builds every control with its design values, then runs Form_Load.
    explicit Form1Window(Form1Deps deps = {}, QWidget* parent = nullptr);
    ~Form1Window() override;

    // The toolkit's widget of a designed control, reached through its member
    // of Form1: Widget(&Form1::Text3) is the TextBox the core sees as Text3.
    // The widget's type follows the member's; a widget that is not of it
    // (never, as the window is built) throws rather than being misused.
    template <class Interface>
    typename QtAdapter<Interface>::Widget* Widget(Interface* Form1::*member) const {
        using W = typename QtAdapter<Interface>::Widget;
        W* widget = qobject_cast<W*>(WidgetOf(this->*member));
        if (!widget)
            throw std::logic_error("Form1Window: a control without its widget");
        return widget;
    }

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
    AnalysisWindow* Analysis() const { return analysis_.get(); }
    MonitorWindow* Monitor() const { return monitor_.get(); }
    PortDoctorWindow* PortDoctor() const { return doctor_.get(); }
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
    // One widget per row of the control table, each handed to the core
    // through its adapter (form1_window.cpp).
    void CreateControls();
    void ConnectHandlers(); // form1_window.cpp
    void ConnectMenus();    // form1_menus.cpp
    // The widget behind an adapter the window made (nullptr for any other).
    QWidget* WidgetOf(const ui::Control* control) const;
    // The context menu of a big text box: the edit entries, then the core's.
    QMenu* MakeMenu(TextBox* box, const char* control, const QPoint& pos);
    // "通信分析": the one window, made on first use, raised.
    void ShowAnalysis();
    // "监听两条线路": the one window, made on first use, raised.
    void ShowMonitor();
    // "端口诊断": the one window, made on first use, raised, its findings
    // taken again each time.
    void ShowPortDoctor();
    // The core's file dialog on the dialog of this window.
    FileChoice ChooseFile(const TextFileDialog& dialog);

    std::unique_ptr<CommControl> comm_;
    FileDialogFn fileDialog_;
    // By row of the control table: the widget and the core's view of it.
    std::vector<QWidget*> widgets_;
    std::vector<std::unique_ptr<ui::Control>> adapters_;
    // Declared last: it goes first, while the record still exists.
    std::unique_ptr<AnalysisWindow> analysis_;
    std::unique_ptr<MonitorWindow> monitor_;
    std::unique_ptr<PortDoctorWindow> doctor_;
};

// The port-failure message.
extern const QString kPortFailureMessage;
