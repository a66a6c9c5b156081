// The toolkit layer: Qt widgets with exactly the properties and notifications
// the handlers rely on. Multi-line boxes speak CR LF (two characters per line
// break) whatever the widget stores inside.
#pragma once

#include "core/text_pieces.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QString>
#include <optional>
#include <vector>

// Multi-line text box with a vertical scroll bar. Positions and lengths count
// characters of Text(), where every line break is CR LF. A lone CR or LF given
// to SetText or AppendText becomes a line break, CR LF.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit TextBox(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    // Appends at the end without re-setting the whole text; the caret then
    // stands at the end. Cost does not depend on what the box already holds.
    void AppendText(const QString& text);
    int Length() const;

    int SelStart() const;
    int SelLength() const;
    QString SelText() const;
    void SetSelStart(int start);   // also collapses the selection, like the classic box
    void SetSelLength(int length); // from SelStart, clamped to the text

    // A line longer than this is held as pieces of at most this many
    // characters, each laid out on its own: a piece ends the display line it
    // is on, but Text(), positions, copying and editing see the whole line.
    static constexpr int kPieceLength = int(::kPieceLength);
    int PieceCount() const; // seams between pieces: 0 for ordinary texts

  signals:
    void Change();

  protected:
    // Shift+Enter breaks the line like Enter: a break is always CR LF.
    void keyPressEvent(QKeyEvent* event) override;
    // Pasted or dropped line separators become line breaks too.
    void insertFromMimeData(const QMimeData* source) override;
    // Copies and drags the text without the seams between pieces.
    QMimeData* createMimeDataFromSelection() const override;

  private:
    void select(int start, int length);
    int toDocPos(int pos) const;
    int fromDocPos(int docPos) const;
    // Position in Text() of each paragraph's first character (pieced only).
    const std::vector<int>& BlockStarts() const;

    mutable QString cache_;
    mutable bool cacheValid_ = false;
    bool pieced_ = false; // SetText cut a line into pieces
    bool quiet_ = false;  // no Change while SetText clears the old text
    mutable std::vector<int> starts_;
    mutable bool startsValid_ = false;
    // A selection set by the program may start or end between CR and LF,
    // where the widget cannot put its cursor. It holds while the text is
    // unchanged and the widget's cursor stays where it was put; otherwise
    // the widget's own selection counts.
    struct ProgramSelection {
        int start, length;    // in characters of Text()
        int anchor, position; // the widget's cursor that shows it
    };
    std::optional<ProgramSelection> programSel_;
};

// Single-line text box.
class LineBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit LineBox(QWidget* parent = nullptr);
    QString Text() const { return text(); }
    void SetText(const QString& t) { setText(t); }
  signals:
    void Change();
};

// Drop-down combo box with an editable field and a fixed list.
// ListIndex() is -1 once the user has typed into the field; neither typing
// nor Enter adds, picks or changes an entry.
class ComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit ComboBox(QWidget* parent = nullptr);
    int ListIndex() const;
    // Selects an entry from the program: no Click notification.
    void SetListIndex(int index);
    QString Text() const { return currentText(); }
    void SetText(const QString& t); // the field's text, no entry selected
    void showPopup() override;      // raises DropDown first
  signals:
    void Click();    // the user chose an entry
    void DropDown(); // the list is about to open

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool typed_ = false;
};

class CheckBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit CheckBox(QWidget* parent = nullptr) : QCheckBox(parent) {}
    int Value() const { return isChecked() ? 1 : 0; }
    void SetValue(int v) { setChecked(v != 0); }
};

// Option button: the buttons sharing a parent exclude each other. Click fires
// when the user selects it and when the program selects it while it was not.
class OptionButton : public QRadioButton {
    Q_OBJECT
  public:
    explicit OptionButton(QWidget* parent = nullptr);
    bool Value() const { return isChecked(); }
    void SetValue(bool selected);
  signals:
    void Click();

  protected:
    void nextCheckState() override;
    void checkStateSet() override;

  private:
    void uncheckSiblings();
};

// Horizontal scroll bar. Change fires once per change of Value: arrow, track,
// thumb release or program; never for a Value it already holds.
class HScrollBar : public QScrollBar {
    Q_OBJECT
  public:
    explicit HScrollBar(QWidget* parent = nullptr);
    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    int Value() const { return value(); }
    void SetValue(int v) { setValue(v); }
  signals:
    void Change();
};

class Frame : public QGroupBox {
    Q_OBJECT
  public:
    explicit Frame(QWidget* parent = nullptr) : QGroupBox(parent) {}
};

class Label : public QLabel {
    Q_OBJECT
  public:
    explicit Label(QWidget* parent = nullptr) : QLabel(parent) {}
};

// Command button; a caption too long for one line wraps onto the next.
class CommandButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CommandButton(QWidget* parent = nullptr);
  signals:
    void Click();

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The face every caption is measured for where 宋体 is missing (Debian's
// fonts-arphic-uming).
extern const QString kCaptionFontFamily;

// The one modal message box of the console: OK only, no icon, caption VXT4710.
void ShowModalMessage(QWidget* parent, const QString& text);

// The first SIGTERM, SIGINT or SIGHUP closes the window as the user would
// (so that it closes its port); a second one of any of the three ends the
// process at once, in case the window is busy and cannot react.
// CatchTerminationSignals() may run first, before the window exists, so that
// a signal during start-up is not fatal either.
// A window closed by a signal during start-up must not be shown: see
// TerminationRequested(). After the first signal no message box opens.
void CatchTerminationSignals();
void CloseOnTerminationSignals(QWidget* window);
bool TerminationRequested();
// The number of the first signal read (termination::kTerminate, ...), 0 before.
int CaughtTerminationSignal();
