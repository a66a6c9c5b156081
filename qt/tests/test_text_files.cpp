// Saving the work log, and opening and saving texts of Text3 through their
// context menus: encodings, line breaks, and files the console refuses.
#include "core/text_files.h"
#include "testsupport/form_harness.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

namespace {

QByteArray Gbk(const QString& s) {
    QStringEncoder e("GBK");
    return e.encode(s);
}

QByteArray Utf16(const QString& s, QStringConverter::Encoding e, const char* bom) {
    QStringEncoder enc(e);
    return QByteArray(bom) + QByteArray(enc.encode(s));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(TextFiles, EveryEncodingOfOneTextGivesTheSameBox) {
    const QString lf = QStringLiteral("芯片介绍：中文语音合成\n第二行 ABC\n");
    const QString expected = QStringLiteral("芯片介绍：中文语音合成\r\n第二行 ABC\r\n");
    QString crlf = lf;
    crlf.replace("\n", "\r\n");
    QString cr = lf;
    cr.replace("\n", "\r");
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"UTF-8", lf.toUtf8()},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + crlf.toUtf8()},
        {"GBK", Gbk(crlf)},
        {"GBK, LF only", Gbk(lf)},
        {"GBK, lone CR", Gbk(cr)},
        {"UTF-16 LE", Utf16(crlf, QStringConverter::Utf16LE, "\xFF\xFE")},
        {"UTF-16 BE, LF only", Utf16(lf, QStringConverter::Utf16BE, "\xFE\xFF")},
    };
    FormHarness h;
    const QString path = h.workDir.filePath("in.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        h->Widget(&Form1::Text3)->SetText(QStringLiteral("old"));
        h->Widget(&Form1::Text3)->SetSelStart(1);
        h->Widget(&Form1::Text3)->SetSelLength(2);
        Write(path, c.bytes);
        h.dialogAnswer = {path, 0};
        h->OpenTextFile();
        EXPECT_EQ(h->Widget(&Form1::Text3)->Text().toStdString(), expected.toStdString());
        EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 0);
    }
    EXPECT_TRUE(h.messages.isEmpty());
    EXPECT_TRUE(h.fake->written.isEmpty()); // nothing sent
    EXPECT_EQ(h.log(), QString());          // nothing logged
    ASSERT_FALSE(h.dialogs.isEmpty());
    EXPECT_FALSE(h.dialogs[0].save);
}

TEST(TextFiles, RefusedFilesLeaveTheTextAndSayWhy) {
    FormHarness h;
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("keep"));
    const QString big = h.workDir.filePath("big.txt");
    Write(big, QByteArray(kOpenTextMaxBytes + 1, 'a'));
    const QString exact = h.workDir.filePath("exact.txt");
    Write(exact, QByteArray(kOpenTextMaxBytes, 'b'));

    h.dialogAnswer = {big, 0};
    h->OpenTextFile();
    h.dialogAnswer = {h.workDir.filePath("missing.txt"), 0};
    h->OpenTextFile();
    h.dialogAnswer = {h.workDir.path(), 0}; // a folder
    h->OpenTextFile();
    h.dialogAnswer = {}; // cancelled
    h->OpenTextFile();
    ASSERT_EQ(h.messages.size(), 3);
    EXPECT_EQ(h.messages[0].toStdString(), "big.txt 超过1MB，未载入（文件未作任何改动）");
    EXPECT_TRUE(h.messages[1].startsWith(QStringLiteral("missing.txt")));
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text().toStdString(), "keep");

    h.dialogAnswer = {exact, 0}; // exactly 1 MB is taken
    h->OpenTextFile();
    EXPECT_EQ(h->Widget(&Form1::Text3)->Length(), kOpenTextMaxBytes);
}

