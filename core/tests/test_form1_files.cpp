// The context menus' actions on a fake dialog and a fake file service: what
// each dialog asks, what is read into the text, what is written and what
// the window says when it cannot; and which member each designed control is.
#include "core/control_table.h"
#include "core/form1_events.h"
#include "core/tests/fake_controls.h"
#include "core/tests/row_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

FileRead Found(std::string bytes) {
    FileRead r;
    r.outcome = FileRead::Outcome::Read;
    r.bytes = std::move(bytes);
    return r;
}
FileRead Failed(FileRead::Outcome outcome, std::string reason = {}) {
    FileRead r;
    r.outcome = outcome;
    r.reason = std::move(reason);
    return r;
}

constexpr const char* kOld = "old";

struct MenuCase {
    const char* name;
    void (Form1::*action)();
    const TextFileDialog* asked; // nullptr: no dialog
    FileChoice answer;
    FileRead read;           // what reading answer.path finds
    std::string saveFailure; // what the save says (empty: it succeeds)
    std::u16string text;     // Text3 before, the work log's for SaveLog
    std::u16string text3;    // Text3 afterwards
    std::string file;        // the chosen file afterwards (it held kOld)
    std::vector<std::u16string> said;
    int analysisShown = 0;
};

void PrintTo(const MenuCase& c, std::ostream* os) {
    *os << c.name;
}

class MenuActions : public testing::TestWithParam<MenuCase> {};

TEST_P(MenuActions, AskReadWriteAndSay) {
    const MenuCase& c = GetParam();
    FakeWindow w;
    std::vector<const TextFileDialog*> asked;
    std::map<std::string, std::string> disk{{"/d/a.txt", kOld}};
    std::vector<std::pair<std::string, FileReadMode>> reads;
    int shown = 0;
    w.moreServices = [&](Form1Services& s) {
        s.fileDialog = [&](const TextFileDialog& d) {
            asked.push_back(&d);
            return c.answer;
        };
        s.files.read = [&](const std::string& path, FileReadMode mode, int64_t limit) {
            reads.emplace_back(path, mode);
            EXPECT_EQ(limit, kOpenTextMaxBytes);
            return c.read;
        };
        s.files.save = [&](const std::string& path, std::string_view bytes) {
            if (c.saveFailure.empty())
                disk[path] = bytes;
            return c.saveFailure;
        };
        s.showAnalysis = [&] { ++shown; };
    };
    w.Load();
    // The log differs from the text, so that each save is seen to take its own.
    const bool log = c.action == &Form1::SaveLog;
    w.form->Text3->SetText(log ? u"文本" : c.text);
    w.form->Text4->SetText(log ? c.text : u"日志");
    w.messages.clear();

    (w.form.get()->*c.action)();

    EXPECT_EQ(asked, c.asked ? std::vector{c.asked} : std::vector<const TextFileDialog*>{});
    EXPECT_EQ(w.form->Text3->Text(), log ? u"文本" : c.text3);
    EXPECT_EQ(disk.at("/d/a.txt"), c.file);
    EXPECT_EQ(disk.size(), 1u) << "only the chosen file is written";
    EXPECT_EQ(w.messages, c.said);
    EXPECT_EQ(shown, c.analysisShown);
    const bool opened = c.action == &Form1::OpenTextFile && !c.answer.path.empty();
    EXPECT_EQ(reads.size(), opened ? 1u : 0u);
    if (!reads.empty()) {
        EXPECT_EQ(reads[0], std::make_pair(c.answer.path, FileReadMode::DiskFile));
    }
}

const FileChoice kChosen{"/d/a.txt", u"a.txt", 0};
const FileChoice kChosenSecond{"/d/a.txt", u"a.txt", 1};
const std::u16string kBefore = u"你好\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, MenuActions,
    testing::Values(
        MenuCase{"open_cancelled", &Form1::OpenTextFile, &OpenTextDialog(), {}, {}, {}, kBefore,
                 kBefore, kOld, {}},
        MenuCase{"open_gbk", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Found("\xC4\xE3\n\xBA\xC3"), {}, u"x", u"你\r\n好", kOld, {}},
        MenuCase{"open_utf8_with_mark", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Found("\xEF\xBB\xBF\xE4\xBD\xA0"), {}, u"x", u"你", kOld, {}},
        MenuCase{"open_bytes_that_are_no_text", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Found("\xC4\xE3\xFF"), {}, u"x", u"你\uFFFD", kOld,
                 {u"a.txt 按 GBK 读取，有 1 处字节不成文字（第一处在第 3 字节），已换成 �，"
                  u"发送时为 ?（文件未作任何改动）"}},
        MenuCase{"open_too_large", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Failed(FileRead::Outcome::TooLarge), {}, kBefore, kBefore, kOld,
                 {u"a.txt 超过1MB，未载入（文件未作任何改动）"}},
        MenuCase{"open_not_a_file", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Failed(FileRead::Outcome::NotAFile), {}, kBefore, kBefore, kOld,
                 {u"a.txt 不存在或不是文件，未载入"}},
        MenuCase{"open_missing", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Failed(FileRead::Outcome::Missing, "No such file"), {}, kBefore, kBefore, kOld,
                 {u"a.txt 不存在或不是文件，未载入"}},
        MenuCase{"open_unreadable", &Form1::OpenTextFile, &OpenTextDialog(), kChosen,
                 Failed(FileRead::Outcome::Unreadable, "Permission denied"), {}, kBefore, kBefore,
                 kOld, {u"a.txt 无法读取，未载入：Permission denied"}},
        MenuCase{"save_text_cancelled", &Form1::SaveTextAs, &SaveTextAsDialog(), {}, {}, {},
                 kBefore, kBefore, kOld, {}},
        MenuCase{"save_text_gbk", &Form1::SaveTextAs, &SaveTextAsDialog(), kChosen, {}, {}, kBefore,
                 kBefore, "\xC4\xE3\xBA\xC3\r\n", {}},
        MenuCase{"save_text_utf8", &Form1::SaveTextAs, &SaveTextAsDialog(), kChosenSecond, {}, {},
                 kBefore, kBefore, "\xE4\xBD\xA0\xE5\xA5\xBD\r\n", {}},
        MenuCase{"save_text_gbk_lacks", &Form1::SaveTextAs, &SaveTextAsDialog(), kChosen, {}, {},
                 u"한", u"한", kOld, {std::u16string(kUnencodableMessage)}},
        MenuCase{"save_text_fails", &Form1::SaveTextAs, &SaveTextAsDialog(), kChosen, {},
                 "No such file or directory", kBefore, kBefore, kOld,
                 {u"无法写入 a.txt：No such file or directory"}},
        MenuCase{"save_log_utf8", &Form1::SaveLog, &SaveLogDialog(), kChosen, {}, {}, kBefore,
                 kBefore, "\xE4\xBD\xA0\xE5\xA5\xBD\r\n", {}},
        MenuCase{"save_log_gbk", &Form1::SaveLog, &SaveLogDialog(), kChosenSecond, {}, {}, kBefore,
                 kBefore, "\xC4\xE3\xBA\xC3\r\n", {}},
        MenuCase{"save_log_fails", &Form1::SaveLog, &SaveLogDialog(), kChosen, {}, "Disk full",
                 kBefore, kBefore, kOld, {u"无法写入 a.txt：Disk full"}},
        MenuCase{"save_log_cancelled", &Form1::SaveLog, &SaveLogDialog(), {}, {}, {}, kBefore,
                 kBefore, kOld, {}},
        MenuCase{"analysis", &Form1::OpenAnalysis, nullptr, {}, {}, {}, kBefore, kBefore, kOld, {},
                 1}),
    vxt_test::RowName());
