// "端口诊断": the port doctor's findings (core/port_doctor.h) in a window of
// its own, not modal, opened from the work log's menu: the same text as
// vxt4710-cli doctor shows, a button that looks again and one that copies
// the text to the clipboard.
#pragma once

#include "core/port_doctor.h"

#include <QWidget>
#include <functional>

class QPlainTextEdit;
class QPushButton;

class PortDoctorWindow : public QWidget {
    Q_OBJECT
  public:
    // What the doctor looks at; none: this system's ports (LinuxCliSystem).
    using Survey = std::function<doctor::Survey()>;
    explicit PortDoctorWindow(Survey survey, QWidget* parent = nullptr);

    QPlainTextEdit* findings() const { return text_; }
    // Surveys the ports again and shows what the doctor finds.
    void Refresh();
    // The findings onto the clipboard.
    void Copy();

  private:
    Survey survey_;
    QPlainTextEdit* text_;
    QPushButton* again_;
    QPushButton* copy_;
};
