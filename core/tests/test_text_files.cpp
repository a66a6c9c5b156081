// Opening and saving text files from the context menus: what each save
// writes, and what a file that cannot be taken says.
#include "core/initial_text.h"
#include "core/text_files.h"
#include "core/text_util.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(EncodeText, WritesTheChosenEncodingOrNothing) {
    const struct {
        std::u16string text;
        TextEncoding encoding;
        std::optional<std::string> bytes;
    } cases[] = {
        {u"你好a\r\n", TextEncoding::Gbk,
         std::string("\xC4\xE3\xBA\xC3"
                     "a\r\n")},
        {u"你好", TextEncoding::Utf8, std::string("\xE4\xBD\xA0\xE5\xA5\xBD")},
        {u"你a", TextEncoding::Utf16, std::string("\x60\x4F\x61\x00", 4)},
        {u"?", TextEncoding::Gbk, std::string("?")},
        // GBK has no code for these: nothing is written rather than "?".
        {u"好한", TextEncoding::Gbk, std::nullopt},
        {u"\uFFFD", TextEncoding::Gbk, std::nullopt},
        {u"a\U0001F600", TextEncoding::Gbk, std::nullopt},
        {u"a\U0001F600", TextEncoding::Utf8, std::string("a\xF0\x9F\x98\x80")},
        {u"", TextEncoding::Gbk, std::string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
        EXPECT_EQ(EncodeText(c.text, c.encoding), c.bytes);
    }
}

TEST(OpenedText, DecodesOrSaysWhyNot) {
    using O = FileRead::Outcome;
    const std::string limit(size_t(kOpenTextMaxBytes), 'b');
    const struct {
        FileRead read;
        std::u16string text, error;
    } cases[] = {
        {{O::Read, "\xC4\xE3\xBA\xC3", {}}, u"你好", {}},
        {{O::Read, "\xEF\xBB\xBFhi", {}}, u"hi", {}},
        {{O::Read, limit, {}}, std::u16string(limit.begin(), limit.end()), {}},
        {{O::Read, limit + "c", {}}, {}, u"a.txt 超过1MB，未载入（文件未作任何改动）"},
        {{O::TooLarge, {}, {}}, {}, u"a.txt 超过1MB，未载入（文件未作任何改动）"},
        {{O::Missing, {}, "No such file or directory"}, {}, u"a.txt 不存在或不是文件，未载入"},
        {{O::NotAFile, {}, {}}, {}, u"a.txt 不存在或不是文件，未载入"},
        {{O::Unreadable, {}, "拒绝访问"}, {}, u"a.txt 无法读取，未载入：拒绝访问"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
        std::u16string error;
        const std::optional<DecodedText> text = OpenedText(u"a.txt", c.read, &error);
        EXPECT_EQ(text.has_value(), c.error.empty());
        if (text) {
            EXPECT_EQ(text->text, c.text);
        }
        EXPECT_EQ(error, c.error);
    }
}

TEST(TextFileDialogs, EachSaveOffersItsEncodingsFirstItsDefault) {
    const struct {
        const TextFileDialog& dialog;
        int filter;
        TextEncoding encoding;
    } cases[] = {
        {SaveTextAsDialog(), 0, TextEncoding::Gbk}, {SaveTextAsDialog(), 1, TextEncoding::Utf8},
        {SaveLogDialog(), 0, TextEncoding::Utf8},   {SaveLogDialog(), 1, TextEncoding::Gbk},
        {SaveLogDialog(), 7, TextEncoding::Utf8},   {SaveTextAsDialog(), -1, TextEncoding::Gbk},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodingOfFilter(c.dialog, c.filter), c.encoding) << c.filter;
    EXPECT_EQ(UnwritableFileMessage(u"b.txt", u"磁盘已满"), u"无法写入 b.txt：磁盘已满");
}

TEST(TextFileDialogs, ANameTypedWithoutExtensionGetsTheChosenFilters) {
    const auto dialog = [](std::u16string_view pattern, int filter = 0) {
        return TextFileDialog{
            true,
            u"",
            {{u"", u"*.txt", TextEncoding::Utf8}, {u"", pattern, TextEncoding::Gbk}},
            filter,
            u""};
    };
    const struct {
        TextFileDialog dialog;
        std::u16string extension;
    } cases[] = {
        {dialog(u"*.csv", 1), u"csv"}, {dialog(u"*.csv", 0), u"txt"},
        {dialog(u"*.csv", 9), u"txt"}, {dialog(u"*.log;*.txt", 1), u"log"},
        {dialog(u"*.*", 1), u""},      {dialog(u"*", 1), u""},
        {dialog(u"data.csv", 1), u""}, {dialog(u"*.", 1), u""},
        {TextFileDialog{}, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultExtension(c.dialog), c.extension) << Utf8FromUtf16(c.extension);
}

} // namespace

namespace {

// The reader behind the window's two files: each asks for its file as it
// wants it read, and the initial file takes what the reader found.
TEST(TextSources, TheWindowsFilesAskTheReaderAndTakeItsAnswer) {
    using O = FileRead::Outcome;
    using I = InitialFile::Outcome;
    const struct {
        FileRead found;
        I initial;
        bool opened;
    } cases[] = {
        {{O::Read, "\xC4\xE3", {}}, I::Read, true},
        {{O::TooLarge, {}, {}}, I::TooLarge, false},
        {{O::Missing, {}, "gone"}, I::Unavailable, false},
        {{O::NotAFile, {}, {}}, I::Unavailable, false},
        {{O::Unreadable, {}, "denied"}, I::Unavailable, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
        std::vector<std::tuple<std::string, FileReadMode, int64_t>> asked;
        const FileReader read = [&](const std::string& path, FileReadMode mode, int64_t limit) {
            asked.emplace_back(path, mode, limit);
            return c.found;
        };
        const InitialFile initial = LoadInitialFile(read);
        EXPECT_EQ(initial.outcome, c.initial);
        EXPECT_EQ(initial.bytes, c.initial == I::Read ? c.found.bytes : "");
        std::u16string error;
        EXPECT_EQ(OpenTextFile(read, "/x/a.txt", u"a.txt", &error).has_value(), c.opened);
        EXPECT_EQ(error.empty(), c.opened);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[0], std::make_tuple(std::string("初始默认文本.txt"),
                                            FileReadMode::CreateIfAbsent, kInitialTextMaxBytes));
        EXPECT_EQ(asked[1], std::make_tuple(std::string("/x/a.txt"), FileReadMode::DiskFile,
                                            kOpenTextMaxBytes));
    }
}

} // namespace