// What is no text becomes "\uFFFD" and the window says where; a GBK file
// whose bytes look like UTF-8 cut off at the end opens whole.
TEST(TextFiles, OpenedFilesFollowTheTextFileRule) {
    const QString r(QChar(0xFFFD));
    const auto notice = [](const char* encoding, int places, int first) {
        return QStringLiteral("in.txt 按 %1 读取，有 %2 处字节不成文字（第一处在第 %3 字节），"
                              "已换成 �，发送时为 ?（文件未作任何改动）")
            .arg(QLatin1String(encoding))
            .arg(places)
            .arg(first);
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        QString text;
        QString message; // empty: none
    };
    const Case cases[] = {
        {"UTF-8 cut off at the end",
         Gbk(QStringLiteral("浣犲ソ涓")),
         QStringLiteral("浣犲ソ涓"),
         {}},
        {"FF FE FD in GBK",
         QByteArray("\xC4\xE3\xFF\xFE\xFD"
                    "A"),
         QStringLiteral("你") + r + r + u'A', notice("GBK", 2, 3)},
        {"a GBK lead byte at the end", QByteArray("\xC4\xE3\xBA"), QStringLiteral("你") + r,
         notice("GBK", 1, 3)},
        {"odd-length UTF-16", QByteArray("\xFF\xFE`O}", 5), QStringLiteral("你") + r,
         notice("UTF-16", 1, 5)},
        {"a lone surrogate",
         QByteArray("\xFF\xFE\x3D\xD8"
                    "A\0",
                    6),
         r + u'A', notice("UTF-16", 1, 3)},
        {"NUL bytes", QByteArray("a\0b\0", 4), u'a' + r + u'b' + r, notice("UTF-8", 2, 2)},
    };
    FormHarness h;
    const QString path = h.workDir.filePath("in.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        h->Widget(&Form1::Text3)->SetText(QStringLiteral("old"));
        Write(path, c.bytes);
        h.dialogAnswer = {path, 0};
        h.messages.clear();
        h->OpenTextFile();
        EXPECT_EQ(h->Widget(&Form1::Text3)->Text().toStdU16String(), c.text.toStdU16String());
        EXPECT_EQ(h.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(ReadAll(path), c.bytes); // the file itself stays as it is
    }
    EXPECT_TRUE(h.fake->written.isEmpty());
}

TEST(TextFiles, SavedLogIsTheLogByteForByte) {
    FormHarness h;
    h->Command7_Click();
    h.fake->Receive(QByteArray("\x41\x4F", 2));
    h->Widget(&Form1::Text4)->AppendText(QStringLiteral("用户的笔记\r\n"));
    const QString log = h.log();
    ASSERT_TRUE(log.contains(QStringLiteral("\r\n")));
    const QString path = h.workDir.filePath("log.txt");

    h.dialogAnswer = {path, 0};
    h->SaveLog();
    ASSERT_EQ(h.dialogs.size(), 1);
    EXPECT_TRUE(h.dialogs[0].save);
    EXPECT_EQ(h.dialogs[0].filter, 0);
    EXPECT_TRUE(h.dialogs[0].filters.value(0).startsWith(QStringLiteral("UTF-8")));
    EXPECT_EQ(ReadAll(path), log.toUtf8());

    h.dialogAnswer = {path, 1}; // GBK
    h->SaveLog();
    EXPECT_EQ(ReadAll(path), Gbk(log));
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(TextFiles, SaveAsWritesGbkByDefaultAndRefusesWhatGbkCannotHold) {
    FormHarness h;
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("重庆市\r\n"));
    const QString path = h.workDir.filePath("text.txt");
    h.dialogAnswer = {path, 0};
    h->SaveTextAs();
    ASSERT_EQ(h.dialogs.size(), 1);
    EXPECT_TRUE(h.dialogs[0].filters.value(0).startsWith(QStringLiteral("GBK")));
    EXPECT_EQ(ReadAll(path), Gbk(QStringLiteral("重庆市\r\n")));
    h.dialogAnswer = {path, 1};
    h->SaveTextAs();
    EXPECT_EQ(ReadAll(path), QStringLiteral("重庆市\r\n").toUtf8());

    // A character GBK has no code for: the file stays as it was.
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("笑脸 😀"));
    h.dialogAnswer = {path, 0};
    h->SaveTextAs();
    ASSERT_EQ(h.messages.size(), 1);
    EXPECT_TRUE(h.messages[0].contains(QStringLiteral("GBK")));
    EXPECT_EQ(ReadAll(path), QStringLiteral("重庆市\r\n").toUtf8());

    // An unwritable place: a message, nothing else.
    h.dialogAnswer = {h.workDir.filePath("no/such/dir/t.txt"), 1};
    h->SaveTextAs();
    ASSERT_EQ(h.messages.size(), 2);
    EXPECT_TRUE(h.messages[1].startsWith(QStringLiteral("无法写入")));
}

} // namespace
