#include "cli/text_input.h"
#include "qt/qt_text.h"

#include "core/text_decode.h"

#include <QFile>
#include <cstdio>

std::optional<QString> TextOfFile(const QByteArray& bytes, bool standardInput, QString* reason) {
    const DecodedText decoded = standardInput ? DecodeTextAs(StdView(bytes), TextEncoding::Utf8)
                                              : DecodeTextFile(StdView(bytes));
    if (decoded.replaced == 0)
        return ToQString(decoded.text);
    *reason =
        QStringLiteral("read as %1, %2 %3 no text (the first at byte %4): "
                       "invalid bytes, a cut-off character or NUL; nothing sent")
            .arg(ToQString(EncodingName(decoded.encoding)))
            .arg(decoded.replaced)
            .arg(decoded.replaced == 1 ? QStringLiteral("place is") : QStringLiteral("places are"))
            .arg(decoded.firstReplaced + 1);
    return std::nullopt;
}

std::optional<QString> DecodeUtf8(const QByteArray& bytes) {
    const DecodedText decoded = DecodeTextAs(StdView(bytes), TextEncoding::Utf8);
    if (decoded.replaced)
        return std::nullopt;
    return ToQString(decoded.text);
}

QString WithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += QStringLiteral("\r\n");
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QByteArray> ReadAllOf(const QString& path, QString* reason) {
    QFile file;
    const bool standardInput = path == QLatin1String("-");
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly)
                                      : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *reason = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes;
    // Read in pieces: standard input and special files have no size.
    for (;;) {
        const QByteArray piece = file.read(1 << 20);
        if (piece.isEmpty())
            break;
        bytes += piece;
        if (bytes.size() > kMaxTextFileBytes) {
            *reason = QStringLiteral("longer than %1 MiB").arg(kMaxTextFileBytes >> 20);
            return std::nullopt;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        return std::nullopt;
    }
    return bytes;
}
