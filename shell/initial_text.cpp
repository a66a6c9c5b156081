#include "shell/initial_text.h"
#include "qt/qt_text.h"


#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString kInitialTextFileName = QStringLiteral("初始默认文本.txt");
const QString kInitialTextTooLargeMessage =
    QStringLiteral("初始默认文本.txt 超过1MB，未载入（文件未作任何改动）");

bool InitialTextTooLarge() {
    struct stat st {};
    return ::stat(QFile::encodeName(kInitialTextFileName).constData(), &st) == 0 &&
           S_ISREG(st.st_mode) && st.st_size > kInitialTextMaxBytes;
}

std::optional<DecodedText> LoadInitialText() {
    // One open both creates the file, empty, when it is absent and opens an
    // existing one (read-only ones too) for reading. Non-blocking, so that a
    // pipe in its place cannot hold start-up; only a regular file is read.
    const int fd = ::open(QFile::encodeName(kInitialTextFileName).constData(),
                          O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kInitialTextMaxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return DecodeTextAs(StdView(bytes), TextEncoding::Gbk);
}
