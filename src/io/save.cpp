#include "io/save.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool fail(SaveTarget& t, int error)
{
    if (t.error == 0)
        t.error = error;
    return false;
}

// Flushes a folder's entries to the disk, so that a rename in it lasts.
void sync_folder(const QByteArray& name)
{
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool save_open(SaveTarget& t, const QByteArray& name)
{
    t = SaveTarget{};
    t.name = name;
    if (name.isEmpty())
        return fail(t, ENOENT);
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(name.constData(), nullptr)) {
            t.name = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(t.name.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(t, EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        t.fd = ::open(t.name.constData(), O_WRONLY | O_CLOEXEC);
        return t.fd >= 0 ? true : fail(t, errno);
    }

    // ".NAME.XXXXXX" beside the name, the name shortened when needed so that
    // this and the ".old" that save_replace may add fit the system's limit.
    const qsizetype slash = t.name.lastIndexOf('/');
    if (t.name.size() - slash - 1 > NAME_MAX)
        return fail(t, ENAMETOOLONG);
    const QByteArray base = t.name.mid(slash + 1).left(NAME_MAX - 12);
    QByteArray temp = t.name.left(slash + 1) + '.' + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(t, errno);
    t.fd = fd;
    t.temp = temp;
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
        if (::geteuid() == 0 && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Kept by whoever runs the program; the file is written all the same.
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) {
        fail(t, errno);
        save_cancel(t);
        return false;
    }
    return true;
}

bool save_write(SaveTarget& t, const char* bytes, qint64 count)
{
    while (count > 0) {
        const ssize_t n = ::write(t.fd, bytes, static_cast<size_t>(count));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(t, n < 0 ? errno : EIO);
        bytes += n;
        count -= n;
    }
    return true;
}

bool save_close(SaveTarget& t)
{
    if (t.fd < 0)
        return t.error == 0;
    // Only a regular file is flushed: a pipe or a terminal cannot be.
    if (!t.temp.isEmpty() && ::fsync(t.fd) != 0)
        fail(t, errno);
    if (::close(t.fd) != 0)
        fail(t, errno);
    t.fd = -1;
    return t.error == 0;
}

bool save_replace(SaveTarget* targets, int count)
{
    int last = -1;  // the last target that is renamed
    for (int i = 0; i < count; ++i) {
        if (targets[i].error != 0 || targets[i].fd >= 0) {
            for (int k = 0; k < count; ++k)
                save_cancel(targets[k]);
            return false;
        }
        if (!targets[i].temp.isEmpty())
            last = i;
    }

    struct Done {
        int index;
        bool existed;
        QByteArray kept;  // the file that stood under the name, under a second name
    };
    std::vector<Done> done;
    for (int i = 0; i <= last; ++i) {
        SaveTarget& t = targets[i];
        if (t.temp.isEmpty())
            continue;
        struct stat st;
        Done d{i, ::lstat(t.name.constData(), &st) == 0, {}};
        // Kept until the last rename is done. Where the folder allows no
        // second name for a file, the old file cannot come back.
        if (d.existed && i != last) {
            const QByteArray kept = t.temp + ".old";
            if (::link(t.name.constData(), kept.constData()) == 0)
                d.kept = kept;
        }
        if (::rename(t.temp.constData(), t.name.constData()) != 0) {
            fail(t, errno);
            if (!d.kept.isEmpty())
                ::unlink(d.kept.constData());
            // Back as it was: the earlier names get their old files again,
            // a name that did not exist goes, the later temporaries go.
            for (auto it = done.rbegin(); it != done.rend(); ++it) {
                const QByteArray& name = targets[it->index].name;
                if (!it->kept.isEmpty())
                    ::rename(it->kept.constData(), name.constData());
                else if (!it->existed)
                    ::unlink(name.constData());
            }
            for (int k = 0; k < count; ++k)
                save_cancel(targets[k]);
            return false;
        }
        t.temp.clear();
        done.push_back(d);
    }

    for (const Done& d : done) {
        if (!d.kept.isEmpty())
            ::unlink(d.kept.constData());
        sync_folder(targets[d.index].name);
    }
    return true;
}

void save_cancel(SaveTarget& t)
{
    if (t.fd >= 0) {
        ::close(t.fd);
        t.fd = -1;
    }
    if (!t.temp.isEmpty()) {
        ::unlink(t.temp.constData());
        t.temp.clear();
    }
}

QString save_reason(const SaveTarget& t)
{
    return QString::fromLocal8Bit(strerror(t.error ? t.error : EIO));
}

bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason)
{
    SaveTarget t;
    const bool ok = save_open(t, name) && save_write(t, bytes.constData(), bytes.size()) &&
                    save_close(t) && save_replace(&t, 1);
    if (!ok) {
        save_cancel(t);
        if (reason)
            *reason = save_reason(t);
    }
    return ok;
}
