#include "qt/text_files.h"
#include "qt/qt_text.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

std::optional<DecodedText> ReadTextFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    TextFileRead read;
    if (!info.exists() || !info.isFile()) {
        read.outcome = TextFileRead::Outcome::Missing;
    } else if (info.size() > kTextFileMaxBytes) {
        read.outcome = TextFileRead::Outcome::TooLarge;
    } else {
        QFile file(path);
        // Read one byte past the limit: a file that grew meanwhile is refused too.
        const QByteArray bytes =
            file.open(QIODevice::ReadOnly) ? file.read(kTextFileMaxBytes + 1) : QByteArray();
        if (!file.isOpen() || file.error() != QFileDevice::NoError) {
            read.outcome = TextFileRead::Outcome::Unreadable;
            read.reason = ToU16(file.errorString());
        } else {
            read.outcome = TextFileRead::Outcome::Read;
            read.bytes = ToStdBytes(bytes);
        }
    }
    std::u16string message;
    std::optional<DecodedText> text = TextOfFile(ToU16(info.fileName()), read, &message);
    if (!text)
        *error = ToQString(message);
    return text;
}

bool WriteTextFile(const QString& path, const QString& text, TextEncoding encoding,
                   QString* error) {
    const std::optional<std::string> bytes = EncodeText(ToU16(text), encoding);
    if (!bytes) {
        *error = ToQString(kUnencodableMessage);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes->data(), qint64(bytes->size())) != qint64(bytes->size()) ||
        !file.commit()) {
        *error = ToQString(UnwritableFileMessage(ToU16(QFileInfo(path).fileName()),
                                                 ToU16(file.errorString())));
        return false;
    }
    return true;
}
