#include "song/psg_read.h"

#include "io/files.h"
#include "io/report.h"
#include "song/frontend.h"
#include "song/song.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The input, read once and kept in memory: the reader counts the commands
// as the bytes arrive, so that it stops reading as soon as the song could
// not hold them (an endless device included), and then stores them from
// these bytes. Works on pipes and devices as on files.
class Input {
public:
    // most: the most bytes that an input the song can hold may have.
    Input(QIODevice* device, qint64 most) : dev(device), limit(most)
    {
        if (!dev->isSequential())
            expected = dev->size() - dev->pos();
    }
    ~Input() { std::free(data); }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    bool next(uint8_t& byte)
    {
        if (pos == len && !more())
            return false;
        byte = static_cast<uint8_t>(data[pos++]);
        return true;
    }

    // The byte handed out last.
    uint8_t last() const { return static_cast<uint8_t>(data[pos - 1]); }

    // Hands out the bytes already read again, from offset from on.
    void replay(qint64 from)
    {
        dev = nullptr;
        pos = from < len ? from : len;
    }

    qint64 pos = 0;         // offset of the next byte in the input
    bool too_long = false;  // the input goes on past the limit
    QString error;          // why reading failed; empty when it did not

private:
    bool more()
    {
        if (!dev)
            return false;
        if (len > limit) {
            too_long = true;
            dev = nullptr;
            return false;
        }
        if (len == size) {
            // Room for a whole file (and the read that finds its end) at
            // once; other inputs grow as they come. Never more than one
            // byte past the limit.
            qint64 want = size == 0 && expected >= 0 ? expected + 1 : 2 * size;
            want = std::min(std::max<qint64>(want, 1 << 16), limit + 1);
            char* grown = static_cast<char*>(std::realloc(data, static_cast<size_t>(want)));
            if (!grown) {
                error = QStringLiteral("not enough memory");
                dev = nullptr;
                return false;
            }
            data = grown;
            size = want;
        }
        // Blocks of at most 1 MiB: an input that turns out too long, or
        // that holds an undefined byte, is not read much further.
        const qint64 n = dev->read(data + len, std::min<qint64>(size - len, 1 << 20));
        if (n <= 0) {
            if (n < 0)
                error = dev->errorString();
            dev = nullptr;
            return false;
        }
        len += n;
        return true;
    }

    QIODevice* dev;
    qint64 limit;
    qint64 expected = -1;  // bytes left in a file; -1 for a pipe or device
    char* data = nullptr;
    qint64 len = 0;   // bytes read
    qint64 size = 0;  // bytes allocated
};

enum Outcome { STREAM_END, UNDEFINED_BYTE, SONG_FULL };

// Walks the commands of a stream; a command cut short by the end of the
// input is left out. Stops at an undefined command byte (the byte just
// taken) or at the first command the sink cannot take.
template <typename Sink> Outcome parse(Input& in, Sink& sink)
{
    uint8_t c;
    while (in.next(c)) {
        if (c <= 0x0F) {
            uint8_t v;
            if (!in.next(v))
                break;
            if (!sink.write(c, v))
                return SONG_FULL;
        } else if (c == PSG_WAIT) {
            uint8_t n;
            if (!in.next(n))
                break;
            if (!sink.frame_ends(4u * n))
                return SONG_FULL;
        } else if (c == PSG_FRAME_END) {
            if (!sink.frame_ends(1))
                return SONG_FULL;
        } else {
            return UNDEFINED_BYTE;
        }
    }
    return STREAM_END;
}

// Counts against the room left in the song.
struct Counter {
    uint32_t writes_left;
    uint32_t ends_left;
    bool write(uint8_t, uint8_t)
    {
        if (writes_left == 0)
            return false;
        --writes_left;
        return true;
    }
    bool frame_ends(uint32_t n)
    {
        if (n > ends_left)
            return false;
        ends_left -= n;
        return true;
    }
};

