// The three demonstration texts and their load buttons.
#include "core/demo_texts.h"
#include "testsupport/form_harness.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <gtest/gtest.h>

namespace {

QStringList QLines(const std::vector<std::u16string>& lines) {
    QStringList q;
    for (const auto& l : lines)
        q << ToQString(l);
    return q;
}

struct ExpectedLine {
    int number;
    const char* text; // UTF-8; nullptr: a line given only by its shape
};

// clang-format off
const ExpectedLine kShowcaseExpected[] = {
    {1, ""},
    {2, "--------  多音字识别  ------------"},
    {3, ""},
    {4, "    着： 他好像不着急，一边看着电视，一边打着电话：“高，这一着真高，我们马上就着手准备。”"},
    {5, "    重： 当前工作的重中之重是要在重重困难中保证重庆市的重点工程的顺利进行，坚决拒绝重复建设。"},
    {6, "    折： 本店清仓折本出售，优惠多多。双休日穿着类商品5-8折，会员可再享受95折优惠。"},
    {7, ""},
    {8, ""},
    {9, "--------  变音识别  ---------------"},
    {10, ""},
    {11, "    三声： 请你给我打桶洗脚水"},
    {12, "    轻声： 我们家奶奶和哥哥的耳朵最灵了"},
    {13, ""},
    {14, ""},
    {15, "--------  姓氏多音字识别  ---------"},
    {16, ""},
    {17, nullptr}, // written within its shape, checked below
    {18, "    他是一位姓[r]朴的朴素的韩国艺人。"},
    {19, ""},
    {20, ""},
    {21, "--------  数字智能识别  ---------"},
    {22, nullptr}, // written within its shape, checked below
    {23, "    拨打13800200138资费标准：在本地拨打13800200138，神州行客户在0点到11点收费0.29元/分钟，其余时段0.49元/分钟；"},
    {24, "    合肥市运管处发布最新规定，新规定生效时间：2009-11-11，23:01:09；"},
    {25, "    在2009年最后两天，北京市二手网签数还高达1675套。"},
    {26, "    今天的最低气温为：-12℃，这座大桥长1.5km，发射频率为400Hz，托运货物每件不能超过50kg。"},
    {27, nullptr}, // written within its shape, checked below
};
const ExpectedLine kChipIntroExpected[] = {
    {1, "VXT4710中文语音合成芯片的功能特点如下："},
    {2, ""},
    {3, "⑴ 支持GB2312、GBK、BIG5和UNICODE内码格式的文本；"},
    {4, "⑵ 清晰、自然、准确的中文语音合成效果；可合成任意的中文文本，支持英文字母的合成；"},
    {5, "⑶ 具有智能的文本分析处理算法，可正确识别数值、号码、时间日期及常用的度量衡符号；"},
    {6, "⑷ 具备很强的多音字处理和中文姓氏处理能力；；"},
    {7, "⑸ 支持多种文本控制标记，提升文本处理的正确率；"},
    {8, "⑹ 每次合成的文本量最多可达 200 字节；"},
    {9, "⑺ 支持多种控制命令，包括：合成、停止、暂停合成、继续合成、改变波特率等；"},
    {10, "⑻ 支持休眠功能，在休眠状态下可降低功耗；支持多种方式查询芯片工作状态；"},
    {11, "⑼ 支持串行数据通讯接口，支持三种通讯波特率：9600bps，19200bps、38400bps；"},
    {12, "⑽ 支持 16 级音量调整；播放文本的前景音量和播放背景音乐的背景音量可分开控制；"},
    {13, "⑾ 可通过发送控制标记调节词语语速，支持 6 级词语语速调整；"},
    {14, "⑿ 芯片内固化有多首和弦音乐、提示音效和针对某些行业领域的常见语音提示音；"},
    {15, "⒀ 内部集成19首声音提示音，23首和弦提示音，15首背景音乐；"},
    {16, "⒁ 最终产品提供SSOP贴片封装形式；体积业内最小；"},
    {17, "⒂ 芯片各项指标均满足室外严酷环境下的应用；"},
};
const ExpectedLine kPromptToneExpected[] = {
    {1, "sounda    soundb    soundc    soundd    sounde"},
    {2, "soundf    soundg    soundh    soundi    soundj"},
    {3, "soundk    soundl    soundm    soundn    soundo"},
    {4, "soundp    soundq    soundr    sounds    soundt"},
    {5, "soundu    soundv    soundw    soundx    soundy"},
    {6, ""},
    {7, "msga      msgb      msgc      msgd      msge"},
    {8, "msgf      msgg      msgh"},
    {9, ""},
    {10, "ringa     ringb     ringc     ringd     ringe"},
    {11, "ringf     ringg     ringh     ringi     ringj"},
    {12, "ringk     ringl     ringm     ringn     ringo"},
};
// clang-format on

template <size_t N> void ExpectLines(const QStringList& actual, const ExpectedLine (&expected)[N]) {
    ASSERT_EQ(actual.size(), qsizetype(N));
    for (const ExpectedLine& e : expected) {
        SCOPED_TRACE(testing::Message() << "line " << e.number);
        ASSERT_EQ(e.number, (&e - expected) + 1);
        if (e.text) {
            EXPECT_EQ(actual[e.number - 1].toStdString(), std::string(e.text));
        }
    }
}

qsizetype GbkBytes(const QString& text) {
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(text);
    EXPECT_FALSE(gbk.hasError());
    return bytes.size();
}

} // namespace

