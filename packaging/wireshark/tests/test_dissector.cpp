// The Wireshark dissector against the console's own decoding: captures
// written by the console (the chip introduction, every control frame, marks,
// music, typed frames with a wrong checksum, every status byte), read by
// Debian's tshark with the dissector loaded: every field as the console
// decodes the same bytes, the Info column the work log's words; capinfos
// reads each file, and a capture rewritten by editcap reads back the same.
#include "core/capture_file.h"
#include "core/commands.h"
#include "core/demo_texts.h"
#include "core/frame_builders.h"
#include "core/frame_plan.h"
#include "core/gbk.h"
#include "core/text_util.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A folder of its own, also the tools' home: nothing reaches the user's.
struct Scratch {
    std::string dir;
    Scratch() {
        char pattern[] = "/tmp/vxt4710-dissector.XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    ~Scratch() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

// Runs a shell command; its standard output, and the exit status.
std::string Shell(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return out;
    }
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    const int rc = ::pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string Hex2(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", b);
    return text;
}

// What tshark prints for a string field: control characters escaped.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// The console's decoding of one packet, as the fields the dissector gives:
// dir, cmd, len, encoding, music, text, checksum, checksum_ok, status, Info.
std::string Expected(const CapturePacket& p) {
    const std::string& b = p.bytes;
    const auto at = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
    std::vector<std::string> f(10);
    f[0] = p.direction == CaptureDirection::ToChip ? "to chip" : "from chip";
    if (p.direction == CaptureDirection::ToChip) {
        f[1] = Hex2(at(3));
        f[2] = std::to_string((at(1) << 8) | at(2));
        if (at(3) == FrameCommand::Synthesize) {
            f[3] = std::to_string(at(4) & 7);
            f[4] = std::to_string(at(4) >> 3);
            if (b.size() > 6)
                f[5] = Escaped(Utf8FromUtf16(GbkDecode(b.substr(5, b.size() - 6))));
        }
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < b.size(); ++i)
            sum ^= at(i);
        f[6] = Hex2(at(b.size() - 1));
        f[7] = sum == at(b.size() - 1) ? "1" : "0";
    } else {
        f[8] = Hex2(at(0));
    }
    f[9] = CaptureComment(b);
    std::string line;
    for (size_t i = 0; i < f.size(); ++i)
        line += (i ? "\t" : "") + f[i];
    return line;
}

std::vector<CapturePacket> Talk() {
    std::vector<CapturePacket> packets;
    int64_t t = 1'765'000'000'000'000;
    const auto add = [&](CaptureDirection d, std::string bytes) {
        packets.push_back({t += 1000, d, bytes, CaptureComment(bytes)});
    };
    const FramePlan intro = PlanSpeak(ChipIntroText(), 0, false, false);
    for (const PlannedFrame& frame : intro.frames)
        add(CaptureDirection::ToChip, frame.bytes);
    for (const uint8_t command : {FrameCommand::Stop, FrameCommand::Pause, FrameCommand::Resume,
                                  FrameCommand::Query, FrameCommand::Sleep})
        add(CaptureDirection::ToChip, ControlFrame(command));
    for (int rate = 0; rate < 3; ++rate)
        add(CaptureDirection::ToChip, SetRateFrame(rate));
    for (const char* mark : {"[v10]", "[s5]", "[d]"})
        add(CaptureDirection::ToChip, ControlMarkFrame(mark));
    add(CaptureDirection::ToChip, TextFrame(u"背景音乐[v3]你好", 7));
    // Typed in hexadecimal: a wrong checksum, a command the chip does not know.
    add(CaptureDirection::ToChip, std::string("\xFD\x00\x02\x21\x00", 5));
    add(CaptureDirection::ToChip, std::string("\xFD\x00\x02\x55\xAA", 5));
    for (const char status : {'\x41', '\x45', '\x4A', '\x4E', '\x4F'})
        add(CaptureDirection::FromChip, std::string(1, status));
    return packets;
}

TEST(WiresharkDissector, DecodesEveryFieldAsTheConsoleDoes) {
    Scratch scratch;
    const std::vector<CapturePacket> packets = Talk();
    const std::string file = scratch.dir + "/talk.pcapng";
    {
        std::ofstream out(file, std::ios::binary);
        CaptureWriter writer(
            [&](std::string_view bytes) {
                out.write(bytes.data(), std::streamsize(bytes.size()));
                return bool(out);
            },
            {{"COM3", 9600}}, "test");
        for (const CapturePacket& p : packets)
            ASSERT_TRUE(writer.add(p));
    }
    const std::string env = "HOME='" + scratch.dir + "' XDG_CONFIG_HOME='" + scratch.dir + "' ";
    int status = 0;
    const std::string fields =
        Shell(env + "tshark -X lua_script:" VXT_DISSECTOR " -r '" + file +
                  "' -T fields -E separator=/t -e vxt4710.dir -e vxt4710.cmd -e vxt4710.len "
                  "-e vxt4710.encoding -e vxt4710.music -e vxt4710.text -e vxt4710.checksum "
                  "-e vxt4710.checksum_ok -e vxt4710.status -e _ws.col.Info 2>/dev/null",
              &status);
    ASSERT_EQ(status, 0);
    std::istringstream lines(fields);
    std::string line;
    size_t i = 0;
    for (; std::getline(lines, line); ++i) {
        ASSERT_LT(i, packets.size()) << line;
        EXPECT_EQ(line, Expected(packets[i])) << "packet " << i + 1;
    }
    EXPECT_EQ(i, packets.size());

    // Bad frames are filtered by their checksum's verdict.
    const std::string bad = Shell(env + "tshark -X lua_script:" VXT_DISSECTOR " -r '" + file +
                                      "' -Y 'vxt4710.checksum_ok == 0' -T fields -e frame.number "
                                      "2>/dev/null",
                                  &status);
    EXPECT_EQ(bad, std::to_string(packets.size() - 6) + "\n");

    Shell(env + "capinfos '" + file + "' >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0);
    const std::string copy = scratch.dir + "/copy.pcapng";
    Shell(env + "editcap '" + file + "' '" + copy + "' 2>&1", &status);
    ASSERT_EQ(status, 0);
    std::ifstream in(copy, std::ios::binary);
    const std::string rewritten((std::istreambuf_iterator<char>(in)), {});
    const CaptureContents back = ReadCapture(rewritten);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front();
    ASSERT_EQ(back.packets.size(), packets.size());
    for (size_t k = 0; k < packets.size(); ++k) {
        EXPECT_EQ(back.packets[k].bytes, packets[k].bytes) << k;
        EXPECT_EQ(back.packets[k].direction, packets[k].direction) << k;
        EXPECT_EQ(back.packets[k].timeUs, packets[k].timeUs) << k;
        EXPECT_EQ(back.packets[k].comment, packets[k].comment) << k;
    }
}

} // namespace
