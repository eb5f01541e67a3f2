#include "io/files.h"

#include "io/report.h"
#include "io/save.h"

#include <QDir>
#include <QHash>
#include <QTemporaryFile>

#include <vector>

QList<QFile*> files;

namespace {

// The files of io_creat_pending not yet put in place, by handle.
QHash<int, SaveTarget> pending;

int enter(QFile* file)
{
    files.append(file);
    return static_cast<int>(files.size() - 1);
}

}  // namespace

QString io_path(const char* path)
{
    if (!path)
        return QString();
    return QDir::fromNativeSeparators(QString::fromUtf8(path));
}

int io_open(const char* path)
{
    QString name = QDir::fromNativeSeparators(io_path(path));
    auto* file = new QFile(name);
    if (!QFile::exists(name)) {
        io_diag("The file does not exist %s", name.toLocal8Bit().constData());
        delete file;
        return -1;
    }
    if (!file->open(QIODevice::ReadOnly)) {
        io_diag("Failed to open %s", path ? path : "");
        delete file;
        return -1;
    }
    files.append(file);
    return static_cast<int>(files.size() - 1);
}

int io_creat(const char* path)
{
    // The layer writes relative to a fixed output directory, the empty one:
    // that is the current directory, and names are used as given.
    const QString directory;
    if (!QDir(directory).exists()) {
        io_diag("io_creat : Directory does not exist\n");
        return -1;
    }
    QString name = QDir::fromNativeSeparators(directory);
    if (!directory.isEmpty())
        name += QStringLiteral("/");
    name += QDir::fromNativeSeparators(io_path(path));
    auto* file = new QFile(name);
    if (!file->open(QIODevice::ReadWrite)) {
        io_diag("Failed to create %s\n", path ? path : "");
        delete file;
        return -1;
    }
    file->resize(0);
    files.append(file);
    return static_cast<int>(files.size() - 1);
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
    return files[handle]->write(static_cast<const char*>(bytes), length);
}

int io_creat_pending(const char* path)
{
    const QByteArray name(path ? path : "");
    SaveTarget t;
    QFile* file = nullptr;
    if (save_open(t, name)) {
        file = new QFile;
        if (!file->open(t.fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            delete file;
            file = nullptr;
            save_cancel(t);
        }
    }
    if (!file) {
        io_diag("Failed to create %s\n", name.constData());
        return -1;
    }
    const int handle = enter(file);
    pending.insert(handle, t);
    return handle;
}

bool io_put_in_place(const int* handles, int count)
{
    std::vector<SaveTarget> targets;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        QFile* file = files[handles[i]];
        if (!file->flush())
            ok = false;
        file->close();
        targets.push_back(pending.take(handles[i]));
        if (!save_close(targets.back()))
            ok = false;
    }
    if (ok && save_replace(targets.data(), count))
        return true;
    for (SaveTarget& t : targets)
        save_cancel(t);
    return false;
}

void io_abandon(int handle)
{
    if (!pending.contains(handle))
        return;
    files[handle]->close();
    SaveTarget t = pending.take(handle);
    save_cancel(t);
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
