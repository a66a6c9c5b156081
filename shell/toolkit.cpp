#include "shell/toolkit.h"

#include <QMessageBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {
constexpr QChar kBlockSeparator(0x2029);
}

// ---------------------------------------------------------------- TextBox

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        cacheValid_ = false;
        emit Change();
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TextBox::syncFromWidget);
    connect(this, &QPlainTextEdit::selectionChanged, this, &TextBox::syncFromWidget);
}

QString TextBox::Text() const {
    if (!cacheValid_) {
        QString raw = document()->toRawText();
        raw.replace(kBlockSeparator, QStringLiteral("\r\n"));
        // A pasted line separator is a line break too.
        raw.replace(QChar(0x2028), QStringLiteral("\r\n"));
        cache_ = raw;
        cacheValid_ = true;
    }
    return cache_;
}

int TextBox::Length() const {
    // Every block separator stands for two characters, CR and LF.
    const QTextDocument* doc = document();
    return doc->characterCount() - 1 + (doc->blockCount() - 1);
}

void TextBox::SetText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    applying_ = true;
    setPlainText(plain);
    applying_ = false;
    cacheValid_ = false;
    selStart_ = 0;
    selLength_ = 0;
}

void TextBox::AppendText(const QString& text) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    applying_ = true;
    end.insertText(text);
    setTextCursor(end);
    applying_ = false;
    cacheValid_ = false;
    selStart_ = Length();
    selLength_ = 0;
}

int TextBox::SelStart() const { return selStart_; }
int TextBox::SelLength() const { return selLength_; }
QString TextBox::SelText() const { return Text().mid(selStart_, selLength_); }

void TextBox::SetSelStart(int start) {
    selStart_ = qBound(0, start, Length());
    selLength_ = 0;
    applyToWidget();
}

void TextBox::SetSelLength(int length) {
    selLength_ = qBound(0, length, Length() - selStart_);
    applyToWidget();
}

void TextBox::syncFromWidget() {
    if (applying_)
        return;
    const QTextCursor c = textCursor();
    selStart_ = fromDocPos(c.selectionStart());
    selLength_ = fromDocPos(c.selectionEnd()) - selStart_;
}

void TextBox::applyToWidget() {
    QTextCursor c(document());
    c.setPosition(toDocPos(selStart_));
    c.setPosition(toDocPos(selStart_ + selLength_), QTextCursor::KeepAnchor);
    applying_ = true;
    setTextCursor(c);
    applying_ = false;
}

int TextBox::fromDocPos(int docPos) const {
    // Each block before the position contributes one extra character (the LF).
    return docPos + document()->findBlock(docPos).blockNumber();
}

int TextBox::toDocPos(int pos) const {
    const QTextDocument* doc = document();
    // Largest block k whose first character, counted with CR LF, is <= pos.
    int lo = 0, hi = doc->blockCount() - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (doc->findBlockByNumber(mid).position() + mid <= pos)
            lo = mid;
        else
            hi = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(lo);
    const int offset = pos - (block.position() + lo);
    const int textLength = block.length() - 1;
    if (offset <= textLength)
        return block.position() + offset;
    // Between CR and LF: the widget can only show the break as a whole.
    return qMin(block.position() + textLength + 1, doc->characterCount() - 1);
}

// ---------------------------------------------------------------- LineBox

LineBox::LineBox(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, &LineBox::Change);
}

// ---------------------------------------------------------------- ComboBox

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // The lists are fixed: typing and Enter never add an entry.
    setInsertPolicy(QComboBox::NoInsert);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
    connect(this, &QComboBox::activated, this, [this] {
        typed_ = false;
        emit Click();
    });
}

int ComboBox::ListIndex() const { return typed_ ? -1 : currentIndex(); }

void ComboBox::SetListIndex(int index) {
    typed_ = false;
    setCurrentIndex(index);
}

void ComboBox::SetText(const QString& t) {
    setCurrentIndex(-1);
    setEditText(t);
    typed_ = false;
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
    connect(this, &QAbstractSlider::valueChanged, this, &HScrollBar::Change);
}

// ---------------------------------------------------------------- CommandButton

CommandButton::CommandButton(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    connect(this, &QAbstractButton::clicked, this, &CommandButton::Click);
}

void ShowModalMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("VXT4710"), text, QMessageBox::Ok, parent);
    box.exec();
}
