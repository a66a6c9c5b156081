#include "shell/text_files.h"

#include "shell/initial_text.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

QString DecodeTextFile(const QByteArray& bytes, TextEncoding* found) {
    const auto setFound = [&](TextEncoding e) {
        if (found)
            *found = e;
    };
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // The decoder takes the byte-order mark itself and drops it.
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                            : QStringConverter::Utf16BE);
        setFound(TextEncoding::Utf16);
        return decoder.decode(bytes.mid(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        setFound(TextEncoding::Utf8);
        return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    }
    setFound(TextEncoding::Gbk);
    return DecodeGbk(bytes);
}

std::optional<QByteArray> EncodeText(const QString& text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Utf16: {
        QStringEncoder encoder(QStringConverter::Utf16LE);
        return QByteArray(encoder.encode(text));
    }
    case TextEncoding::Gbk: {
        QStringEncoder encoder("GBK");
        if (!encoder.isValid())
            return std::nullopt;
        const QByteArray bytes = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
    }
    return std::nullopt;
}

std::optional<QString> ReadTextFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists() || !info.isFile()) {
        *error = QStringLiteral("%1 不存在或不是文件，未载入").arg(name);
        return std::nullopt;
    }
    if (info.size() > kTextFileMaxBytes) {
        *error = QStringLiteral("%1 超过1MB，未载入（文件未作任何改动）").arg(name);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 无法读取，未载入：%2").arg(name, file.errorString());
        return std::nullopt;
    }
    // Read one byte past the limit: a file that grew meanwhile is refused too.
    const QByteArray bytes = file.read(kTextFileMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 无法读取，未载入：%2").arg(name, file.errorString());
        return std::nullopt;
    }
    if (bytes.size() > kTextFileMaxBytes) {
        *error = QStringLiteral("%1 超过1MB，未载入（文件未作任何改动）").arg(name);
        return std::nullopt;
    }
    return DecodeTextFile(bytes);
}

bool WriteTextFile(const QString& path, const QString& text, TextEncoding encoding,
                   QString* error) {
    const std::optional<QByteArray> bytes = EncodeText(text, encoding);
    if (!bytes) {
        *error = QStringLiteral("文本中有 GBK 无法表示的字符，未保存；请选择 UTF-8");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        *error =
            QStringLiteral("无法写入 %1：%2").arg(QFileInfo(path).fileName(), file.errorString());
        return false;
    }
    return true;
}
