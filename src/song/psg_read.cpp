#include "song/psg_read.h"

#include "io/files.h"
#include "io/report.h"
#include "song/frontend.h"
#include "song/song.h"

#include <cstring>

namespace {

// Reads the command stream in large blocks instead of a call per byte.
class ByteStream {
public:
    explicit ByteStream(QIODevice* device) : dev(device) {}

    bool next(uint8_t& byte)
    {
        if (pos == len) {
            len = dev->read(buffer, sizeof buffer);
            pos = 0;
            if (len <= 0) {
                len = 0;
                return false;
            }
        }
        byte = static_cast<uint8_t>(buffer[pos++]);
        ++taken;
        return true;
    }

    qint64 taken = 0;  // bytes handed out so far

private:
    QIODevice* dev;
    static char buffer[1 << 16];
    qint64 len = 0;
    qint64 pos = 0;
};

char ByteStream::buffer[1 << 16];

// Walks the commands of a stream; a command cut short by the end of the
// file is left out. Returns -1 at the end of the file, or the offset of an
// undefined command byte (counted from the first command) with the byte.
template <typename Sink>
qint64 parse(ByteStream& in, Sink& sink, uint8_t& bad)
{
    uint8_t c;
    while (in.next(c)) {
        if (c <= 0x0F) {
            uint8_t v;
            if (!in.next(v))
                break;
            sink.write(c, v);
        } else if (c == PSG_WAIT) {
            uint8_t n;
            if (!in.next(n))
                break;
            sink.frame_ends(4u * n);
        } else if (c == PSG_FRAME_END) {
            sink.frame_ends(1);
        } else {
            bad = c;
            return in.taken - 1;
        }
    }
    return -1;
}

struct Counter {
    uint64_t writes = 0;
    uint64_t ends = 0;
    void write(uint8_t, uint8_t) { ++writes; }
    void frame_ends(uint32_t n) { ends += n; }
};

struct Store {
    uint8_t image[16] = {};
    void write(uint8_t reg, uint8_t value)
    {
        image[reg] = value;
        music[event_count] = MusicEvent{reg, value, frame_count};
        ++event_count;
    }
    void frame_ends(uint32_t n)
    {
        for (uint32_t i = 1; i <= n; ++i) {
            FrameInfo& f = frames[frame_count + i];
            memcpy(f.regs, image, sizeof image);
            f.first_event = music + event_count;
        }
        frame_count += n;
    }
};

void finish_read()
{
    if (front_end.song_read)
        front_end.song_read();
    play_event = music;
    frames[0].first_event = music;
    cut_pos = 0;
}

}  // namespace

bool psg_require_signature;

ReadResult psg_read(const char* path, int handle, bool reset)
{
    if (path)
        handle = io_open(path);
    if (handle == -1) {
        show_error(QStringLiteral("Can't open %1\n!").arg(QString::fromUtf8(path ? path : "")));
        return READ_OPEN_FAILED;
    }
    QFile* file = files[handle];
    if (psg_require_signature) {
        char signature[4] = {};
        file->seek(0);
        if (file->read(signature, 4) != 4 || memcmp(signature, "PSG\x1a", 4) != 0) {
            file->close();
            return READ_NOT_PSG;
        }
    }

    // A first pass checks the capacities, so that a file too big for the
    // song is turned away before anything changes.
    uint8_t bad = 0;
    Counter counter;
    file->seek(PSG_HEADER_LEN);
    {
        ByteStream in(file);
        parse(in, counter, bad);
    }
    const uint64_t writes = counter.writes + (reset ? 0 : event_count);
    const uint64_t ends = counter.ends + (reset ? 0 : frame_count);
    if (writes > MUSIC_MAX_LEN || ends > FRAMES_MAX_LEN - 1) {
        file->close();
        show_error(QStringLiteral("MUSIC_MAX_LEN is reached!"));
        return READ_TOO_BIG;
    }

    if (reset) {
        find_start = 0;
        event_count = 0;
        frame_count = 0;
        play_pos = 0;
    }
    memset(frames[0].regs, 0, sizeof frames[0].regs);

    Store store;
    file->seek(PSG_HEADER_LEN);
    ByteStream in(file);
    qint64 offset = parse(in, store, bad);
    if (offset < 0) {
        file->close();
        finish_read();
        return READ_COMPLETE;
    }

    // Rejected at an undefined byte: the song keeps what came before it and
    // is then set up like after a complete read, so it can be played and cut.
    qint64 p = PSG_HEADER_LEN + offset;
    if (!file->seek(p))
        p = -1;
    show_error(QString::asprintf("Wrong CMD 0x%x (0x%x)", bad, static_cast<uint32_t>(p)));
    file->close();
    finish_read();
    return READ_REJECTED;
}
