#include "io/files.h"

#include "io/save.h"

#include <QDir>
#include <QHash>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

QList<QFile*> files;
bool io_pipes_wait;

namespace {

// The files of io_creat_pending not yet put in place, by handle.
QHash<int, SaveTarget> pending;

int enter(QFile* file)
{
    files.append(file);
    return static_cast<int>(files.size() - 1);
}

// A Qt file object for an open descriptor, which it then owns.
QFile* file_for(int fd, QIODevice::OpenMode mode)
{
    auto* file = new QFile;
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        delete file;
        return nullptr;
    }
    return file;
}

void failed_file(Failure* why, const QByteArray& name, const QString& reason)
{
    if (why)
        *why = Failure{FAIL_FILE, QString(), name, reason};
}

}  // namespace

QString io_path(const char* path)
{
    if (!path)
        return QString();
    return QDir::fromNativeSeparators(QFile::decodeName(path));
}

int io_open(const char* path)
{
    const char* name = path ? path : "";
    struct stat st;
    if (::stat(name, &st) != 0) {
        io_diag(DIAG_NOTE, "The file does not exist %s", name);
        return -1;
    }
    // A pipe without a writer would hold the open until one comes.
    const bool pipe = S_ISFIFO(st.st_mode) && !io_pipes_wait;
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0));
    if (pipe && fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile* file = nullptr;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode))
        file = file_for(fd, QIODevice::ReadOnly);
    else if (fd >= 0)
        ::close(fd);
    if (!file) {
        io_diag(DIAG_NOTE, "Failed to open %s", name);
        return -1;
    }
    return enter(file);
}

int io_creat(const char* path)
{
    // The layer writes relative to a fixed output directory, the empty one:
    // that is the current directory, and names are used as given.
    const QString directory;
    if (!QDir(directory).exists()) {
        io_diag(DIAG_NOTE, "io_creat : Directory does not exist\n");
        return -1;
    }
    const char* name = path ? path : "";
    const int fd = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    QFile* file = fd >= 0 ? file_for(fd, QIODevice::ReadWrite) : nullptr;
    if (!file) {
        io_diag(DIAG_NOTE, "Failed to create %s\n", name);
        return -1;
    }
    return enter(file);
}

int io_tmpfile()
{
    auto* file = new QTemporaryFile();
    if (!file->open()) {
        delete file;
        show_error(QStringLiteral("Failed to create tempfiles\n"));
        return -1;
    }
    file->resize(0);
    return enter(file);
}

void io_read(int handle, unsigned char* dest)
{
    char byte;
    if (files[handle]->read(&byte, 1) == 1)
        *dest = static_cast<unsigned char>(byte);
}

qint64 io_write(int handle, const void* bytes, qint64 length)
{
    // A file to be put in place is written straight to its descriptor, so
    // that a failure keeps the system's reason.
    const auto it = pending.find(handle);
    if (it != pending.end())
        return save_write(*it, static_cast<const char*>(bytes), length) ? length : -1;
    return files[handle]->write(static_cast<const char*>(bytes), length);
}

bool io_check_outputs(const QList<QByteArray>& names, Failure* why)
{
    QString reason;
    const int refused = save_check_names(names, &reason);
    if (refused < 0)
        return true;
    failed_file(why, names[refused], reason);
    io_diag(DIAG_CREATE_FAILED, "Failed to create %s\n", names[refused].constData());
    return false;
}

int io_creat_pending(const char* path, Failure* why)
{
    const QByteArray name(path ? path : "");
    SaveTarget t;
    QFile* file = nullptr;
    if (!save_open(t, name)) {
        failed_file(why, name, save_reason(t));
    } else {
        file = new QFile;
        if (!file->open(t.fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            delete file;
            file = nullptr;
            failed_file(why, name, QStringLiteral("can't be opened"));
            save_cancel(t);
        }
    }
    if (!file) {
        io_diag(DIAG_CREATE_FAILED, "Failed to create %s\n", name.constData());
        return -1;
    }
    const int handle = enter(file);
    pending.insert(handle, t);
    return handle;
}

bool io_put_in_place(const int* handles, int count, Failure* why)
{
    std::vector<SaveTarget> targets;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        QFile* file = files[handles[i]];
        if (file->isOpen() && !file->flush())
            ok = false;
        file->close();
        targets.push_back(pending.take(handles[i]));
        if (!save_close(targets.back()))
            ok = false;
    }
    if (ok && save_replace(targets.data(), count))
        return true;
    for (SaveTarget& t : targets) {
        if (t.error != 0) {
            failed_file(why, t.shown, save_reason(t));
            break;
        }
    }
    for (SaveTarget& t : targets)
        save_cancel(t);
    return false;
}

bool io_close_pending(int handle, Failure* why)
{
    const auto it = pending.find(handle);
    if (it == pending.end())
        return false;
    files[handle]->close();
    if (save_close(*it))
        return true;
    io_fail(handle, why);
    return false;
}

void io_fail(int handle, Failure* why)
{
    const auto it = pending.find(handle);
    if (it == pending.end())
        return;
    failed_file(why, it->shown, save_reason(*it));
    io_abandon(handle);
}

void io_abandon(int handle)
{
    if (!pending.contains(handle))
        return;
    files[handle]->close();
    SaveTarget t = pending.take(handle);
    save_cancel(t);
}

QByteArray io_name(const QString& name)
{
    return QFile::encodeName(name);
}

void io_drop_tmpfile(int handle)
{
    if (handle < 0 || handle >= files.size())
        return;
    if (auto* tmp = qobject_cast<QTemporaryFile*>(files[handle])) {
        tmp->close();
        tmp->remove();
    }
}

void io_remove_tmpfiles()
{
    for (int h = 0; h < files.size(); ++h)
        io_drop_tmpfile(h);
    const QList<int> left = pending.keys();
    for (int h : left)
        io_abandon(h);
}