// clang-format on

// Without a dialog of the front end's every dialog counts as cancelled.
TEST(MenuActionsWithoutServices, DoNothing) {
    FakeWindow w;
    w.Load();
    w.form->Text3->SetText(u"x");
    w.messages.clear();
    for (void (Form1::*action)() :
         {&Form1::OpenTextFile, &Form1::SaveTextAs, &Form1::SaveLog, &Form1::OpenAnalysis})
        (w.form.get()->*action)();
    EXPECT_EQ(w.form->Text3->Text(), u"x");
    EXPECT_TRUE(w.messages.empty());
}

// A fake of each kind of control.
std::unique_ptr<ui::Control> FakeOf(ControlKind kind) {
    struct Plain : ui::Label {
        void SetFocus() override {}
    };
    struct Box : ui::Frame {
        void SetFocus() override {}
    };
    struct Button : ui::CommandButton {
        void SetFocus() override {}
    };
    switch (kind) {
    case ControlKind::Frame:
        return std::make_unique<Box>();
    case ControlKind::TextBox:
        return std::make_unique<FakeTextBox>();
    case ControlKind::LineBox:
        return std::make_unique<FakeLineBox>();
    case ControlKind::CommandButton:
        return std::make_unique<Button>();
    case ControlKind::CheckBox:
        return std::make_unique<FakeCheckBox>();
    case ControlKind::ComboBox:
        return std::make_unique<FakeComboBox>();
    case ControlKind::Label:
        return std::make_unique<Plain>();
    case ControlKind::HScrollBar:
        return std::make_unique<FakeScrollBar>(0, 1, 0);
    case ControlKind::OptionButton:
        return std::make_unique<FakeOptionButton>();
    }
    return nullptr;
}

// Every row of the table is a member of its kind, and no other kind fits it:
// a front end that made the wrong widget hears of it.
TEST(AttachControl, EveryRowToItsMemberOfItsKindOnly) {
    Form1 form{Form1Services{}};
    const ControlKind kinds[] = {
        ControlKind::Frame,         ControlKind::TextBox,    ControlKind::LineBox,
        ControlKind::CommandButton, ControlKind::CheckBox,   ControlKind::ComboBox,
        ControlKind::Label,         ControlKind::HScrollBar, ControlKind::OptionButton};
    std::vector<std::unique_ptr<ui::Control>> made;
    std::vector<std::string_view> names;
    for (const DesignedControl& row : ControlTable()) {
        SCOPED_TRACE(row.name);
        names.push_back(row.name);
        for (const ControlKind kind : kinds) {
            if (kind == row.kind)
                continue;
            const auto wrong = FakeOf(kind);
            EXPECT_FALSE(AttachControl(form, row.name, wrong.get())) << int(kind);
        }
        made.push_back(FakeOf(row.kind));
        EXPECT_TRUE(AttachControl(form, row.name, made.back().get()));
    }
    // Each member got its own control.
    const auto madeFor = [&](std::string_view name) {
        const auto at = std::find(names.begin(), names.end(), name);
        return made[size_t(at - names.begin())].get();
    };
    EXPECT_EQ(form.Text3, madeFor("Text3"));
    EXPECT_EQ(form.Text4, madeFor("Text4"));
    EXPECT_EQ(static_cast<ui::Control*>(form.Label7), madeFor("Label7"));
    EXPECT_EQ(form.HScroll2, madeFor("HScroll2"));
    EXPECT_FALSE(AttachControl(form, "Text9", madeFor("Text3")));
    EXPECT_FALSE(AttachControl(form, "MSComm1", madeFor("Text3")));
    std::vector<std::string_view> attachable = AttachableControls();
    std::sort(attachable.begin(), attachable.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(attachable, names);
}

} // namespace
