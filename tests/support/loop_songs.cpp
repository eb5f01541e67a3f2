#include "support/loop_songs.h"

#include "audio/chip.h"
#include "support/psg_data.h"

#include <vector>

namespace {

using Frame = std::vector<std::pair<int, int>>;

constexpr int TUNE[] = {253, 201, 336, 253, 180, 201, 150, 400};

QByteArray bytes_of(const std::vector<Frame>& frames)
{
    PsgBuilder b;
    for (const Frame& f : frames) {
        for (const auto& w : f)
            b.write(w.first, w.second);
        b.end();
    }
    return b.bytes;
}

// The recording: the song, then its frames from `from` on again, `again` of them.
QByteArray recording(std::vector<Frame> song, size_t from, size_t again)
{
    for (size_t k = 0; k < again; ++k)
        song.push_back(song[from + k]);
    return bytes_of(song);
}

// A tune on A: a new note every 10 frames.
void tune(std::vector<Frame>& song, size_t first, size_t count)
{
    for (size_t f = first; f < first + count; f += 10) {
        const int p = TUNE[(f / 10) % 8] + static_cast<int>(f % 7);
        song[f].push_back({0, p & 0xFF});
        song[f].push_back({1, p >> 8});
    }
}

}  // namespace

LoopSong loop_song(LoopSongKind kind)
{
    std::vector<Frame> song(500);
    switch (kind) {
    case REWRITTEN_IN_LOOP:
        // Intro 0..99; loop 100..499, played again for 330 frames. B's level
        // is 12 in the intro and 5 from loop frame 150 (frame 250) on.
        song[0] = {{7, 0x38}, {8, 15}, {9, 12}, {2, 0x20}, {3, 1}};
        tune(song, 1, 499);
        song[250].push_back({9, 5});
        return {"rewritten in the loop", recording(song, 100, 330), 250, 400};
    case ENVELOPE_RUNS_ON:
        // C follows a triangle envelope started once at frame 3, whose steps
        // do not divide the loop: every pass meets it in another phase.
        song[0] = {{7, 0x38}, {8, 13}, {10, 0x10}, {4, 0x30}, {11, 77}, {12, 0}};
        song[3] = {{13, 14}};
        tune(song, 1, 499);
        return {"envelope runs on", recording(song, 100, 330), 101, 400};
    case LOOP_AT_FRAME_0:
        // Frame 0 writes every register the song changes later.
        song[0] = {{7, 0x3E}, {8, 15}, {0, 100}, {1, 0}};
        tune(song, 10, 490);
        return {"loop at frame 0", recording(song, 0, 330), 0, 500};
    case NEVER_REPEATS:
        for (size_t f = 0; f < song.size(); ++f)
            song[f] = {{0, static_cast<int>(f & 0xFF)}, {1, static_cast<int>(f >> 8)}};
        song[0].push_back({7, 0x3E});
        song[0].push_back({8, 15});
        return {"never repeats", bytes_of(song), UINT32_MAX, 0};
    }
    return {};
}

QByteArray streamed_chain(const QByteArray& intro, const QByteArray& loop, uint32_t frames)
{
    QByteArray pcm;
    chip_reset();
    reg_queue_len = 0;
    for (int piece = 0; static_cast<uint32_t>(pcm.size() / FRAME_BYTES) < frames; ++piece) {
        const QByteArray& file = piece == 0 ? intro : loop;
        if (piece > 0 && file.size() <= 16)
            break;  // an empty loop would never end
        for (int i = 16; i < file.size() && static_cast<uint32_t>(pcm.size() / FRAME_BYTES) < frames;) {
            const uint8_t c = static_cast<uint8_t>(file[i]);
            if (c == 0xFF || c == 0xFE) {
                const int ends = c == 0xFF ? 1 : 4 * static_cast<uint8_t>(file[i + 1]);
                for (int e = 0; e < ends; ++e) {
                    chip_render_frame();
                    pcm.append(reinterpret_cast<const char*>(frame_buf), FRAME_BYTES);
                    reg_queue_len = 0;
                }
                i += c == 0xFF ? 1 : 2;
            } else {
                reg_queue_push(c, static_cast<uint8_t>(file[i + 1]));
                i += 2;
            }
        }
    }
    return pcm.left(static_cast<qsizetype>(frames) * FRAME_BYTES);
}