TEST(DemoTexts, EveryTableLineIsExact) {
    ExpectLines(QLines(ShowcaseLines()), kShowcaseExpected);
    ExpectLines(QLines(ChipIntroLines()), kChipIntroExpected);
    ExpectLines(QLines(PromptToneLines()), kPromptToneExpected);
}

TEST(DemoTexts, JoinedByCrLfWithNothingAfterTheLastLine) {
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {{ToQString(ShowcaseText()), QLines(ShowcaseLines())},
                 {ToQString(ChipIntroText()), QLines(ChipIntroLines())},
                 {ToQString(PromptToneText()), QLines(PromptToneLines())}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, c.lines.join(QStringLiteral("\r\n")));
        EXPECT_FALSE(c.text.endsWith(QLatin1Char('\n')));
        // No bare CR or LF anywhere: every break is a CR LF pair.
        EXPECT_EQ(c.text.count(QLatin1Char('\r')), c.lines.size() - 1);
        EXPECT_EQ(c.text.count(QLatin1Char('\n')), c.lines.size() - 1);
    }
}

TEST(DemoTexts, SizesInCharactersAndGbkBytes) {
    EXPECT_EQ(ToQString(ChipIntroText()).size(), 552);
    EXPECT_EQ(GbkBytes(ToQString(ChipIntroText())), 985);

    const QString tones = ToQString(PromptToneText());
    EXPECT_EQ(tones.size(), 455);
    EXPECT_EQ(GbkBytes(tones), 455);

    const QString showcase = ToQString(ShowcaseText());
    EXPECT_TRUE(showcase.startsWith(QStringLiteral("\r\n")));
    EXPECT_EQ(showcase.split(QStringLiteral("\r\n")).size(), 27);
    // Every character has a GBK code (GbkBytes checks), so the chip gets it all.
    EXPECT_GT(GbkBytes(showcase), showcase.size());
}

TEST(DemoTexts, PromptTagsStandFiveToALineInColumnsOfTen) {
    // Built independently of the table: the three groups, five tags a line.
    QStringList expected;
    const auto group = [&](const QString& prefix, char first, char last) {
        QStringList tags;
        for (char c = first; c <= last; ++c)
            tags << prefix + QLatin1Char(c);
        for (qsizetype i = 0; i < tags.size(); i += 5) {
            QString line;
            const QStringList row = tags.mid(i, 5);
            for (qsizetype j = 0; j < row.size(); ++j)
                line += j + 1 < row.size() ? row[j].leftJustified(10) : row[j];
            expected << line;
        }
    };
    group(QStringLiteral("sound"), 'a', 'y');
    expected << QString();
    group(QStringLiteral("msg"), 'a', 'h');
    expected << QString();
    group(QStringLiteral("ring"), 'a', 'o');
    EXPECT_EQ(QLines(PromptToneLines()), expected);
}

