#include "qt/port_doctor_window.h"

#include "cli/cli_run.h"
#include "qt/qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

PortDoctorWindow::PortDoctorWindow(Survey survey, QWidget* parent)
    : QWidget(parent, Qt::Window), survey_(std::move(survey)) {
    if (!survey_)
        survey_ = [] { return LinuxCliSystem().surveyPorts({}); };
    setObjectName(QStringLiteral("PortDoctorWindow"));
    setWindowTitle(ToQString(doctor::kDoctorTitle));
    text_ = new QPlainTextEdit;
    text_->setObjectName(QStringLiteral("findings"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    again_ = new QPushButton(ToQString(doctor::kDoctorAgain));
    again_->setObjectName(QStringLiteral("againButton"));
    copy_ = new QPushButton(ToQString(doctor::kDoctorCopy));
    copy_->setObjectName(QStringLiteral("copyButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(again_);
    buttons->addWidget(copy_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    resize(640, 360);

    connect(again_, &QPushButton::clicked, this, &PortDoctorWindow::Refresh);
    connect(copy_, &QPushButton::clicked, this, &PortDoctorWindow::Copy);
    Refresh();
}

void PortDoctorWindow::Refresh() {
    const doctor::Diagnosis diagnosis = doctor::Diagnose(survey_());
    text_->setPlainText(QString::fromStdString(doctor::DiagnosisShown(diagnosis)));
}

void PortDoctorWindow::Copy() {
    QApplication::clipboard()->setText(text_->toPlainText());
}
