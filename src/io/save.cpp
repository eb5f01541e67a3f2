#include "io/save.h"

#include "io/report.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

void (*save_trace)(const char* step, const QByteArray& file);
int save_lock_patience_ms;

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

QString busy_reason(const QByteArray& folder)
{
    return QStringLiteral("another Trelvane is writing in %1").arg(QString::fromLocal8Bit(folder));
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
// while held (see Held), so the handler never sees it half changed.
std::vector<char*> on_disk;

// Every signal that ends the process and may be caught. Those the system
// sends for a fault of the program itself are cleaned up after but never
// held back.
const int clean_up_signals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1,
                                SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};
const int fault_signals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

sigset_t held_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : clean_up_signals)
        sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        sigaddset(&set, s);
    return set;
}

// > 0: that many sections are changing the files on the disk (a set of
// renames, the list of temporary names); -1: a handler is ending the process.
std::atomic<int> busy{0};
// A signal that came to another thread during such a section: the process
// ends with it once the section is over.
std::atomic<int> deferred{0};

// A section that a signal never interrupts: it is held back in this thread,
// and a handler running in another thread leaves the ending to the end of
// the section. So a set of renames is done whole, and the handler never
// finds the list of names half changed.
class Held {
public:
    Held()
    {
        const sigset_t set = held_signals();
        pthread_sigmask(SIG_BLOCK, &set, &old);
        for (;;) {
            int s = busy.load();
            if (s < 0) {
                for (;;)
                    ::pause();  // another thread is ending the process
            }
            if (busy.compare_exchange_weak(s, s + 1))
                break;
        }
    }
    ~Held()
    {
        const bool last = busy.fetch_sub(1) == 1;
        pthread_sigmask(SIG_SETMASK, &old, nullptr);  // a signal held back here ends the process now
        if (last) {
            const int sig = deferred.exchange(0);
            if (sig != 0)
                ::raise(sig);
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    sigset_t old;
};

void remember(const QByteArray& temp)
{
    Held held;
    on_disk.push_back(strdup(temp.constData()));
}

void forget(const QByteArray& temp)
{
    Held held;
    const auto it = std::find_if(on_disk.begin(), on_disk.end(), [&](char* n) { return temp == n; });
    if (it != on_disk.end()) {
        char* n = *it;
        on_disk.erase(it);
        std::free(n);
    }
}

void remove_on_signal(int sig)
{
    for (;;) {
        int s = busy.load();
        if (s > 0) {
            deferred.store(sig);
            if (busy.load() > 0)
                return;  // the section ends the process when it is over
            continue;
        }
        if (s < 0)
            return;  // another thread is already at it
        if (busy.compare_exchange_weak(s, -1))
            break;
    }
    for (char* name : on_disk)
        ::unlink(name);
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // ends the process as the signal would have once this returns
}

// Holds the lock of every folder of a set of names while they are renamed:
// another process that replaces names there waits for the whole set. The
// folders are locked in one order, so two sets never wait for each other.
// A writer that has waited a second says so; after save_lock_patience_ms
// (when set) it gives up, and busy names the folder it waited for.
class FolderLocks {
public:
    explicit FolderLocks(const std::vector<QByteArray>& folders)
    {
        std::vector<std::pair<std::pair<dev_t, ino_t>, std::pair<int, QByteArray>>> open;
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
            open.emplace_back(key, std::make_pair(fd, folder));
        }
        std::sort(open.begin(), open.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        const auto start = std::chrono::steady_clock::now();
        bool said = false;
        for (const auto& o : open) {
            fds.push_back(o.second.first);
            while (::flock(o.second.first, LOCK_EX | LOCK_NB) != 0) {
                if (errno != EWOULDBLOCK && errno != EINTR)
                    break;  // a folder that cannot be locked is written unlocked, as before
                const auto waited
                    = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                          .count();
                if (!said && waited >= 1000) {
                    io_diag(DIAG_WAITING, "waiting for another Trelvane writing in %s\n", o.second.second.constData());
                    said = true;
                }
                if (save_lock_patience_ms > 0 && waited >= save_lock_patience_ms) {
                    busy = o.second.second;
                    return;
                }
                ::usleep(10000);
            }
        }
    }
    ~FolderLocks()
    {
        for (int fd : fds)
            ::close(fd);  // lets the lock go
    }
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

    QByteArray busy;  // the folder given up on, or empty

private:
    std::vector<int> fds;
};

// The descriptor of this process that name stands for (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N, or a link to one of them), or -1. What such
// a name leads to is where the descriptor writes (a file the shell opened
// with >> goes on at its end), never a file to replace.
int own_descriptor(const QByteArray& name)
{
    const QByteArray pid = "/proc/" + QByteArray::number(::getpid()) + "/fd/";
    QByteArray path = name;
    for (int hop = 0; hop < 40; ++hop) {
        for (const QByteArray& prefix :
             {QByteArray("/dev/fd/"), QByteArray("/proc/self/fd/"), QByteArray("/proc/thread-self/fd/"), pid}) {
            if (!path.startsWith(prefix) || path.size() == prefix.size())
                continue;
            bool digits = true;
            for (qsizetype i = prefix.size(); i < path.size(); ++i)
                digits = digits && path[i] >= '0' && path[i] <= '9';
            if (digits && path.size() - prefix.size() < 10)
                return path.mid(prefix.size()).toInt();
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof target))
            return -1;
        QByteArray next(target, n);
        path = next.startsWith('/') ? next : folder_of(path) + '/' + next;
    }
    return -1;
}

// Whether this process may replace or remove a file of another owner in
// its folder: a folder with the sticky bit lets only the owners (of the
// file or the folder) and root do so.
bool may_replace_in_folder(const QByteArray& name, const struct stat& file)
{
    const uid_t me = ::geteuid();
    if (me == 0 || file.st_uid == me)
        return true;
    struct stat folder;
    if (::stat(folder_of(name).constData(), &folder) != 0)
        return true;  // the rename says why
    return !(folder.st_mode & S_ISVTX) || folder.st_uid == me;
}

}  // namespace

