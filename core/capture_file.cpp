#include "core/capture_file.h"

#include "core/frame_decode.h"
#include "core/reply_status.h"
#include "core/text_util.h"

#include <cstdio>
#include <set>

namespace {

constexpr uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescription = 1;
constexpr uint32_t kSimplePacket = 3;
constexpr uint32_t kEnhancedPacket = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptComment = 1;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kIfSpeed = 8;
constexpr uint16_t kIfTsResol = 9;
constexpr uint16_t kShbUserAppl = 4;
constexpr uint16_t kEpbFlags = 2;

void Put16(std::string& out, uint16_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}
void Pad(std::string& out) {
    while (out.size() % 4)
        out += '\0';
}
void Option(std::string& out, uint16_t code, std::string_view value) {
    Put16(out, code);
    Put16(out, static_cast<uint16_t>(value.size()));
    out += value;
    Pad(out);
}
// A block: type, total length, body, total length again.
std::string Block(uint32_t type, std::string body) {
    Pad(body);
    std::string out;
    Put32(out, type);
    Put32(out, static_cast<uint32_t>(body.size() + 12));
    out += body;
    Put32(out, static_cast<uint32_t>(body.size() + 12));
    return out;
}

// Reads little- or big-endian numbers of a section.
struct Reader {
    std::string_view bytes;
    bool big = false;
    uint32_t u32(size_t at) const {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint32_t b = static_cast<uint8_t>(bytes[at + size_t(i)]);
            v |= big ? b << (8 * (3 - i)) : b << (8 * i);
        }
        return v;
    }
    uint16_t u16(size_t at) const {
        const uint16_t a = static_cast<uint8_t>(bytes[at]);
        const uint16_t b = static_cast<uint8_t>(bytes[at + 1]);
        return big ? uint16_t(a << 8 | b) : uint16_t(b << 8 | a);
    }
    uint64_t u64(size_t at) const {
        const uint64_t lo = u32(at), hi = u32(at + 4);
        return big ? (lo << 32 | hi) : (hi << 32 | lo);
    }
};

// Each option of an options area: code, value; stops at opt_endofopt or at
// the area's end.
template <typename Each> void Options(const Reader& r, size_t at, size_t end, Each each) {
    while (at + 4 <= end) {
        const uint16_t code = r.u16(at);
        const uint16_t length = r.u16(at + 2);
        if (code == kOptEnd || at + 4 + length > end)
            return;
        each(code, r.bytes.substr(at + 4, length), at + 4);
        at += 4 + ((size_t(length) + 3) & ~size_t(3));
    }
}

struct InterfaceTime {
    bool decimal = true;
    int exponent = 6; // µs unless said otherwise
};

int64_t ToMicroseconds(uint64_t ticks, const InterfaceTime& t) {
    if (t.decimal) {
        if (t.exponent <= 6) {
            uint64_t scale = 1;
            for (int i = t.exponent; i < 6; ++i)
                scale *= 10;
            return static_cast<int64_t>(ticks * scale); // a hostile file's wraps, defined
        }
        uint64_t divide = 1;
        for (int i = 6; i < t.exponent && i < 25; ++i)
            divide *= 10;
        return static_cast<int64_t>(ticks / divide);
    }
    // Binary fractions of a second: 2^-exponent.
    const int e = std::min(t.exponent, 63);
    const uint64_t seconds = ticks >> e;
    const uint64_t fraction = ticks & ((uint64_t(1) << e) - 1);
    const long double us =
        static_cast<long double>(fraction) * 1e6L / static_cast<long double>(uint64_t(1) << e);
    return static_cast<int64_t>(seconds * 1'000'000u + static_cast<uint64_t>(us));
}

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

} // namespace

