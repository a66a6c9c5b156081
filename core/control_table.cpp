#include "core/control_table.h"

#include "core/line_rates.h"
#include "core/text_util.h"

#include <cmath>

int TwipsToPixels(int twips, double dpi) {
    return int(std::lround(twips * dpi / 1440.0));
}

const std::vector<DesignedControl>& ControlTable() {
    using K = ControlKind;
    static const std::vector<DesignedControl> table = {
        // On the window.
        {"Frame6", K::Frame, "", u"发送文本--（PC默认为GBK编码格式）", 120, 120, 7935, 4035, 0},
        {"Command6", K::CommandButton, "", u"  播  放   最多200字节", 120, 4320, 1215, 495, 25},
        {"Command3", K::CommandButton, "", u" 播  放  全部(连续) ", 1560, 4320, 1215, 495, 44},
        {"Command7", K::CommandButton, "", u"停止", 2880, 4320, 855, 495, 12},
        {"Command8", K::CommandButton, "", u"暂停", 3960, 4320, 855, 495, 13},
        {"Command9", K::CommandButton, "", u"恢复", 5040, 4320, 855, 495, 14},
        {"Command28", K::CommandButton, "", u"查询", 6120, 4320, 855, 495, 16},
        {"Command21", K::CommandButton, "", u"休眠", 7200, 4320, 855, 495, 15},
        {"Frame10", K::Frame, "", u"工作记录：", 120, 5160, 7935, 3135, 23},
        {"Frame16", K::Frame, "",
         u"发送文本--（用户自已自由定义要发送的16进制编码）（可测试任意编码格式）（格式严格匹配，"
         "格式为：2位16进制数值+1个空格符）",
         120, 8520, 11175, 1815, 28},
        {"Frame4", K::Frame, "", u"系统设置", 8280, 120, 3015, 1455, 7},
        {"Combo4", K::ComboBox, "", u"COM1", 9720, 360, 1335, 300, 49},
        {"Command11", K::CommandButton, "", u"设置芯片", 8400, 1000, 1095, 375, 51},
        {"Combo5", K::ComboBox, "", u"Combo5", 9720, 1080, 1335, 300, 50},
        {"Frame9", K::Frame, "", u"背景音乐选择", 8280, 1560, 3015, 855, 21},
        {"Frame11", K::Frame, "", u"TTS属性", 8280, 2520, 3015, 2655, 26},
        {"Frame8", K::Frame, "", u"其它", 8280, 5160, 3015, 2775, 17},
        {"Check1", K::CheckBox, "", u"回传解释", 8280, 8040, 1575, 375, 37},
        {"Command4", K::CommandButton, "", u"重复播放--测试用", 5280, 11160, 1935, 375, 45},
        {"Label6", K::Label, "", u"每", 3480, 11280, 375, 255, 46},
        {"Text1", K::LineBox, "", u"30", 3960, 11280, 375, 270, 48},
        {"Label7", K::Label, "", u"秒", 4440, 11280, 375, 255, 47},
        {"Label5", K::Label, "", u"背景音乐:", 3840, 2040, 855, 255, 5},
        // In Frame6.
        {"Text3", K::TextBox, "Frame6",
         u"当前工作的重中之重，是要在重重困难中，保证重庆市的重点工程的顺利进行！\r\n", 120, 240,
         7695, 3720, 1},
        {"Check2", K::CheckBox, "Frame6", u"按姓名处理", 4560, 4200, 1215, 255, 2},
        {"Check3", K::CheckBox, "Frame6", u"读标点符号", 6120, 4200, 1215, 255, 3},
        {"Check4", K::CheckBox, "Frame6", u"1读成\"幺\"", 3240, 4200, 1200, 255, 4},
        {"Command20", K::CommandButton, "Frame6", u"插入", 1920, 4200, 855, 340, 6},
        // In Frame10.
        {"Text4", K::TextBox, "Frame10", u"", 120, 240, 7695, 2775, 24},
        // In Frame16.
        {"Text5", K::TextBox, "Frame16", u"fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n",
         120, 360, 7695, 1320, 29},
        {"Command29", K::CommandButton, "Frame16", u"播放--自动加校验", 8040, 600, 1095, 705, 30},
        {"Command30", K::CommandButton, "Frame16", u"播放--手动加校验", 9600, 600, 1095, 705, 31},
        // In Frame4, with Frame15 nested in it.
        {"Label8", K::Label, "Frame4", u"电脑串口号", 240, 240, 975, 255, 52},
        {"Label9", K::Label, "Frame4", u"电脑波特率", 240, 600, 975, 255, 53},
        {"Combo2", K::ComboBox, "Frame4", u"Combo2", 1440, 600, 1335, 300, 36},
        {"Command27", K::CommandButton, "Frame4", u"同时发送", 1440, 3000, 1095, 375, 11},
        {"Frame15", K::Frame, "Frame4", u"输出方式选择", 120, 3000, 2055, 1305, 8},
        {"Combo3", K::ComboBox, "Frame15", u"Combo3", 120, 1200, 1815, 300, 9},
        {"Command26", K::CommandButton, "Frame15", u"输出方式设置", 1080, 1200, 1455, 375, 10},
        // In Frame9.
        {"Combo1", K::ComboBox, "Frame9", u"背景音乐选择", 240, 360, 2535, 300, 22},
        // In Frame11.
        {"Label1", K::Label, "Frame11", u"前景音量", 120, 360, 735, 255, 33},
        {"HScroll1", K::HScrollBar, "Frame11", u"", 960, 360, 1815, 200, 32},
        {"Label3", K::Label, "Frame11", u"背景音量", 120, 720, 735, 255, 39},
        {"HScroll3", K::HScrollBar, "Frame11", u"", 960, 720, 1815, 200, 40},
        {"Label2", K::Label, "Frame11", u"词语语速", 120, 1080, 735, 255, 34},
        {"HScroll2", K::HScrollBar, "Frame11", u"", 960, 1080, 1815, 200, 35},
        {"Label4", K::Label, "Frame11", u"朗读风格", 120, 1680, 735, 255, 43},
        {"Option1", K::OptionButton, "Frame11", u"自然", 960, 1440, 1095, 375, 41},
        {"Option2", K::OptionButton, "Frame11", u"Word-By-Word", 960, 1800, 1455, 255, 42},
        {"Command34", K::CommandButton, "Frame11", u"控制标记恢复默认值", 600, 2160, 2055, 375, 27},
        // In Frame8.
        {"Command2", K::CommandButton, "Frame8", u"清空--工作记录", 240, 360, 2535, 450, 18},
        {"Command31", K::CommandButton, "Frame8", u"载入--芯片介绍", 240, 960, 2535, 450, 19},
        {"Command1", K::CommandButton, "Frame8", u"载入--智能识别展示", 240, 1560, 2535, 450, 38},
        {"Command32", K::CommandButton, "Frame8", u"载入----提示音", 240, 2160, 2535, 450, 20},
    };
    return table;
}

std::vector<std::u16string> ComboEntries(std::string_view comboName) {
    std::vector<std::u16string> entries;
    if (comboName == "Combo4") {
        for (int i = 0; i < 20; ++i)
            entries.push_back(u"COM" + Number16(i + 1));
    } else if (comboName == "Combo2") {
        for (const LineRate& r : kLineRates)
            entries.push_back(Number16(r.bitsPerSecond));
    } else if (comboName == "Combo5") {
        // The first entry is the chip's rate at power-up.
        for (const LineRate& r : kLineRates)
            entries.push_back(u"设置成" + Number16(r.bitsPerSecond) +
                              (&r == &kLineRates.front() ? u"(默认)" : u""));
    } else if (comboName == "Combo1") {
        entries.push_back(u"无背景（默认）");
        for (int i = 1; i <= 15; ++i)
            entries.push_back(u"背景音乐" + std::u16string(i < 10 ? u"0" : u"") + Number16(i));
    } else if (comboName == "Combo3") {
        entries.push_back(u"DA输出");
        entries.push_back(u"PWM 输出(默认)");
    }
    return entries;
}
