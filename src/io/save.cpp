#include "io/save.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

void (*save_trace)(const char* step, const QByteArray& file);

namespace {

bool fail(SaveTarget& t, int error)
{
    if (t.error == 0)
        t.error = error;
    return false;
}

void trace(const char* step, const QByteArray& file)
{
    if (save_trace)
        save_trace(step, file);
}

QByteArray folder_of(const QByteArray& name)
{
    const qsizetype slash = name.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
}

// Flushes a folder's entries to the disk, so that a rename in it lasts.
void sync_folder(const QByteArray& name)
{
    const int fd = ::open(folder_of(name).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The temporary names on the disk, for the signal handler. Changed only
// with the signals blocked, so the handler never sees it half changed.
std::vector<char*> on_disk;
const int clean_up_signals[] = {SIGINT, SIGTERM, SIGHUP};

class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int s : clean_up_signals)
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t old;
};

void remember(const QByteArray& temp)
{
    SignalsBlocked blocked;
    on_disk.push_back(strdup(temp.constData()));
}

void forget(const QByteArray& temp)
{
    SignalsBlocked blocked;
    const auto it = std::find_if(on_disk.begin(), on_disk.end(), [&](char* n) { return temp == n; });
    if (it != on_disk.end()) {
        char* n = *it;
        on_disk.erase(it);
        std::free(n);
    }
}

void remove_on_signal(int sig)
{
    for (char* name : on_disk)
        ::unlink(name);
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // ends the process as the signal would have once this returns
}

// Holds the lock of every folder of a set of names while they are renamed:
// another process that replaces names there waits for the whole set. The
// folders are locked in one order, so two sets never wait for each other.
class FolderLocks {
public:
    explicit FolderLocks(const std::vector<QByteArray>& folders)
    {
        std::vector<std::pair<std::pair<dev_t, ino_t>, int>> open;
        for (const QByteArray& folder : folders) {
            const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st;
            if (fd < 0)
                continue;
            if (::fstat(fd, &st) != 0) {
                ::close(fd);
                continue;
            }
            const auto key = std::make_pair(st.st_dev, st.st_ino);
            if (std::any_of(open.begin(), open.end(), [&](const auto& o) { return o.first == key; })) {
                ::close(fd);
                continue;
            }
            open.emplace_back(key, fd);
        }
        std::sort(open.begin(), open.end());
        for (const auto& o : open) {
            while (::flock(o.second, LOCK_EX) != 0 && errno == EINTR) {
            }
            fds.push_back(o.second);
        }
    }
    ~FolderLocks()
    {
        for (int fd : fds)
            ::close(fd);  // lets the lock go
    }
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

private:
    std::vector<int> fds;
};

}  // namespace

bool save_resolve(SaveTarget& t, const QByteArray& name)
{
    t = SaveTarget{};
    t.shown = name;
    t.name = name;
    if (name.isEmpty())
        return fail(t, ENOENT);
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (::stat(name.constData(), &st) != 0)
            return fail(t, errno == ENOENT ? SAVE_DANGLING : errno);
        // A link of the system's own (/dev/stdout) may name no path.
        if (char* real = ::realpath(name.constData(), nullptr)) {
            t.name = real;
            std::free(real);
        }
    }
    if (::stat(t.name.constData(), &st) != 0) {
        // Nothing there yet: the folder decides, when the file is made.
        return errno == ENOENT || errno == ENOTDIR ? true : fail(t, errno);
    }
    t.exists = true;
    t.dev = st.st_dev;
    t.ino = st.st_ino;
    if (S_ISDIR(st.st_mode))
        return fail(t, EISDIR);
    // As this process could write it in place (its effective user).
    if (::faccessat(AT_FDCWD, t.name.constData(), W_OK, AT_EACCESS) != 0)
        return fail(t, errno == EACCES ? SAVE_READ_ONLY : errno);
    return true;
}

bool save_same_file(const SaveTarget& a, const SaveTarget& b)
{
    return a.name == b.name || (a.exists && b.exists && a.dev == b.dev && a.ino == b.ino);
}