std::string CaptureFileHeader(const std::vector<CaptureInterface>& lines,
                              std::string_view application) {
    std::string shb;
    Put32(shb, kByteOrderMagic);
    Put16(shb, 1); // version 1.0
    Put16(shb, 0);
    Put32(shb, 0xFFFFFFFF); // section length: not known while writing
    Put32(shb, 0xFFFFFFFF);
    Option(shb, kShbUserAppl, application);
    Put32(shb, 0); // opt_endofopt
    std::string out = Block(kSectionHeader, shb);
    for (const CaptureInterface& line : lines) {
        std::string idb;
        Put16(idb, line.linkType);
        Put16(idb, 0);
        Put32(idb, 0); // no snapshot length
        Option(idb, kIfName, line.name);
        if (line.rate > 0) {
            std::string speed;
            for (int i = 0; i < 8; ++i)
                speed += char((uint64_t(line.rate) >> (8 * i)) & 0xFF);
            Option(idb, kIfSpeed, speed);
        }
        Option(idb, kIfTsResol, std::string(1, '\x06'));
        Put32(idb, 0);
        out += Block(kInterfaceDescription, idb);
    }
    return out;
}

std::string CapturePacketBlock(const CapturePacket& packet) {
    std::string epb;
    const auto ticks = static_cast<uint64_t>(packet.timeUs);
    Put32(epb, packet.interface);
    Put32(epb, static_cast<uint32_t>(ticks >> 32));
    Put32(epb, static_cast<uint32_t>(ticks & 0xFFFFFFFF));
    Put32(epb, static_cast<uint32_t>(packet.bytes.size()));
    Put32(epb, static_cast<uint32_t>(packet.bytes.size()));
    epb += packet.bytes;
    Pad(epb);
    std::string flags;
    const uint32_t direction = packet.direction == CaptureDirection::FromChip ? 1
                               : packet.direction == CaptureDirection::ToChip ? 2
                                                                              : 0;
    Put32(flags, direction);
    Option(epb, kEpbFlags, flags);
    if (!packet.comment.empty())
        Option(epb, kOptComment, packet.comment.substr(0, 0xFFFF));
    Put32(epb, 0);
    return Block(kEnhancedPacket, epb);
}

std::string CaptureComment(std::string_view bytes) {
    if (bytes.size() == 1 && static_cast<uint8_t>(bytes[0]) != 0xFD)
        return Utf8FromUtf16(ReplyLogText(static_cast<uint8_t>(bytes[0]), false));
    return Utf8FromUtf16(DecodeFrame(bytes).meaning);
}

CaptureWriter::CaptureWriter(Write write, const std::vector<CaptureInterface>& lines,
                             std::string_view application)
    : write_(std::move(write)) {
    ok_ = write_(CaptureFileHeader(lines, application));
}

bool CaptureWriter::add(int64_t timeUs, CaptureDirection direction, std::string_view bytes,
                        uint32_t interface) {
    return add({timeUs, direction, std::string(bytes), CaptureComment(bytes), interface});
}

bool CaptureWriter::add(const CapturePacket& packet) {
    if (ok_)
        ok_ = write_(CapturePacketBlock(packet));
    return ok_;
}

CaptureContents ReadCapture(std::string_view file) {
    std::vector<CapturePacket> packets;
    CaptureContents out = ReadCapture(file, [&packets](const CapturePacketView& p) {
        packets.push_back(
            {p.timeUs, p.direction, std::string(p.bytes), std::string(p.comment), p.interface});
    });
    out.packets = std::move(packets);
    return out;
}

