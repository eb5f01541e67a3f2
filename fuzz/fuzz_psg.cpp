// Any bytes as a PSG file. The reader must build the song the bytes
// describe and keep the song model's rules; writing that song and reading
// it back must give the same frames. Any difference aborts.
#include "io/files.h"
#include "io/report.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"

#include <QByteArray>
#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_psg: %s (frames %u, writes %u)\n", what, frame_count, event_count);
        abort();
    }
}

void no_message(const QString&) {}

// The song the bytes describe, worked out here straight from the command
// table: each write with its frame, the number of frame ends, and whether
// an undefined byte stops the reading. A command cut short by the end of
// the file is left out.
struct Expected {
    std::vector<MusicEvent> writes;
    uint64_t ends = 0;
    bool rejected = false;
};

Expected describe(const uint8_t* data, size_t size)
{
    Expected e;
    for (size_t p = PSG_HEADER_LEN; p < size;) {
        const uint8_t c = data[p++];
        if (c <= 0x0F) {
            if (p == size)
                break;
            e.writes.push_back(MusicEvent{c, data[p++], static_cast<uint32_t>(e.ends)});
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

bool same_write(const MusicEvent& a, const MusicEvent& b)
{
    return a.reg == b.reg && a.value == b.value && a.frame == b.frame;
}

// The rules every reader of the model relies on, for a song read from one
// file with reset.
void check_model()
{
    check(event_count <= MUSIC_MAX_LEN && frame_count <= FRAMES_MAX_LEN - 1, "limits");
    uint8_t image[16] = {};
    uint32_t k = 0;
    for (uint32_t f = 0; f <= frame_count; ++f) {
        check(memcmp(frames[f].regs, image, sizeof image) == 0, "register image");
        check(frames[f].first_event == music + k, "first write of a frame");
        for (; k < event_count && music[k].frame == f; ++k) {
            check(music[k].reg <= 0x0F, "register number");
            image[music[k].reg] = music[k].value;
        }
        check(k == event_count || music[k].frame > f, "frame numbers decrease");
    }
    check(k == event_count, "write past the last frame");
    check(play_event == music && cut_pos == 0 && play_pos == 0 && find_start == 0, "positions");
}

struct Paths {
    QByteArray dir, input, output;
};

const Paths& paths()
{
    static Paths p = [] {
        Paths made;
        // Memory-backed when there is such a folder: on ext4 emptying a file
        // that has data (each write of the output) waits for the disk.
        QByteArray base = access("/dev/shm", W_OK) == 0 ? QByteArray("/dev/shm")
                                                        : QDir::tempPath().toUtf8();
        QByteArray pattern = base + "/fuzz_psg.XXXXXX";
        if (!mkdtemp(pattern.data()))
            abort();
        made.dir = pattern;
        made.input = pattern + "/in.psg";
        made.output = pattern + "/out.psg";
        report.diag = [](const QByteArray&) {};
        report.show_error = no_message;
        atexit([] {
            unlink(paths().input.constData());
            unlink(paths().output.constData());
            rmdir(paths().dir.constData());
        });
        return made;
    }();
    return p;
}

// The file table keeps every file object for the life of the process; a
// fuzzer runs millions of reads, so it lets go of them between inputs.
void release_files()
{
    qDeleteAll(files);
    files.clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Paths& p = paths();
    FILE* in = fopen(p.input.constData(), "wb");
    if (!in || fwrite(data, 1, size, in) != size || fclose(in) != 0)
        abort();

    const Expected e = describe(data, size);
    const uint32_t old_frames = frame_count, old_writes = event_count;
    const ReadResult result = psg_read(p.input.constData(), 0, true);
    if (e.ends > FRAMES_MAX_LEN - 1 || e.writes.size() > MUSIC_MAX_LEN) {
        check(result == READ_TOO_BIG, "too big, not turned away");
        check(frame_count == old_frames && event_count == old_writes, "song changed by a refused file");
        release_files();
        return 0;
    }
    check(result == (e.rejected ? READ_REJECTED : READ_COMPLETE), "read result");
    check(frame_count == e.ends, "frame count");
    check(event_count == e.writes.size(), "write count");
    for (uint32_t k = 0; k < event_count; ++k)
        check(same_write(music[k], e.writes[k]), "write differs from the file");
    check_model();

    // Frames 0 .. frame_count - 1 written out and read back: the same writes
    // in the same frames, and the last frame empty.
    const uint32_t song_frames = frame_count;
    const std::vector<MusicEvent> kept(music, frames[song_frames].first_event);
    check(psg_write(0, p.output.constData(), song_frames) != -1, "write failed");
    check(psg_read(p.output.constData(), 0, true) == READ_COMPLETE, "written file not read completely");
    check(frame_count == song_frames, "frame count after the round trip");
    check(event_count == kept.size(), "write count after the round trip");
    for (uint32_t k = 0; k < event_count; ++k)
        check(same_write(music[k], kept[k]), "write differs after the round trip");
    check_model();
    release_files();
    return 0;
}
