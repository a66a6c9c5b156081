#include "qt/text_files.h"
#include "qt/qt_text.h"

#include "core/text_util.h"
#include "platform/files.h"

#include <QFileInfo>

std::optional<DecodedText> ReadTextFile(const QString& path, QString* error) {
    std::u16string message;
    std::optional<DecodedText> text =
        OpenTextFile(files::Read, ToStdBytes(path.toUtf8()), ToU16(QFileInfo(path).fileName()),
                     &message);
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
    const std::string reason = files::Save(ToStdBytes(path.toUtf8()), *bytes);
    if (!reason.empty()) {
        *error = ToQString(
            UnwritableFileMessage(ToU16(QFileInfo(path).fileName()), Utf16FromUtf8(reason)));
        return false;
    }
    return true;
}