CaptureContents ReadCapture(std::string_view file,
                            const std::function<void(const CapturePacketView&)>& each) {
    CaptureContents out;
    Reader r{file};
    std::vector<InterfaceTime> times;
    std::set<uint32_t> unknownTypes;
    bool inSection = false;
    size_t at = 0;
    // Ten messages at most: a hostile file must not fill the screen.
    int64_t unsaid = 0;
    const auto problem = [&](std::string text) {
        if (out.problems.size() < 10)
            out.problems.push_back(std::move(text));
        else
            ++unsaid;
    };
    while (at < file.size()) {
        if (file.size() - at < 12) {
            problem("the file is cut off at byte " + std::to_string(at) + ": the rest is not read");
            break;
        }
        uint32_t type = r.u32(at);
        if (type == kSectionHeader) {
            // A section says its byte order after its length.
            if (file.size() - at < 28) {
                problem("the file is cut off at byte " + std::to_string(at) +
                        ": the rest is not read");
                break;
            }
            Reader probe{file};
            if (probe.u32(at + 8) == kByteOrderMagic)
                r.big = false;
            else if (probe.u32(at + 8) == 0x4D3C2B1A)
                r.big = true;
            else {
                problem(at == 0 ? "this is no pcapng capture file"
                                : "byte " + std::to_string(at) +
                                      ": a section header without its byte-order mark; the "
                                      "rest is not read");
                break;
            }
            inSection = true;
            times.clear();
        } else if (!inSection) {
            problem("this is no pcapng capture file");
            break;
        }
        const uint32_t length = r.u32(at + 4);
        if (length < 12 || length % 4 != 0 || length > file.size() - at ||
            r.u32(at + length - 4) != length) {
            problem(length > file.size() - at
                        ? "the file is cut off at byte " + std::to_string(file.size()) +
                              ": its last block is not read"
                        : "byte " + std::to_string(at) + ": a block of a length (" +
                              std::to_string(length) + ") it cannot have; the rest is not read");
            break;
        }
        const size_t body = at + 8;
        const size_t end = at + length - 4;
        if (type == kInterfaceDescription && end - body >= 8) {
            CaptureInterface line;
            line.linkType = r.u16(body);
            InterfaceTime t;
            Options(r, body + 8, end, [&](uint16_t code, std::string_view value, size_t where) {
                if (code == kIfName)
                    line.name = std::string(value);
                else if (code == kIfSpeed && value.size() == 8)
                    line.rate = static_cast<int64_t>(std::min<uint64_t>(r.u64(where), INT64_MAX));
                else if (code == kIfTsResol && value.size() == 1) {
                    const auto v = static_cast<uint8_t>(value[0]);
                    t.decimal = !(v & 0x80);
                    t.exponent = v & 0x7F;
                }
            });
            out.interfaces.push_back(line);
            times.push_back(t);
        } else if (type == kEnhancedPacket && end - body >= 20) {
            CapturePacketView packet;
            packet.interface = r.u32(body);
            const uint32_t captured = r.u32(body + 12);
            if (packet.interface >= times.size() || captured > end - body - 20) {
                problem("byte " + std::to_string(at) +
                        (packet.interface >= times.size()
                             ? ": a packet of an interface the file does not describe"
                             : ": a packet longer than its block") +
                        "; it is left out");
            } else {
                const uint64_t ticks = uint64_t(r.u32(body + 4)) << 32 | r.u32(body + 8);
                packet.timeUs = ToMicroseconds(ticks, times[packet.interface]);
                packet.bytes = file.substr(body + 20, captured);
                const size_t options = body + 20 + ((size_t(captured) + 3) & ~size_t(3));
                Options(r, options, end, [&](uint16_t code, std::string_view value, size_t where) {
                    if (code == kOptComment)
                        packet.comment = value;
                    else if (code == kEpbFlags && value.size() == 4) {
                        const uint32_t bits = r.u32(where) & 3;
                        packet.direction = bits == 1   ? CaptureDirection::FromChip
                                           : bits == 2 ? CaptureDirection::ToChip
                                                       : CaptureDirection::Unknown;
                    }
                });
                each(packet);
            }
        } else if (type == kSimplePacket && end - body >= 4 && !times.empty()) {
            CapturePacketView packet;
            const size_t captured = std::min<size_t>(r.u32(body), end - body - 4);
            packet.bytes = file.substr(body + 4, captured);
            each(packet);
        } else if (type != kSectionHeader && type != kInterfaceDescription &&
                   type != kEnhancedPacket && type != kSimplePacket &&
                   unknownTypes.insert(type).second) {
            problem("blocks of type " + Hex32(type) + " are not read (the first at byte " +
                    std::to_string(at) + ")");
        }
        at += length;
    }
    if (unsaid > 0)
        out.problems.push_back("and " + std::to_string(unsaid) + " more problems");
    return out;
}
