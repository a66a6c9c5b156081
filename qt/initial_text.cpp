#include "qt/initial_text.h"

#include "qt/qt_text.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

InitialFile ReadInitialFile() {
    InitialFile result;
    const QByteArray name = QFile::encodeName(ToQString(kInitialTextFileName));
    // One open both creates the file, empty, when it is absent and opens an
    // existing one (read-only ones too) for reading. Non-blocking, so that a
    // pipe in its place cannot hold start-up; only a regular file is read.
    const int fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Perhaps a large file that cannot be opened: it is still said to be too large.
        struct stat st {};
        if (::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size > kInitialTextMaxBytes)
            result.outcome = InitialFile::Outcome::TooLarge;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return result;
    }
    if (st.st_size > kInitialTextMaxBytes) {
        ::close(fd);
        result.outcome = InitialFile::Outcome::TooLarge;
        return result;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return result;
    result.outcome = InitialFile::Outcome::Read;
    result.bytes = ToStdBytes(bytes);
    return result;
}
