// The toolkit layer's promises, through the real widgets.
#include "shell/toolkit.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(TextBox, LineBreaksAreTwoCharacters) {
    TextBox box;
    box.SetText(QStringLiteral("ab\r\ncd\r\n你好"));
    EXPECT_EQ(box.Text(), QStringLiteral("ab\r\ncd\r\n你好"));
    EXPECT_EQ(box.Length(), 10);
    box.SetSelStart(2);
    box.SetSelLength(4); // CR LF c d
    EXPECT_EQ(box.SelText(), QStringLiteral("\r\ncd"));
    // The widget itself shows the same selection (its break counts once).
    EXPECT_EQ(box.textCursor().selectionStart(), 2);
    EXPECT_EQ(box.textCursor().selectionEnd(), 5);
}
