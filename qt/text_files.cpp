#include "qt/text_files.h"
#include "qt/qt_text.h"


#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

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

std::optional<DecodedText> ReadTextFile(const QString& path, QString* error) {
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
    return DecodeTextFile(StdView(bytes));
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
