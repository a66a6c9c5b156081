// The multi-line text box: the CR LF model over Qt's paragraphs, and long
// paragraphs held in pieces.
#include "qt/toolkit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace {
constexpr QChar kBlockSeparator(0x2029);
// Marks the character format of a paragraph separator that is no line break
// of the text, only the seam between two pieces of one long line.
constexpr int kPieceSeam = QTextFormat::UserProperty + 0x4710;

bool SeamBefore(const QTextBlock& block) {
    return block.isValid() && block.position() > 0 && block.charFormat().boolProperty(kPieceSeam);
}

bool IsLineEnd(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// The core's rule for where a piece ends, on the QString's UTF-16 units.
qsizetype PieceEnd(const QString& text, qsizetype from, qsizetype lineEnd) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()),
                                    size_t(text.size()));
    return qsizetype(::PieceEnd(units, size_t(from), size_t(lineEnd)));
}
} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        cacheValid_ = false;
        startsValid_ = false;
        programSel_.reset();
        if (!quiet_)
            emit Change();
    });
}

QString TextBox::Text() const {
    if (!cacheValid_) {
        if (pieced_) {
            cache_.clear();
            for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
                if (b.position() > 0 && !SeamBefore(b))
                    cache_ += QStringLiteral("\r\n");
                cache_ += b.text();
            }
        } else {
            cache_ = document()->toRawText();
            cache_.replace(kBlockSeparator, QStringLiteral("\r\n"));
        }
        cacheValid_ = true;
    }
    return cache_;
}

int TextBox::Length() const {
    const QTextDocument* doc = document();
    if (pieced_)
        return BlockStarts().back() + doc->lastBlock().length() - 1;
    // Every block separator stands for two characters, CR and LF.
    return doc->characterCount() - 1 + (doc->blockCount() - 1);
}

int TextBox::PieceCount() const {
    int pieces = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        pieces += SeamBefore(b) ? 1 : 0;
    return pieces;
}

void TextBox::SetText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Qt lays out a paragraph as a whole, and wrapping a line with no break
    // in it costs time that grows with the square of its length (a 1 MB
    // line: minutes). So no paragraph of the widget is longer than
    // kPieceLength: a longer line is held as pieces joined by seams.
    qsizetype longest = 0, lineStart = 0;
    for (qsizetype i = 0; i <= plain.size(); ++i) {
        if (i == plain.size() || IsLineEnd(plain.at(i))) {
            longest = std::max(longest, i - lineStart);
            lineStart = i + 1;
        }
    }
    pieced_ = longest > kPieceLength;
    if (!pieced_) {
        setPlainText(plain);
        return;
    }
    // Resets caret, scrolling and undo as any new text does; Change comes
    // once, with the new text.
    quiet_ = true;
    setPlainText(QString());
    quiet_ = false;
    QTextDocument* doc = document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor c(doc);
    const QTextCharFormat format = c.charFormat();
    QTextCharFormat seam = format;
    seam.setProperty(kPieceSeam, true);
    c.beginEditBlock();
    qsizetype from = 0;
    while (from <= plain.size()) {
        qsizetype lineEnd = from;
        while (lineEnd < plain.size() && !IsLineEnd(plain.at(lineEnd)))
            ++lineEnd;
        if (from > 0)
            c.insertBlock(c.blockFormat(), format);
        for (qsizetype at = from; at < lineEnd || at == from;) {
            const qsizetype end = PieceEnd(plain, at, lineEnd);
            if (at > from)
                c.insertBlock(c.blockFormat(), seam);
            c.insertText(plain.mid(at, end - at), format);
            if (end == at)
                break;
            at = end;
        }
        from = lineEnd + 1;
    }
    c.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    setTextCursor(QTextCursor(doc));
    verticalScrollBar()->setValue(0);
}

void TextBox::AppendText(const QString& text) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    setTextCursor(end);
}

int TextBox::SelStart() const {
    const QTextCursor c = textCursor();
    if (programSel_ && c.anchor() == programSel_->anchor && c.position() == programSel_->position)
        return programSel_->start;
    return fromDocPos(c.selectionStart());
}

