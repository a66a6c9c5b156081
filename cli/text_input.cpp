#include "cli/text_input.h"

#include <QFile>
#include <cstdio>

std::optional<std::string> ReadAllOf(const std::string& path, std::string* reason) {
    QFile file;
    const bool standardInput = path == "-";
    const bool opened = standardInput ? file.open(stdin, QIODevice::ReadOnly)
                                      : (file.setFileName(QString::fromStdString(path)),
                                         file.open(QIODevice::ReadOnly));
    if (!opened) {
        *reason = file.errorString().toStdString();
        return std::nullopt;
    }
    // Read in pieces: standard input and special files have no size.
    return ReadLimited(
        [&file](char* buf, std::size_t size, std::string* why) -> int64_t {
            const qint64 n = file.read(buf, qint64(size));
            if (n < 0 || (n == 0 && file.error() != QFileDevice::NoError)) {
                *why = file.errorString().toStdString();
                return -1;
            }
            return n;
        },
        reason);
}
