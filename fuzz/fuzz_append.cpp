// Two PSG files from one input: a song is loaded, then a second file is
// appended to it ("Appen&d file"). Header bytes 4 and 5 tell where in the
// command bytes the second file begins; it gets a header of its own. The
// song must hold the first file's frames followed by the second's, with
// the second file's writes before its first frame end in the first file's
// last frame, its images from zero, and the positions an append keeps.
#include "common.h"

#include "song/psg_format.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    if (size < PSG_HEADER_LEN)
        return -1;
    const size_t commands = size - PSG_HEADER_LEN;
    const size_t split = PSG_HEADER_LEN + (param(data, size, 0) | param(data, size, 1) << 8) % (commands + 1);
    std::vector<uint8_t> second(data, data + PSG_HEADER_LEN);
    second.insert(second.end(), data + split, data + size);

    const Expected a = describe(data, split);
    if (too_long_to_fuzz(a) || a.ends > FRAMES_MAX_LEN - 1 || a.writes.size() > MUSIC_MAX_LEN)
        return -1;
    const Expected b = describe(second.data(), second.size(), static_cast<uint32_t>(a.ends));
    if (too_long_to_fuzz(b) && !(a.ends + b.ends > FRAMES_MAX_LEN - 1))
        return -1;

    read_bytes(data, split, true);
    check(frame_count == a.ends && event_count == a.writes.size(), "first file");
    play_pos = 7;  // an append keeps these two
    find_start = 3;
    cut_pos = 5;
    const ReadResult result = read_bytes(second.data(), second.size(), false);
    if (a.ends + b.ends > FRAMES_MAX_LEN - 1 || a.writes.size() + b.writes.size() > MUSIC_MAX_LEN) {
        check(result == READ_TOO_BIG, "too big, not turned away");
        check(frame_count == a.ends && event_count == a.writes.size() && cut_pos == 5,
              "song changed by a refused file");
        return 0;
    }
    check(result == (b.rejected ? READ_REJECTED : READ_COMPLETE), "read result");
    check(frame_count == a.ends + b.ends, "frame count");
    check(event_count == a.writes.size() + b.writes.size(), "write count");
    check(std::equal(a.writes.begin(), a.writes.end(), music, same_write), "first file's writes");
    check(std::equal(b.writes.begin(), b.writes.end(), music + a.writes.size(), same_write), "appended writes");
    check_model(static_cast<uint32_t>(a.ends), static_cast<uint32_t>(a.writes.size()));
    check(play_event == music && cut_pos == 0 && play_pos == 7 && find_start == 3, "positions");
    return 0;
}
