// Button captions wrap as the designed buttons do: between Chinese
// characters and at spaces, never inside a number or word.
#include "win32/win_button_draw.h"

#include <gtest/gtest.h>

namespace {

// A Chinese character 12 pixels wide, anything else 6.
int Width(std::wstring_view run) {
    int w = 0;
    for (wchar_t c : run)
        w += c >= 0x2E80 ? 12 : 6;
    return w;
}

TEST(WrapCaption, BreaksLikeTheDesignedButtons) {
    const struct {
        const wchar_t* caption;
        int maxWidth;
        std::vector<std::wstring> lines;
    } cases[] = {
        // Spaces at a break stay above and do not count.
        {L"  播  放   最多200字节", 73, {L"  播  放   ", L"最多200字节"}},
        {L"  播  放   最多200字节", 200, {L"  播  放   最多200字节"}},
        // Between Chinese characters; the number stays whole.
        {L"最多200字节", 40, {L"最多", L"200字", L"节"}},
        {L"200字节", 10, {L"200", L"字", L"节"}},
        // Opening brackets go with what follows, closing with what precedes.
        {L" 播  放  全部(连续) ", 80, {L" 播  放  全部", L"(连续) "}},
        {L"全部（连续）", 40, {L"全部", L"（连", L"续）"}},
        // Latin words break at spaces only.
        {L"Word-By-Word mode", 80, {L"Word-By-Word ", L"mode"}},
        {L"Word-By-Word", 10, {L"Word-By-Word"}},
        {L"播放--自动加校验", 73, {L"播放--自动加", L"校验"}},
        {L"", 50, {L""}},
        {L"停止", 50, {L"停止"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "caption #" << (&c - cases));
        EXPECT_EQ(WrapCaption(c.caption, Width, c.maxWidth), c.lines);
    }
}

} // namespace