struct Store {
    uint8_t image[16] = {};
    bool write(uint8_t reg, uint8_t value)
    {
        image[reg] = value;
        music[event_count] = MusicEvent{reg, value, frame_count};
        ++event_count;
        return true;
    }
    bool frame_ends(uint32_t n)
    {
        for (uint32_t i = 1; i <= n; ++i) {
            FrameInfo& f = frames[frame_count + i];
            memcpy(f.regs, image, sizeof image);
            f.first_event = music + event_count;
        }
        frame_count += n;
        return true;
    }
};

// The song is whole before whoever shows it hears of it: the first read
// into a fresh song puts frame 0's first write in place here.
void finish_read()
{
    play_event = music;
    frames[0].first_event = music;
    cut_pos = 0;
    if (front_end.song_read)
        front_end.song_read();
}

}  // namespace

bool psg_require_signature;

ReadResult psg_read(const char* path, int handle, bool reset, ReadStop* stop)
{
    if (path)
        handle = io_open(path);
    if (handle == -1) {
        show_error(QStringLiteral("Can't open %1\n!").arg(QFile::decodeName(path ? path : "")));
        return READ_OPEN_FAILED;
    }
    QFile* file = files[handle];
    if (!file->isSequential())
        file->seek(0);

    // Room left in the song. Every write takes two bytes of the stream and
    // every frame end at least one, so a longer stream cannot fit (only
    // waits of no frames, 0xFE 0x00, make one longer); one more byte may be
    // a command cut short.
    Counter counter{MUSIC_MAX_LEN - (reset ? 0 : event_count), FRAMES_MAX_LEN - 1 - (reset ? 0 : frame_count)};
    Input in(file, PSG_HEADER_LEN + 2 * qint64{counter.writes_left} + counter.ends_left + 1);

    // The header, read rather than skipped: a pipe cannot seek.
    char header[PSG_HEADER_LEN];
    int header_len = 0;
    for (uint8_t b; header_len < PSG_HEADER_LEN && in.next(b);)
        header[header_len++] = static_cast<char>(b);
    if (psg_require_signature && in.error.isEmpty()
        && (header_len < static_cast<int>(sizeof PSG_SIGNATURE)
            || memcmp(header, PSG_SIGNATURE, sizeof PSG_SIGNATURE) != 0)) {
        file->close();
        return READ_NOT_PSG;
    }

    // The commands are counted as they are read; the song changes only once
    // the whole stream is known to fit.
    const Outcome counted = parse(in, counter);
    if (!in.error.isEmpty()) {
        file->close();
        const QString name = path ? QFile::decodeName(path) : file->fileName();
        show_error(QStringLiteral("Can't read %1: %2").arg(name, in.error));
        return READ_FAILED;
    }
    if (counted == SONG_FULL || in.too_long) {
        file->close();
        show_error(QStringLiteral("MUSIC_MAX_LEN is reached!"));
        return READ_TOO_BIG;
    }

    if (front_end.song_changing)
        front_end.song_changing();
    if (reset) {
        find_start = 0;
        event_count = 0;
        frame_count = 0;
        play_pos = 0;
    }
    memset(frames[0].regs, 0, sizeof frames[0].regs);

    Store store;
    in.replay(header_len);
    if (parse(in, store) == STREAM_END) {
        file->close();
        finish_read();
        return READ_COMPLETE;
    }

    // Rejected at an undefined byte: the song keeps what came before it and
    // is then set up like after a complete read, so it can be played and cut.
    qint64 p = in.pos - 1;
    if (!file->isSequential() && !file->seek(p))
        p = -1;
    if (stop) {
        stop->byte = in.last();
        stop->after = !file->isSequential() && p >= 0 ? file->size() - p - 1 : -1;
    }
    show_error(QString::asprintf("Wrong CMD 0x%x (0x%x)", in.last(), static_cast<uint32_t>(p)));
    file->close();
    finish_read();
    return READ_REJECTED;
}
