#include "formats/convert.h"

#include "audio/chip.h"
#include "edit/loops.h"
#include "formats/unpack.h"
#include "formats/ym.h"
#include "io/files.h"
#include "io/report.h"
#include "song/song.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ExportFormat export_format(const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    if (lower.endsWith(".ym"))
        return EXPORT_YM;
    if (lower.endsWith(".vgm"))
        return EXPORT_VGM;
    return EXPORT_NONE;
}

QByteArray file_title(const QByteArray& path)
{
    QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0)
        name.truncate(dot);
    return name;
}

bool loop_point(uint32_t start, uint32_t period, uint32_t* frame)
{
    if (period == 0 || start >= frame_count)
        return false;
    const std::vector<uint32_t> ids = frame_ids();
    for (uint32_t f = start + period; f < frame_count; ++f)
        if (ids[f] != ids[f - period])
            return false;
    const uint32_t end = frame_count;
    for (uint32_t at = start + (end - start) % period; at < end; at += period) {
        if (memcmp(frames[at].regs, frames[end].regs, REG_ENV_COARSE + 1) == 0) {
            *frame = at;
            return true;
        }
    }
    return false;
}

namespace {

// The whole file at path; false with the reason.
bool read_whole(const QByteArray& path, QByteArray* bytes, QByteArray* error)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = strerror(EISDIR);
        return false;
    }
    // The name's bytes go to the system as given.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = strerror(errno);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString().toLocal8Bit();
        return false;
    }
    // Read in pieces: the input may be a pipe.
    while (!file.atEnd()) {
        const QByteArray piece = file.read(1 << 20);
        if (piece.isEmpty() && file.error() != QFileDevice::NoError) {
            *error = file.errorString().toLocal8Bit();
            return false;
        }
        bytes->append(piece);
        if (bytes->size() > UNPACKED_MAX) {
            *error = "too large";
            return false;
        }
        if (piece.isEmpty())
            break;
    }
    return true;
}

}  // namespace

bool import_file(const QByteArray& path, RegisterDump* dump, DumpInfo* info, QByteArray* error)
{
    QByteArray bytes;
    if (!read_whole(path, &bytes, error))
        return false;
    if (is_vgm(bytes))
        return vgm_read(bytes, dump, info, error);
    if (is_ym(bytes))
        return ym_read(bytes, dump, info, error);
    *error = "not a YM or VGM file";
    return false;
}

bool is_chip_music(const QByteArray& start)
{
    return is_vgm(start) || is_ym(start);
}

QList<QByteArray> import_notes(const DumpInfo& info)
{
    QList<QByteArray> notes = info.notes;
    if (info.clock != DEFAULT_CLOCK)
        notes << "chip clock " + QByteArray::number(info.clock) + " Hz; the periods are kept as written";
    return notes;
}

ReadResult read_dump(const RegisterDump& dump, bool reset)
{
    const int handle = io_tmpfile();
    if (handle == -1)
        return READ_FAILED;
    const QByteArray psg = psg_encode(dump);
    if (io_write(handle, psg.constData(), psg.size()) != psg.size() || !files[handle]->flush()) {
        io_drop_tmpfile(handle);
        show_error(QStringLiteral("Can't write file!"));
        return READ_FAILED;
    }
    const ReadResult result = psg_read(nullptr, handle, reset);
    io_drop_tmpfile(handle);
    return result;
}
