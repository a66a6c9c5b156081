#include "qt/toolkit.h"

#include "platform/termination_watch.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QStyleOptionButton>
#include <QStylePainter>

const QString kCaptionFontFamily = QStringLiteral("AR PL UMing CN");

// ---------------------------------------------------------------- LineBox

LineBox::LineBox(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, &LineBox::Change);
}

// ---------------------------------------------------------------- ComboBox

namespace {
bool IsEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // The lists are fixed: typing and Enter never add an entry, and no
    // completion turns typed text into a choice.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
    connect(this, &QComboBox::activated, this, [this] {
        typed_ = false;
        // A text longer than the field shows its start.
        lineEdit()->home(false);
        emit Click();
    });
}

int ComboBox::ListIndex() const {
    return typed_ ? -1 : currentIndex();
}

void ComboBox::SetListIndex(int index) {
    typed_ = false;
    setCurrentIndex(index);
    lineEdit()->home(false);
}

void ComboBox::SetText(const QString& t) {
    setCurrentIndex(-1);
    setEditText(t);
    typed_ = false;
    lineEdit()->home(false);
}

void ComboBox::showPopup() {
    emit DropDown();
    QComboBox::showPopup();
}

void ComboBox::keyPressEvent(QKeyEvent* event) {
    // Enter in the field would pick the entry that matches the typed text.
    if (IsEnterKey(event)) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool ComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && IsEnterKey(event)) {
        event->ignore();
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

// ---------------------------------------------------------------- OptionButton

OptionButton::OptionButton(QWidget* parent) : QRadioButton(parent) {
    // Exclusion among the buttons of one container is ours, so that the
    // program can also deselect a button.
    setAutoExclusive(false);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (property("vxtUserSelected").toBool()) {
            setProperty("vxtUserSelected", false);
            emit Click();
        }
    });
}

void OptionButton::SetValue(bool selected) {
    if (selected && !isChecked()) {
        setChecked(true);
        emit Click();
    } else if (!selected) {
        setChecked(false);
    }
}

void OptionButton::nextCheckState() {
    // A click selects; it never deselects.
    if (!isChecked()) {
        setProperty("vxtUserSelected", true);
        setChecked(true);
        // Inside a click the button skips checkStateSet().
        uncheckSiblings();
    }
}

void OptionButton::checkStateSet() {
    if (isChecked())
        uncheckSiblings();
}

void OptionButton::uncheckSiblings() {
    if (!parentWidget())
        return;
    for (auto* sibling :
         parentWidget()->findChildren<OptionButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (sibling != this && sibling->isChecked())
            sibling->setChecked(false);
    }
}

// ---------------------------------------------------------------- HScrollBar

HScrollBar::HScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setSingleStep(1);
    setPageStep(1);
    // A dragged thumb changes Value once, on release.
    setTracking(false);
    // Right arrow, Up and the wheel turned up raise Value, as on a slider.
    setInvertedControls(false);
    connect(this, &QAbstractSlider::valueChanged, this, &HScrollBar::Change);
}

// ---------------------------------------------------------------- CommandButton

CommandButton::CommandButton(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    connect(this, &QAbstractButton::clicked, this, &CommandButton::Click);
}

void CommandButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
}

void ShowModalMessage(QWidget* parent, const QString& text) {
    // After a termination signal nobody is left to answer a box.
    if (TerminationRequested())
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("VXT4710"), text, QMessageBox::Ok, parent);
    box.exec();
}

// ---------------------------------------------------------------- signals

namespace {
bool gTerminationRequested = false;
int gTerminationSignal = 0; // the first one read
QPointer<QWidget> gWindow;
QPointer<QSocketNotifier> gNotifier;

// Reads the pipe from the event loop: whichever loop runs, the main one or a
// message box's during start-up, so that a box open before the window was
// shown closes too.
void WatchSignalPipe() {
    const int fd = termination::Descriptor();
    if (gNotifier || fd < 0 || !QCoreApplication::instance())
        return;
    gNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(gNotifier, &QSocketNotifier::activated, [] {
        int signals_[16];
        while (termination::ReadPending(signals_, 16) > 0) {
            if (!gTerminationSignal)
                gTerminationSignal = signals_[0];
        }
        gTerminationRequested = true;
        // Ends any message box that is open, and the window once shown.
        QApplication::closeAllWindows();
        if (gWindow && gWindow->isVisible())
            gWindow->close();
    });
}
} // namespace

bool TerminationRequested() {
    return gTerminationRequested;
}

int CaughtTerminationSignal() {
    return gTerminationSignal;
}

void CatchTerminationSignals() {
    // The next termination signal of any kind ends the process at once: the
    // window may be busy (the repetition test never returns to the event
    // loop) and cannot react to the first.
    termination::Install({.secondSignalEnds = true});
    WatchSignalPipe();
}

void CloseOnTerminationSignals(QWidget* window) {
    CatchTerminationSignals();
    gWindow = window;
    // A signal that came while start-up showed a message box: the window
    // closes before it is ever shown. One caught before the window existed
    // and not yet read closes it as soon as the event loop runs.
    if (gTerminationRequested)
        window->close();
}
