// The hex entry parser on its own: the typed cases, the limits, and a
// randomized comparison with a model written another way.
#include "core/hex_entry.h"
#include "qt/qt_text.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

std::optional<QByteArray> Parse(const QString& text) {
    if (const auto bytes = ParseHexGroups(ToU16(text)))
        return ToQBytes(*bytes);
    return std::nullopt;
}

QByteArray Bytes(const char* hex) {
    return QByteArray::fromHex(hex);
}

TEST(HexEntry, TypedTexts) {
    const struct {
        const char* what;
        QString text;
        std::optional<QByteArray> bytes;
    } cases[] = {
        {"empty", QString(), QByteArray()},
        {"start-up text", QStringLiteral("fd 00 0f 01 01 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1 b0 a1\r\n"),
         Bytes("fd000f0101b0a1b0a1b0a1b0a1b0a1b0a1")},
        {"trailing line break ignored", QStringLiteral("fd 00\r\n"), Bytes("fd00")},
        {"blank then line break: CR LF in a digit pair", QStringLiteral("fd 00 \r\n"),
         std::nullopt},
        {"dashes", QStringLiteral("FD-00-02-02"), Bytes("fd000202")},
        {"any separator, even a Chinese one", QStringLiteral("fd中00\t02"), Bytes("fd0002")},
        {"no separators", QStringLiteral("fd0002"), Bytes("fd00")},
        {"one group", QStringLiteral("fd"), Bytes("fd")},
        {"one group and a separator", QStringLiteral("fd "), Bytes("fd")},
        {"trailing lone digit", QStringLiteral("fd 0"), Bytes("fd")},
        {"trailing lone anything", QStringLiteral("fd g"), Bytes("fd")},
        {"upper case", QStringLiteral("AB CD EF 09"), Bytes("abcdef09")},
        {"lower case", QStringLiteral("ab cd ef 09"), Bytes("abcdef09")},
        {"mixed case", QStringLiteral("aB Cd eF"), Bytes("abcdef")},
        {"single character", QStringLiteral("f"), std::nullopt},
        {"g in a digit position", QStringLiteral("fd 0g"), std::nullopt},
        {"blank in a digit position", QStringLiteral("fd  0"), std::nullopt},
        {"Chinese in a digit position", QStringLiteral("fd 中0"), std::nullopt},
        {"leading blank", QStringLiteral(" fd 00"), std::nullopt},
        {"line break alone", QStringLiteral("\r\n"), std::nullopt},
        {"full-width digits", QStringLiteral("ｆｄ"), std::nullopt},
        {"NUL", QString(QChar(0)) + QStringLiteral("0"), std::nullopt},
        {"lone surrogate", QString(QChar(0xD800)) + QStringLiteral("0 00"), std::nullopt},
        {"invalid after valid groups", QStringLiteral("fd 00 xx 01"), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Parse(c.text), c.bytes);
    }
}

TEST(HexEntry, LengthLimit) {
    // 32766 characters: 10922 groups, the last one complete.
    QString longest;
    while (longest.size() < kMaxHexEntryLength)
        longest += QStringLiteral("a5 ");
    longest.truncate(kMaxHexEntryLength);
    const auto bytes = Parse(longest);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 10922);
    EXPECT_EQ(bytes->count('\xa5'), 10922);
    EXPECT_FALSE(Parse(longest + QLatin1Char(' ')));
    // A megabyte of digits pasted in is refused, not read.
    EXPECT_FALSE(Parse(QString(1 << 20, QLatin1Char('7'))));
    EXPECT_EQ(HexGroupCount(0), 0);
    EXPECT_EQ(HexGroupCount(1), 0);
    EXPECT_EQ(HexGroupCount(2), 1);
    EXPECT_EQ(HexGroupCount(4), 1);
    EXPECT_EQ(HexGroupCount(5), 2);
    EXPECT_EQ(HexGroupCount(kMaxHexEntryLength), 10922);
}

// ------------------------------------------------------------ randomized

// The model walks the text one character at a time: high digit, low digit,
// separator, over and over. A character that would start a pair with nothing
// after it is the trailing lone character.
std::optional<QByteArray> Model(const QString& text) {
    if (text.size() > 32766 || text.size() == 1)
        return std::nullopt;
    enum { High, Low, Separator } state = High;
    QByteArray out;
    int high = 0;
    const std::u16string units = text.toStdU16String();
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (state == Separator) {
            state = High;
            continue;
        }
        if (state == High && i + 1 == units.size())
            break;
        const std::u16string digits = u"0123456789abcdef";
        char16_t lower = u;
        if (lower >= u'A' && lower <= u'F')
            lower = char16_t(lower + (u'a' - u'A'));
        const size_t value = digits.find(lower);
        if (value == std::u16string::npos)
            return std::nullopt;
        if (state == High) {
            high = int(value);
            state = Low;
        } else {
            out.append(char(high * 16 + int(value)));
            state = Separator;
        }
    }
    return out;
}

QString RandomText(QRandomGenerator& rng) {
    // Mostly well-formed groups, so that long valid texts occur, with a few
    // odd characters scattered in.
    static const QString digits = QStringLiteral("0123456789abcdefABCDEF");
    static const QString odd = QStringLiteral("gG xz\r\n\t-:,;中文，ｆ０");
    const int lengthKind = rng.bounded(100);
    const int length = lengthKind < 80   ? rng.bounded(12)
                       : lengthKind < 98 ? rng.bounded(200)
                                         : 32760 + rng.bounded(12);
    const int oddPerMille = rng.bounded(4) == 0 ? 0 : rng.bounded(60);
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i) {
        const bool digitPosition = i % 3 != 2;
        if (rng.bounded(1000) < oddPerMille) {
            switch (rng.bounded(4)) {
            case 0:
                text += odd[rng.bounded(odd.size())];
                break;
            case 1: // control characters, NUL included
                text += QChar(char16_t(rng.bounded(32)));
                break;
            case 2: // a lone surrogate half
                text += QChar(char16_t(0xD800 + rng.bounded(0x800)));
                break;
            default: // any unit at all
                text += QChar(char16_t(rng.bounded(0x10000)));
                break;
            }
        } else if (digitPosition) {
            text += digits[rng.bounded(digits.size())];
        } else {
            text += QLatin1Char(rng.bounded(2) ? ' ' : '-');
        }
    }
    return text;
}

void CompareWithModel(quint32 seed, int maxRounds, qint64 maxMs) {
    QRandomGenerator rng(seed);
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < maxRounds && clock.elapsed() < maxMs; ++round) {
        const QString text = RandomText(rng);
        const auto got = Parse(text);
        const auto want = Model(text);
        if (got != want) {
            ADD_FAILURE() << "seed " << seed << " round " << round << " text of " << text.size()
                          << " units: " << text.left(60).toStdString() << "\n got "
                          << (got ? got->toHex(' ').toStdString() : "refusal") << "\nwant "
                          << (want ? want->toHex(' ').toStdString() : "refusal");
            return;
        }
    }
}

TEST(HexEntry, AgreesWithACharacterByCharacterModel) {
    // The fixed seed always runs the same texts; the second seed differs from
    // run to run and is printed with any failure, so it can be replayed.
    CompareWithModel(20240611u, 20000, 1500);
    const auto seed = static_cast<quint32>(QDateTime::currentMSecsSinceEpoch());
    CompareWithModel(seed, 20000, 1500);
}

} // namespace