bool save_resolve(SaveTarget& t, const QByteArray& name)
{
    t = SaveTarget{};
    t.shown = name;
    t.name = name;
    if (name.isEmpty())
        return fail(t, ENOENT);
    struct stat st;
    t.through = own_descriptor(name);
    if (t.through >= 0) {
        const int flags = ::fcntl(t.through, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
            return fail(t, EBADF);
        if (::fstat(t.through, &st) == 0) {
            t.exists = true;
            t.dev = st.st_dev;
            t.ino = st.st_ino;
        }
        return true;
    }
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
    if (S_ISREG(st.st_mode) && !may_replace_in_folder(t.name, st))
        return fail(t, EPERM);
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
    if (!locks.busy.isEmpty()) {
        *reason = busy_reason(locks.busy);
        return 0;
    }
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
    if (t.through >= 0) {
        t.fd = ::fcntl(t.through, F_DUPFD_CLOEXEC, 0);
        return t.fd >= 0 ? true : fail(t, errno);
    }
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
        Held held;  // no moment when the file is on the disk but not known
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
    if (!locks.busy.isEmpty()) {
        for (int i = 0; i < count; ++i) {
            if (!targets[i].temp.isEmpty() && folder_of(targets[i].name) == locks.busy) {
                fail(targets[i], SAVE_BUSY);
                break;
            }
        }
        for (int k = 0; k < count; ++k)
            save_cancel(targets[k]);
        return false;
    }
    {
        // The set is replaced whole: a signal that comes meanwhile ends the
        // process only once every name has its new file, or its old one.
        Held held;
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
    }

    std::vector<QByteArray> synced;
    for (const Done& d : done) {
        if (!d.kept.isEmpty()) {
            ::unlink(d.kept.constData());
            forget(d.kept);
        }
        const QByteArray folder = folder_of(targets[d.index].name);
        if (std::find(synced.begin(), synced.end(), folder) == synced.end()) {
            sync_folder(targets[d.index].name);
            synced.push_back(folder);
        }
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
    case SAVE_BUSY:
        return busy_reason(folder_of(t.name));
    default:
        return QString::fromLocal8Bit(strerror(t.error > 0 ? t.error : EIO));
    }
}

bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason)
{
    SaveTarget t;
    const bool ok
        = save_open(t, name) && save_write(t, bytes.constData(), bytes.size()) && save_close(t) && save_replace(&t, 1);
    if (!ok) {
        save_cancel(t);
        if (reason)
            *reason = save_reason(t);
    }
    return ok;
}

void save_clean_up_on_signals()
{
    // A signal that is ignored stays so, and one that a library already
    // handles stays with it.
    std::vector<int> all(std::begin(clean_up_signals), std::end(clean_up_signals));
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s)
        all.push_back(s);
    all.insert(all.end(), std::begin(fault_signals), std::end(fault_signals));
    for (int s : all) {
        struct sigaction old { };
        if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO))
            continue;
        struct sigaction act { };
        act.sa_handler = remove_on_signal;
        act.sa_mask = held_signals();
        ::sigaction(s, &act, nullptr);
    }
}