int save_check_names(const QList<QByteArray>& names, QString* reason)
{
    std::vector<QByteArray> folders;
    for (const QByteArray& name : names)
        folders.push_back(folder_of(name));
    FolderLocks locks(folders);
    std::vector<SaveTarget> targets(static_cast<size_t>(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        SaveTarget& t = targets[static_cast<size_t>(i)];
        if (!save_resolve(t, names[i])) {
            *reason = save_reason(t);
            return static_cast<int>(i);
        }
        for (qsizetype k = 0; k < i; ++k) {
            if (save_same_file(targets[static_cast<size_t>(k)], t)) {
                *reason = QStringLiteral("the same file as %1").arg(QString::fromLocal8Bit(names[k]));
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

bool save_open(SaveTarget& t, const QByteArray& name)
{
    if (!save_resolve(t, name))
        return false;
    struct stat st;
    const bool exists = ::stat(t.name.constData(), &st) == 0;
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
    int fd;
    {
        SignalsBlocked blocked;  // no moment when the file is on the disk but not known
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0)
            remember(temp);
    }
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
    if (t.error != 0)
        return false;
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
    if (!t.temp.isEmpty()) {
        if (::fsync(t.fd) != 0)
            fail(t, errno);
        trace("fsync", t.temp);
    }
    if (::close(t.fd) != 0)
        fail(t, errno);
    t.fd = -1;
    return t.error == 0;
}

bool save_replace(SaveTarget* targets, int count)
{
    int last = -1;  // the last target that is renamed
    std::vector<QByteArray> folders;
    for (int i = 0; i < count; ++i) {
        if (targets[i].error != 0 || targets[i].fd >= 0) {
            for (int k = 0; k < count; ++k)
                save_cancel(targets[k]);
            return false;
        }
        if (!targets[i].temp.isEmpty()) {
            last = i;
            folders.push_back(folder_of(targets[i].name));
        }
    }

    struct Done {
        int index;
        bool existed;
        QByteArray kept;  // the file that stood under the name, under a second name
    };
    std::vector<Done> done;
    FolderLocks locks(folders);
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
            SignalsBlocked blocked;
            if (::link(t.name.constData(), kept.constData()) == 0) {
                d.kept = kept;
                remember(kept);
            }
        }
        trace("rename", t.temp);
        trace("rename", t.name);
        if (::rename(t.temp.constData(), t.name.constData()) != 0) {
            fail(t, errno);
            if (!d.kept.isEmpty()) {
                ::unlink(d.kept.constData());
                forget(d.kept);
            }
            // Back as it was: the earlier names get their old files again,
            // a name that did not exist goes, the later temporaries go.
            for (auto it = done.rbegin(); it != done.rend(); ++it) {
                const QByteArray& name = targets[it->index].name;
                if (!it->kept.isEmpty()) {
                    ::rename(it->kept.constData(), name.constData());
                    forget(it->kept);
                } else if (!it->existed) {
                    ::unlink(name.constData());
                }
            }
            for (int k = 0; k < count; ++k)
                save_cancel(targets[k]);
            return false;
        }
        forget(t.temp);
        t.temp.clear();
        done.push_back(d);
    }

    for (const Done& d : done) {
        if (!d.kept.isEmpty()) {
            ::unlink(d.kept.constData());
            forget(d.kept);
        }
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
        forget(t.temp);
        t.temp.clear();
    }
}

QString save_reason(const SaveTarget& t)
{
    switch (t.error) {
    case SAVE_DANGLING:
        return QStringLiteral("a symbolic link to nothing (dangling)");
    case SAVE_READ_ONLY:
        return QStringLiteral("read-only (Permission denied)");
    default:
        return QString::fromLocal8Bit(strerror(t.error > 0 ? t.error : EIO));
    }
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

void save_clean_up_on_signals()
{
    for (int s : clean_up_signals) {
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction act {};
        act.sa_handler = remove_on_signal;
        sigemptyset(&act.sa_mask);
        for (int other : clean_up_signals)
            sigaddset(&act.sa_mask, other);
        ::sigaction(s, &act, nullptr);
    }
}
