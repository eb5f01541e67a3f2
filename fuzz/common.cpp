#include "common.h"

#include "io/files.h"
#include "io/report.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

QByteArray dir;
int memory_file = -1;

void no_message(const Failure&) { }
void no_diag(DiagKind, const QByteArray&) { }

void remove_dir()
{
    QDir(QString::fromLocal8Bit(dir)).removeRecursively();
}

}  // namespace

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz check failed: %s (frames %u, writes %u)\n", what, frame_count, event_count);
        abort();
    }
}

void fuzz_init()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    report.show_failure = no_message;
    report.diag = no_diag;
    // On ext4 emptying a file that has data waits for the disk; the cut's
    // temporary files go to memory as well.
    if (access("/dev/shm", W_OK) == 0)
        qputenv("TMPDIR", "/dev/shm");
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/trelvane-fuzz.XXXXXX";
    if (!mkdtemp(pattern.data()))
        abort();
    dir = pattern;
    atexit(remove_dir);
    memory_file = memfd_create("psg", 0);
    if (memory_file < 0)
        abort();
}

const char* fuzz_dir()
{
    return dir.constData();
}

uint8_t param(const uint8_t* data, size_t size, size_t k)
{
    return 4 + k < size ? data[4 + k] : 0;
}

Expected describe(const uint8_t* data, size_t size, uint32_t first_frame)
{
    Expected e;
    for (size_t p = PSG_HEADER_LEN; p < size;) {
        const uint8_t c = data[p++];
        if (c <= 0x0F) {
            if (p == size)
                break;
            e.writes.push_back(MusicEvent{c, data[p++], static_cast<uint32_t>(first_frame + e.ends)});
        } else if (c == PSG_WAIT) {
            if (p == size)
                break;
            e.ends += 4u * data[p++];
        } else if (c == PSG_FRAME_END) {
            ++e.ends;
        } else {
            e.rejected = true;
            break;
        }
    }
    return e;
}

bool too_long_to_fuzz(const Expected& e)
{
    return e.ends > FUZZ_MAX_FRAMES && e.ends <= FRAMES_MAX_LEN - 1 && e.writes.size() <= MUSIC_MAX_LEN;
}

ReadResult read_bytes(const uint8_t* data, size_t size, bool reset)
{
    if (ftruncate(memory_file, 0) != 0 || pwrite(memory_file, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    auto* file = new QFile();
    if (!file->open(memory_file, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        abort();
    files.append(file);
    const ReadResult result = psg_read(nullptr, static_cast<int>(files.size() - 1), reset);
    release_files();
    return result;
}

bool same_write(const MusicEvent& a, const MusicEvent& b)
{
    return a.reg == b.reg && a.value == b.value && a.frame == b.frame;
}

void check_model(uint32_t restart_frame, uint32_t restart_write)
{
    check(event_count <= MUSIC_MAX_LEN && frame_count <= FRAMES_MAX_LEN - 1, "limits");
    uint8_t image[16] = {}, appended[16] = {};
    uint32_t k = 0;
    for (uint32_t f = 0; f <= frame_count; ++f) {
        const uint8_t* want = f > restart_frame ? appended : image;
        check(memcmp(frames[f].regs, want, sizeof image) == 0, "register image");
        check(frames[f].first_event == music + k, "first write of a frame");
        for (; k < event_count && music[k].frame == f; ++k) {
            check(music[k].reg <= 0x0F, "register number");
            (k >= restart_write ? appended : image)[music[k].reg] = music[k].value;
        }
        check(k == event_count || music[k].frame > f, "frame numbers decrease");
    }
    check(k == event_count, "write past the last frame");
}

void release_files()
{
    qDeleteAll(files);
    files.clear();
}
