#include "shell/initial_text.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

const QString kInitialTextFileName = QStringLiteral("初始默认文本.txt");

QString DecodeGbk(const QByteArray& bytes) {
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    // The decoder keeps a lead byte at the very end to itself, waiting for
    // its trail byte. LF is never a trail byte: behind the text it turns such
    // a lead byte into U+FFFD and comes back out by itself.
    QString text = decoder.decode(bytes + '\n');
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

std::optional<QString> LoadInitialText() {
    QFile file(kInitialTextFileName);
    if (!QFileInfo::exists(kInitialTextFileName)) {
        // Opening creates the file, empty; nothing is ever written to it.
        if (!file.open(QIODevice::WriteOnly))
            return std::nullopt;
        file.close();
    }
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return DecodeGbk(bytes);
}
