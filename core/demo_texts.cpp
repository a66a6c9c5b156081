#include "core/demo_texts.h"

// One line per entry, kept whole so that each reads as it is spoken.
// clang-format off

std::vector<std::u16string> ShowcaseLines() {
    // Lines 17, 22 and 27 are ours: two surnames read as surnames, a prompt
    // tone before a phone number, and web and e-mail addresses.
    return {
        u"",
        u"--------  多音字识别  ------------",
        u"",
        u"    着： 他好像不着急，一边看着电视，一边打着电话：“高，这一着真高，我们马上就着手准备。”",
        u"    重： 当前工作的重中之重是要在重重困难中保证重庆市的重点工程的顺利进行，坚决拒绝重复建设。",
        u"    折： 本店清仓折本出售，优惠多多。双休日穿着类商品5-8折，会员可再享受95折优惠。",
        u"",
        u"",
        u"--------  变音识别  ---------------",
        u"",
        u"    三声： 请你给我打桶洗脚水",
        u"    轻声： 我们家奶奶和哥哥的耳朵最灵了",
        u"",
        u"",
        u"--------  姓氏多音字识别  ---------",
        u"",
        u"    我们单位的[r]单明远和[r]解秀英都是解放后出生的。",
        u"    他是一位姓[r]朴的朴素的韩国艺人。",
        u"",
        u"",
        u"--------  数字智能识别  ---------",
        u"    msgd，您有新的来电，来电号码13912345678",
        u"    拨打13800200138资费标准：在本地拨打13800200138，神州行客户在0点到11点收费0.29元/分钟，其余时段0.49元/分钟；",
        u"    合肥市运管处发布最新规定，新规定生效时间：2009-11-11，23:01:09；",
        u"    在2009年最后两天，北京市二手网签数还高达1675套。",
        u"    今天的最低气温为：-12℃，这座大桥长1.5km，发射频率为400Hz，托运货物每件不能超过50kg。",
        u"    www.example.com     http://www.example.org     service@example.net",
    };
}

std::vector<std::u16string> ChipIntroLines() {
    return {
        u"VXT4710中文语音合成芯片的功能特点如下：",
        u"",
        u"⑴ 支持GB2312、GBK、BIG5和UNICODE内码格式的文本；",
        u"⑵ 清晰、自然、准确的中文语音合成效果；可合成任意的中文文本，支持英文字母的合成；",
        u"⑶ 具有智能的文本分析处理算法，可正确识别数值、号码、时间日期及常用的度量衡符号；",
        u"⑷ 具备很强的多音字处理和中文姓氏处理能力；；",
        u"⑸ 支持多种文本控制标记，提升文本处理的正确率；",
        u"⑹ 每次合成的文本量最多可达 200 字节；",
        u"⑺ 支持多种控制命令，包括：合成、停止、暂停合成、继续合成、改变波特率等；",
        u"⑻ 支持休眠功能，在休眠状态下可降低功耗；支持多种方式查询芯片工作状态；",
        u"⑼ 支持串行数据通讯接口，支持三种通讯波特率：9600bps，19200bps、38400bps；",
        u"⑽ 支持 16 级音量调整；播放文本的前景音量和播放背景音乐的背景音量可分开控制；",
        u"⑾ 可通过发送控制标记调节词语语速，支持 6 级词语语速调整；",
        u"⑿ 芯片内固化有多首和弦音乐、提示音效和针对某些行业领域的常见语音提示音；",
        u"⒀ 内部集成19首声音提示音，23首和弦提示音，15首背景音乐；",
        u"⒁ 最终产品提供SSOP贴片封装形式；体积业内最小；",
        u"⒂ 芯片各项指标均满足室外严酷环境下的应用；",
    };
}

std::vector<std::u16string> PromptToneLines() {
    return {
        u"sounda    soundb    soundc    soundd    sounde",
        u"soundf    soundg    soundh    soundi    soundj",
        u"soundk    soundl    soundm    soundn    soundo",
        u"soundp    soundq    soundr    sounds    soundt",
        u"soundu    soundv    soundw    soundx    soundy",
        u"",
        u"msga      msgb      msgc      msgd      msge",
        u"msgf      msgg      msgh",
        u"",
        u"ringa     ringb     ringc     ringd     ringe",
        u"ringf     ringg     ringh     ringi     ringj",
        u"ringk     ringl     ringm     ringn     ringo",
    };
}

// clang-format on

std::u16string JoinCrLf(const std::vector<std::u16string>& lines) {
    std::u16string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += u"\r\n";
        text += lines[i];
    }
    return text;
}

std::u16string ShowcaseText() {
    return JoinCrLf(ShowcaseLines());
}
std::u16string ChipIntroText() {
    return JoinCrLf(ChipIntroLines());
}
std::u16string PromptToneText() {
    return JoinCrLf(PromptToneLines());
}
