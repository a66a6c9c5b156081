// The text box with lines longer than it lays out at once: what the user and
// the handlers see stays one line; the widget holds it in bounded pieces.
#include "qt/toolkit.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace {

constexpr int kPiece = TextBox::kPieceLength;

QString Repeat(const QString& unit, int count) {
    QString s;
    s.reserve(unit.size() * count);
    for (int i = 0; i < count; ++i)
        s += unit;
    return s;
}

// The longest paragraph the widget holds.
int LongestParagraph(const TextBox& box) {
    int longest = 0;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
        longest = std::max(longest, b.length() - 1);
    return longest;
}

// Text position of the n-th seam: the first character of the n-th piece
// after the first (only for texts of one long line).
int SeamAt(const TextBox& box, int n) {
    int at = 0;
    QTextBlock b = box.document()->begin();
    for (int i = 0; i < n; ++i, b = b.next())
        at += b.length() - 1;
    return at;
}

void Press(TextBox& box, Qt::Key key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&box, &press);
}

TEST(TextBoxPieces, LongLinesReadBackWholeFromBoundedPieces) {
    const QString words = Repeat(QStringLiteral("speak "), 3000);
    const struct {
        const char* name;
        QString text;
        bool pieced;
    } cases[] = {
        {"a line of exactly the piece length", Repeat(QStringLiteral("a"), kPiece), false},
        {"one character more", Repeat(QStringLiteral("a"), kPiece + 1), true},
        {"no break anywhere", Repeat(QStringLiteral("a"), 5 * kPiece + 17), true},
        {"words", words, true},
        {"Chinese", Repeat(QStringLiteral("中文语音合成"), 2000), true},
        {"pairs outside the basic plane", Repeat(QStringLiteral("\U00020000"), 3 * kPiece), true},
        {"short lines around a long one, a break at the end",
         QStringLiteral("ab\r\n\r\n") + words + QStringLiteral("\r\ncd\r\n"), true},
        {"a long last line after a lone CR and LF",
         QStringLiteral("x\ry\n") + Repeat(QStringLiteral("好a"), kPiece), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextBox box;
        box.SetText(c.text);
        QString expected = c.text;
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
            .replace(QLatin1Char('\r'), QLatin1Char('\n'))
            .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        EXPECT_EQ(box.Text(), expected);
        EXPECT_EQ(box.Length(), expected.size());
        EXPECT_LE(LongestParagraph(box), kPiece);
        EXPECT_EQ(box.PieceCount() > 0, c.pieced);
        // No piece ends inside a pair of surrogates.
        for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
            EXPECT_FALSE(!b.text().isEmpty() && b.text().back().isHighSurrogate());
    }
}

TEST(TextBoxPieces, FirstPaintLaysOutOnlyWhatIsShown) {
    // 300,000 characters on one line: the box lays out the part it shows,
    // not the whole line (which cost minutes for a 1 MB line without breaks).
    TextBox box;
    box.resize(513, 248);
    box.SetText(Repeat(QStringLiteral("speak "), 50000));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QApplication::processEvents();
    int laidOut = 0;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
        if (b.layout() && b.layout()->lineCount() > 0)
            laidOut += b.length() - 1;
    EXPECT_GT(laidOut, 0);
    EXPECT_LE(laidOut, 3 * kPiece);
}

TEST(TextBoxPieces, SelectionsAcrossSeamsCountNoSeam) {
    TextBox box;
    const QString text = QStringLiteral("你好\r\n") +
                         Repeat(QStringLiteral("abc好"), 3 * kPiece / 4) +
                         QStringLiteral("\r\nend");
    box.SetText(text);
    ASSERT_GE(box.PieceCount(), 2);
    const int seam = SeamAt(box, 2) + 2; // the break before the long line counts 2
    ASSERT_EQ(box.Text(), text);
    // Program selections: starts and ends on, before and after seams, breaks
    // and the ends of the text, as continuous playback makes them.
    const int n = int(text.size());
    const int starts[] = {0, 2, 3, 4, seam - 1, seam, seam + 1, n - 4, n};
    for (const int start : starts) {
        for (const int length : {0, 1, 2, 200, kPiece + 3}) {
            SCOPED_TRACE(QStringLiteral("%1+%2").arg(start).arg(length).toStdString());
            box.SetSelStart(start);
            box.SetSelLength(length);
            const int expectedLength = std::min(length, int(text.size()) - start);
            EXPECT_EQ(box.SelStart(), start);
            EXPECT_EQ(box.SelLength(), expectedLength);
            EXPECT_EQ(box.SelText(), text.mid(start, expectedLength));
        }
    }
    // A selection the user made in the widget across a seam.
    QTextCursor c(box.document());
    c.setPosition(box.document()->findBlockByNumber(2).position() - 3);
    c.setPosition(box.document()->findBlockByNumber(2).position() + 3, QTextCursor::KeepAnchor);
    box.setTextCursor(c);
    EXPECT_EQ(box.SelStart(), seam - 2);
    EXPECT_EQ(box.SelLength(), 5); // the seam is no character
    EXPECT_EQ(box.SelText(), text.mid(seam - 2, 5));
}

TEST(TextBoxPieces, EditingAtASeamActsOnTheText) {
    const QString line = Repeat(QStringLiteral("0123456789"), kPiece / 5);
    const struct {
        const char* name;
        int caretFromSeam; // caret relative to the seam, in the widget
        std::function<void(TextBox&)> edit;
        std::function<QString(int)> expected; // from the seam's text position
    } cases[] = {
        {"Backspace at a piece's start takes the character before", 0,
         [](TextBox& b) { Press(b, Qt::Key_Backspace); },
         [&line](int s) { return QString(line).remove(s - 1, 1); }},
        {"Delete at a piece's end takes the character after", -1,
         [](TextBox& b) { Press(b, Qt::Key_Delete); },
         [&line](int s) { return QString(line).remove(s, 1); }},
        {"Enter at a piece's start breaks the line", 0,
         [](TextBox& b) { Press(b, Qt::Key_Return, QStringLiteral("\r")); },
         [&line](int s) { return QString(line).insert(s, QStringLiteral("\r\n")); }},
        {"typing at a piece's start", 0,
         [](TextBox& b) { Press(b, Qt::Key_X, QStringLiteral("x")); },
         [&line](int s) { return QString(line).insert(s, QLatin1Char('x')); }},
        {"pasting a break at a piece's start", 0,
         [](TextBox& b) {
             QApplication::clipboard()->setText(QStringLiteral("p\nq"));
             b.paste();
         },
         [&line](int s) { return QString(line).insert(s, QStringLiteral("p\r\nq")); }},
        {"deleting across a seam, then undo", 0,
         [](TextBox& b) {
             QTextCursor c = b.textCursor();
             c.setPosition(c.position() - 5);
             c.setPosition(c.position() + 10, QTextCursor::KeepAnchor);
             b.setTextCursor(c);
             Press(b, Qt::Key_Delete);
             b.undo();
         },
         [&line](int) { return line; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextBox box;
        box.SetText(line);
        ASSERT_EQ(box.PieceCount(), 1);
        const int seam = SeamAt(box, 1);
        QTextCursor caret(box.document());
        // In the widget the seam is one position: the piece's end is before it.
        caret.setPosition(seam + 1 + c.caretFromSeam);
        box.setTextCursor(caret);
        c.edit(box);
        EXPECT_EQ(box.Text(), c.expected(seam));
        EXPECT_EQ(box.Length(), box.Text().size());
    }
}

TEST(TextBoxPieces, CopyingAcrossASeamCopiesTheText) {
    TextBox box;
    const QString line = Repeat(QStringLiteral("ab"), kPiece);
    box.SetText(line + QStringLiteral("\r\nz"));
    ASSERT_EQ(box.PieceCount(), 1);
    const int seam = SeamAt(box, 1);
    box.SetSelStart(seam - 2);
    box.SetSelLength(4);
    box.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), line.mid(seam - 2, 4));
    box.selectAll();
    box.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), line + QStringLiteral("\nz"));
}

} // namespace
