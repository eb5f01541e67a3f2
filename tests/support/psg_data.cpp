#include "support/psg_data.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

QByteArray psg_header()
{
    QByteArray h("PSG\x1a", 4);
    h.append(12, '\0');
    return h;
}

QByteArray psg_bytes(std::initializer_list<int> commands)
{
    QByteArray bytes = psg_header();
    for (int c : commands)
        bytes.append(static_cast<char>(c));
    return bytes;
}

PsgBuilder& PsgBuilder::write(int reg, int value)
{
    bytes.append(static_cast<char>(reg));
    bytes.append(static_cast<char>(value));
    return *this;
}

PsgBuilder& PsgBuilder::end(int count)
{
    bytes.append(count, '\xff');
    frames += count;
    return *this;
}

PsgBuilder& PsgBuilder::wait(int n)
{
    bytes.append('\xfe');
    bytes.append(static_cast<char>(n));
    frames += 4 * n;
    return *this;
}

QString write_temp_psg(const QString& name, const QByteArray& bytes)
{
    static QTemporaryDir dir;
    QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

ReadResult load_psg(const QByteArray& bytes, bool reset)
{
    static int n = 0;
    const QString path = write_temp_psg(QStringLiteral("song%1.psg").arg(n++), bytes);
    return psg_read(path.toUtf8().constData(), 0, reset);
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

namespace {

QByteArray link_target(const QString& path)
{
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
    return n < 0 ? QByteArray() : QByteArray(target, static_cast<qsizetype>(n));
}

}  // namespace

QMap<QString, QByteArray> folder_listing(const QString& path)
{
    QMap<QString, QByteArray> all;
    for (const QFileInfo& e : QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        all[e.fileName()] = e.isSymLink() ? "<link to " + link_target(e.filePath()) + ">"
            : e.isDir()                   ? QByteArray("<folder>")
                                          : read_file(e.filePath());
    return all;
}

QString test_output_dir()
{
    QString dir = qEnvironmentVariable("TRELVANE_TEST_OUT", QDir::tempPath());
    QDir().mkpath(dir);
    return dir;
}
