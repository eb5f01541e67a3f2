#include "io/save.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

bool fail(QString* reason, int error)
{
    if (reason)
        *reason = QString::fromLocal8Bit(strerror(error));
    return false;
}

}  // namespace

bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason)
{
    struct stat st;
    const bool exists = ::stat(name.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return fail(reason, errno);
        const bool ok = write_all(fd, bytes);
        const int error = errno;
        ::close(fd);
        return ok ? true : fail(reason, error);
    }

    const qsizetype slash = name.lastIndexOf('/');
    QByteArray temp = name.left(slash + 1) + '.' + name.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(reason, errno);
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, bytes) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.constData(), name.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.constData());
        return fail(reason, error);
    }
    return true;
}