TEST(DemoTexts, ShowcaseLinesWrittenWithinTheirShape) {
    const QStringList lines = QLines(ShowcaseLines());
    const struct {
        int number;
        const char* pattern;
    } shapes[] = {
        // Two colleagues, each surname marked for surname reading, both born
        // after the liberation; one sentence.
        {17,
         R"(^    [^ \s][^。！？]*\[r\]单\p{Han}{2}[^。！？]*\[r\]解\p{Han}{2}[^。！？]*解放后[^。！？]*[。！]$)"},
        // Prompt tone, full-width comma, the call, an 11-digit mobile number.
        {22, R"(^    msgd，[^0-9]*来电[^0-9]*1[3-9][0-9]{9}$)"},
        // Two web addresses and one e-mail address, separated by runs of spaces.
        {27, R"(^    (\S+) {2,}(\S+) {2,}(\S+)$)"},
    };
    for (const auto& s : shapes) {
        SCOPED_TRACE(testing::Message() << "line " << s.number);
        const QRegularExpression re(QString::fromUtf8(s.pattern));
        ASSERT_TRUE(re.isValid()) << re.errorString().toStdString();
        EXPECT_TRUE(re.match(lines[s.number - 1]).hasMatch()) << lines[s.number - 1].toStdString();
    }
    const auto address =
        QRegularExpression(QStringLiteral(R"(^    (\S+) {2,}(\S+) {2,}(\S+)$)")).match(lines[26]);
    int web = 0, mail = 0;
    for (int i = 1; i <= 3; ++i) {
        const QString a = address.captured(i);
        if (QRegularExpression(QStringLiteral(R"(^[\w.+-]+@[\w-]+(\.[\w-]+)+$)"))
                .match(a)
                .hasMatch())
            ++mail;
        else if (QRegularExpression(
                     QStringLiteral(R"(^(https?://)?(www\.)?[\w-]+(\.[\w-]+)+(/\S*)?$)"))
                     .match(a)
                     .hasMatch())
            ++web;
        // Invented addresses only.
        EXPECT_TRUE(a.contains(QStringLiteral("example"))) << a.toStdString();
    }
    EXPECT_EQ(web, 2);
    EXPECT_EQ(mail, 1);
}

TEST(DemoTexts, LoadingReplacesTheTextSelectsNothingSendsNothing) {
    FormHarness h;
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("old text"));
    using Handler = void (Form1::*)();
    const struct {
        Handler load;
        QString text;
    } buttons[] = {{&Form1::Command1_Click, ToQString(ShowcaseText())},
                   {&Form1::Command31_Click, ToQString(ChipIntroText())},
                   {&Form1::Command32_Click, ToQString(PromptToneText())}};
    h->AppendLog(QStringLiteral("earlier entry"));
    const QString log = h.log();
    const auto writtenBefore = h.fake->written.size();
    for (const auto& b : buttons) {
        for (int16_t playAll : {int16_t(-1), int16_t(0)}) {
            h->Widget(&Form1::Text3)->SetSelStart(3);
            h->Widget(&Form1::Text3)->SetSelLength(4);
            h->PlayAllActive = playAll;
            // Twice: the second load must not add a second copy.
            (h.form.get()->*b.load)();
            (h.form.get()->*b.load)();
            EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), b.text);
            EXPECT_EQ(h->Widget(&Form1::Text3)->SelStart(), 0);
            EXPECT_EQ(h->Widget(&Form1::Text3)->SelLength(), 0);
            EXPECT_EQ(h->PlayAllActive, playAll);
        }
    }
    EXPECT_EQ(h.fake->written.size(), writtenBefore);
    EXPECT_EQ(h.log(), log);
    EXPECT_TRUE(h.messages.isEmpty());
}

TEST(DemoTexts, ButtonsAreWired) {
    FormHarness h;
    h->Widget(&Form1::Command31)->click();
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), ToQString(ChipIntroText()));
    h->Widget(&Form1::Command32)->click();
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), ToQString(PromptToneText()));
    h->Widget(&Form1::Command1)->click();
    EXPECT_EQ(h->Widget(&Form1::Text3)->Text(), ToQString(ShowcaseText()));
}
