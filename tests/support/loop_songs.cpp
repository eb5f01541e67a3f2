#include "support/loop_songs.h"

#include "audio/chip.h"
#include "support/psg_data.h"

#include <vector>

namespace {

using Frame = std::vector<std::pair<int, int>>;

// The song, then its frames from `from` on again, `again` of them, then
// the tail.
QByteArray recording(std::vector<Frame> song, size_t from, size_t again, const std::vector<Frame>& tail = {})
{
    for (size_t k = 0; k < again; ++k)
        song.push_back(song[from + k]);
    song.insert(song.end(), tail.begin(), tail.end());
    PsgBuilder b;
    for (const Frame& f : song) {
        for (const auto& w : f)
            b.write(w.first, w.second);
        b.end();
    }
    return b.bytes;
}

// A tune on A from frame `first` on, a new note every 10 frames; it does not
// repeat within 500 frames.
void tune(std::vector<Frame>& song, size_t first)
{
    static const int notes[] = {253, 201, 336, 253, 180, 201, 150, 400};
    for (size_t f = first; f < song.size(); f += 10) {
        const int p = notes[(f / 10) % 8] + static_cast<int>(f % 7);
        song[f].insert(song[f].end(), {{0, p & 0xFF}, {1, p >> 8}});
    }
}

}  // namespace

LoopSong loop_song(LoopSongKind kind)
{
    // 500 frames, then frames 100 (or 0) on again for 330 frames.
    std::vector<Frame> song(500);
    switch (kind) {
    case REWRITTEN_IN_LOOP:  // B's level: 12 in the intro, 5 from frame 250 on
        song[0] = {{7, 0x38}, {8, 15}, {9, 12}, {2, 0x20}, {3, 1}};
        tune(song, 1);
        song[250].push_back({9, 5});
        return {"rewritten in the loop", recording(song, 100, 330), 250, 400};
    case ENVELOPE_RUNS_ON:  // a triangle on C whose steps do not divide the loop
        song[0] = {{7, 0x38}, {8, 13}, {10, 0x10}, {4, 0x30}, {11, 77}, {12, 0}};
        song[3] = {{13, 14}};
        tune(song, 1);
        return {"envelope runs on", recording(song, 100, 330), 101, 400};
    case LOOP_AT_FRAME_0:  // frame 0 writes every register the song changes
        song[0] = {{7, 0x3E}, {8, 15}, {0, 100}, {1, 0}};
        tune(song, 10);
        return {"loop at frame 0", recording(song, 0, 330), 0, 500};
    case REWRITTEN_2S_BEFORE_THE_END:  // frames 330..429 (100) repeat with the registers
    case REWRITTEN_TOO_LATE: {
        const size_t at = kind == REWRITTEN_TOO_LATE ? 331 : 330;
        song[0] = {{7, 0x38}, {8, 15}, {9, 12}, {2, 0x20}, {3, 1}};
        tune(song, 1);
        song[at].push_back({9, 5});
        return {kind == REWRITTEN_TOO_LATE ? "rewritten too late" : "rewritten 2 s before the end",
                recording(song, 100, 330), kind == REWRITTEN_TOO_LATE ? UINT32_MAX : 330, 400};
    }
    case NEVER_REPEATS:
        for (size_t f = 0; f < song.size(); ++f)
            song[f] = {{0, static_cast<int>(f & 0xFF)}, {1, static_cast<int>(f >> 8)}, {8, 15}};
        return {"never repeats", recording(song, 0, 0), UINT32_MAX, 0};
    case SAME_VALUE_AT_START:  // C's level 9 from frame 0, written again at 201, 4 from 300 on
        song[0] = {{7, 0x38}, {10, 9}};
        tune(song, 1);
        song[201].push_back({10, 9});
        song[300].push_back({10, 4});
        return {"same value at the start", recording(song, 200, 330), 201, 300};
    case SET_JUST_BEFORE:  // as rewritten in the loop, and C's fine tone set at 249, the frame before
        song[0] = {{7, 0x38}, {8, 15}, {9, 12}, {2, 0x20}, {3, 1}};
        tune(song, 1);
        song[249].push_back({4, 0x33});
        song[250].push_back({9, 5});
        return {"set just before", recording(song, 100, 330), 250, 400};
    case TWO_REWRITTEN:  // B's and C's levels: 12 in the intro, 5 from frame 250 on
        song[0] = {{7, 0x38}, {8, 15}, {9, 12}, {10, 12}, {2, 0x20}, {3, 1}};
        tune(song, 1);
        song[250].push_back({10, 5});
        song[250].push_back({9, 5});
        return {"two rewritten", recording(song, 100, 330), 250, 400};
    case ENVELOPE_AT_REST:  // A on the envelope, which a reset chip keeps at rest at 0
    case ENVELOPE_RESTED:   // or on a short decay that holds at 0 from frame 1 on
        song[0] = {{7, 0x38}, {8, 0x10}, {9, 15}};
        if (kind == ENVELOPE_RESTED)
            song[0].insert(song[0].end(), {{11, 1}, {12, 0}, {13, 9}});
        tune(song, 1);
        return {kind == ENVELOPE_RESTED ? "envelope come to rest" : "envelope at rest", recording(song, 100, 330), 101,
                400};
    case REPEATS_INSIDE: {  // frames 100..399 twice, then 300 frames of something else
        song[0] = {{7, 0x38}, {8, 15}};
        tune(song, 1);
        std::vector<Frame> tail(300);
        for (size_t f = 0; f < tail.size(); ++f)
            tail[f] = {{2, static_cast<int>(f & 0xFF)}, {3, static_cast<int>(f >> 8) + 1}};
        return {"repeats inside", recording(song, 100, 300, tail), UINT32_MAX, 0};
    }
    }
    return {};
}

QByteArray streamed_chain(const QByteArray& intro, const QByteArray& loop, uint32_t frames)
{
    QByteArray pcm;
    chip_reset();
    const auto done = [&] { return pcm.size() >= static_cast<qsizetype>(frames) * FRAME_BYTES; };
    for (const QByteArray* file = &intro; !done() && (file == &intro || loop.size() > 16); file = &loop) {
        // Our writer ends every frame with 0xFF and writes no waits.
        for (int i = 16; i < file->size() && !done();) {
            const uint8_t c = static_cast<uint8_t>(file->at(i));
            if (c == 0xFF) {
                chip_render_frame();
                pcm.append(reinterpret_cast<const char*>(frame_buf), FRAME_BYTES);
                ++i;
            } else {
                reg_queue_push(c, static_cast<uint8_t>(file->at(i + 1)));  // whole pairs only
                i += 2;
            }
        }
    }
    return pcm;
}