int TextBox::SelLength() const {
    const QTextCursor c = textCursor();
    if (programSel_ && c.anchor() == programSel_->anchor && c.position() == programSel_->position)
        return programSel_->length;
    return fromDocPos(c.selectionEnd()) - fromDocPos(c.selectionStart());
}

QString TextBox::SelText() const {
    return Text().mid(SelStart(), SelLength());
}

void TextBox::SetSelStart(int start) {
    select(qBound(0, start, Length()), 0);
}

void TextBox::SetSelLength(int length) {
    const int start = SelStart();
    select(start, qBound(0, length, Length() - start));
}

void TextBox::select(int start, int length) {
    QTextCursor c(document());
    c.setPosition(toDocPos(start));
    c.setPosition(toDocPos(start + length), QTextCursor::KeepAnchor);
    setTextCursor(c);
    const QTextCursor shown = textCursor();
    programSel_ = ProgramSelection{start, length, shown.anchor(), shown.position()};
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        QKeyEvent enter(event->type(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
        return;
    }
    if (pieced_ && !textCursor().hasSelection()) {
        // A seam is no character: Backspace and Delete next to one take the
        // character beyond it, as they would without the seam.
        QTextCursor c = textCursor();
        const bool backspace =
            event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier);
        if (backspace && c.atBlockStart() && SeamBefore(c.block())) {
            c.movePosition(QTextCursor::PreviousCharacter);
            setTextCursor(c);
        } else if (event->matches(QKeySequence::Delete) && c.atBlockEnd() &&
                   SeamBefore(c.block().next())) {
            c.movePosition(QTextCursor::NextCharacter);
            setTextCursor(c);
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

QMimeData* TextBox::createMimeDataFromSelection() const {
    if (!pieced_)
        return QPlainTextEdit::createMimeDataFromSelection();
    // Seams are left out of what is copied or dragged.
    const QTextCursor c = textCursor();
    const int from = fromDocPos(c.selectionStart());
    QString text = Text().mid(from, fromDocPos(c.selectionEnd()) - from);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    if (source && source->hasText() && source->text().contains(QChar::LineSeparator)) {
        QMimeData plain;
        plain.setText(source->text().replace(QChar::LineSeparator, QLatin1Char('\n')));
        QPlainTextEdit::insertFromMimeData(&plain);
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

const std::vector<int>& TextBox::BlockStarts() const {
    if (!startsValid_) {
        starts_.clear();
        int at = 0, previousLength = 0;
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
            if (b.position() > 0)
                at += previousLength + (SeamBefore(b) ? 0 : 2);
            starts_.push_back(at);
            previousLength = b.length() - 1;
        }
        startsValid_ = true;
    }
    return starts_;
}

int TextBox::fromDocPos(int docPos) const {
    const QTextBlock block = document()->findBlock(docPos);
    if (pieced_)
        return BlockStarts()[size_t(block.blockNumber())] + docPos - block.position();
    // Each block before the position contributes one extra character (the LF).
    return docPos + block.blockNumber();
}

int TextBox::toDocPos(int pos) const {
    const QTextDocument* doc = document();
    int k = 0;
    if (pieced_) {
        const std::vector<int>& starts = BlockStarts();
        k = int(std::upper_bound(starts.begin(), starts.end(), pos) - starts.begin()) - 1;
        k = std::max(k, 0);
    } else {
        // Largest block k whose first character, counted with CR LF, is <= pos.
        int lo = 0, hi = doc->blockCount() - 1;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (doc->findBlockByNumber(mid).position() + mid <= pos)
                lo = mid;
            else
                hi = mid - 1;
        }
        k = lo;
    }
    const QTextBlock block = doc->findBlockByNumber(k);
    const int offset = pos - (pieced_ ? BlockStarts()[size_t(k)] : block.position() + k);
    const int textLength = block.length() - 1;
    if (offset <= textLength)
        return block.position() + offset;
    // Between CR and LF: the widget can only show the break as a whole.
    return qMin(block.position() + textLength + 1, doc->characterCount() - 1);
}
