// Cut and save. The input is a song; header bytes 4 and 5 give the cut
// position (modulo the frames + 1) and bit 0 of byte 6 whether the piece
// after the cut carries the chip state (CARRY_STATE) or not (NO_STATE).
// "Cut and &Save" writes the two pieces and goes on with the second:
//   - the first piece holds frames 0 .. cut - 1 with their writes;
//   - the second holds the song's frames from the cut, each with its own
//     writes; with the chip state, the first frame's own writes follow a
//     lead-in, and from the second frame on registers 0 to 12 hold what the
//     chip keeps of the song's (the chip state was carried);
//   - without it, the two pieces joined give the song's writes back;
//   - "&Cut" in memory gives the same song as the second piece read back.
#include "common.h"

#include "audio/chip.h"
#include "edit/editing.h"
#include "song/psg_format.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

struct Song {
    std::vector<MusicEvent> writes;
    std::vector<FrameInfo> frames;  // first_event as an index, in the pointer's place
};

Song take_song()
{
    Song s{std::vector<MusicEvent>(music, music + event_count),
           std::vector<FrameInfo>(frames, frames + frame_count + 1)};
    for (FrameInfo& f : s.frames)
        f.first_event = reinterpret_cast<MusicEvent*>(f.first_event - music);
    return s;
}

QByteArray file_bytes(const QByteArray& path)
{
    QFile f(QString::fromLocal8Bit(path));
    check(f.open(QIODevice::ReadOnly), "a saved piece cannot be read");
    return f.readAll();
}

bool same_song(const Song& a, const Song& b)
{
    return a.writes.size() == b.writes.size() && a.frames.size() == b.frames.size()
        && std::equal(a.writes.begin(), a.writes.end(), b.writes.begin(), same_write)
        && std::equal(a.frames.begin(), a.frames.end(), b.frames.begin(), [](const FrameInfo& x, const FrameInfo& y) {
               return memcmp(x.regs, y.regs, sizeof x.regs) == 0 && x.first_event == y.first_event;
           });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    const Expected e = describe(data, size);
    if (too_long_to_fuzz(e) || e.ends > FRAMES_MAX_LEN - 1 || e.writes.size() > MUSIC_MAX_LEN)
        return -1;
    read_bytes(data, size, true);
    const Song song = take_song();
    const uint32_t n = frame_count;
    const uint32_t cut = (param(data, size, 0) | param(data, size, 1) << 8) % (n + 1);
    const CutState state = param(data, size, 2) & 1 ? CARRY_STATE : NO_STATE;
    const auto at_cut
        = std::find_if(song.writes.begin(), song.writes.end(), [&](const MusicEvent& w) { return w.frame >= cut; });
    const auto at_end
        = std::find_if(song.writes.begin(), song.writes.end(), [&](const MusicEvent& w) { return w.frame >= n; });

    cut_pos = cut;
    const QByteArray chosen = QByteArray(fuzz_dir()) + "/piece";
    check(save_pieces(chosen, state), "pieces not saved");
    release_files();
    const QByteArray head = file_bytes(chosen + ".psg");
    const Expected first
        = describe(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size()));
    check(!first.rejected && first.ends == cut, "first piece's frames");
    check(std::equal(first.writes.begin(), first.writes.end(), song.writes.begin(), at_cut, same_write),
          "first piece's writes");

    // The second piece is the song now.
    check(frame_count == n - cut, "second piece's frames");
    const uint32_t own = static_cast<uint32_t>(at_end - at_cut);
    check(event_count >= own, "second piece lost writes");
    const uint32_t lead = event_count - own;
    check(state == CARRY_STATE ? lead <= 16 && (lead == 0 || n > cut) : lead == 0, "lead-in");
    for (uint32_t k = 0; k < own; ++k) {
        MusicEvent w = at_cut[k];
        w.frame -= cut;
        check(same_write(music[lead + k], w), "second piece's own writes");
    }
    for (uint32_t k = 0; k < lead; ++k)
        check(music[k].frame == 0 && music[k].reg <= 13, "lead-in writes");
    check_model();
    if (state == CARRY_STATE)  // as the chip keeps them
        for (uint32_t f = 1; f <= frame_count; ++f)
            for (int r = 0; r <= REG_ENV_COARSE; ++r)
                check(((frames[f].regs[r] ^ song.frames[cut + f].regs[r]) & reg_mask[r]) == 0,
                      "registers after the lead-in");
    const Song rest = take_song();

    // In memory, from the same song.
    read_bytes(data, size, true);
    cut_pos = cut;
    check(cut_song(state), "cut failed");
    release_files();
    check(same_song(take_song(), rest), "cut in memory differs from the saved piece");
    return 0;
}
