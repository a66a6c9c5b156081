#include "cli/text_input.h"

#include <QFile>
#include <QStringDecoder>
#include <cstdio>

namespace {

std::optional<QString> Decode(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

std::optional<QString> DecodeUtf8(const QByteArray& bytes) {
    return Decode(QStringConverter::Utf8, bytes);
}

std::optional<QString> DecodeTextFile(const QByteArray& bytes) {
    const QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        if (auto text = Decode(QStringConverter::Utf8, view.sliced(3)))
            return text;
    } else if ((view.startsWith("\xFF\xFE") || view.startsWith("\xFE\xFF")) && view.size() % 2) {
        return std::nullopt; // half a UTF-16 unit at the end: the file is cut short
    } else if (view.startsWith("\xFF\xFE")) {
        return Decode(QStringConverter::Utf16LE, view.sliced(2));
    } else if (view.startsWith("\xFE\xFF")) {
        return Decode(QStringConverter::Utf16BE, view.sliced(2));
    } else if (auto text = Decode(QStringConverter::Utf8, view)) {
        return text;
    }
    // Not UTF-8: the chip's own encoding, as the window reads its text file.
    // A byte that is no GBK becomes U+FFFD, which goes out as '?'.
    QStringDecoder gbk("GBK");
    if (!gbk.isValid())
        return std::nullopt;
    return gbk.decode(view);
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
