// Any bytes as a PSG file. The reader must build the song the bytes
// describe and keep the song model's rules; writing that song and reading
// it back must give the same frames. Any difference aborts.
#include "common.h"

#include "io/files.h"
#include "song/psg_write.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    const Expected e = describe(data, size);
    if (too_long_to_fuzz(e))
        return -1;
    const uint32_t old_frames = frame_count, old_writes = event_count;
    const ReadResult result = read_bytes(data, size, true);
    if (e.ends > FRAMES_MAX_LEN - 1 || e.writes.size() > MUSIC_MAX_LEN) {
        check(result == READ_TOO_BIG, "too big, not turned away");
        check(frame_count == old_frames && event_count == old_writes, "song changed by a refused file");
        return 0;
    }
    check(result == (e.rejected ? READ_REJECTED : READ_COMPLETE), "read result");
    check(frame_count == e.ends, "frame count");
    check(event_count == e.writes.size(), "write count");
    for (uint32_t k = 0; k < event_count; ++k)
        check(same_write(music[k], e.writes[k]), "write differs from the file");
    check_model();
    check(play_event == music && cut_pos == 0 && play_pos == 0 && find_start == 0, "positions");

    // Frames 0 .. frame_count - 1 written out and read back: the same writes
    // in the same frames, and the last frame empty.
    const uint32_t song_frames = frame_count;
    const std::vector<MusicEvent> kept(music, frames[song_frames].first_event);
    const int handle = psg_write(0, nullptr, song_frames);
    check(handle != -1, "write failed");
    check(psg_read(nullptr, handle, true) == READ_COMPLETE, "written file not read completely");
    io_drop_tmpfile(handle);
    release_files();
    check(frame_count == song_frames, "frame count after the round trip");
    check(event_count == kept.size(), "write count after the round trip");
    for (uint32_t k = 0; k < event_count; ++k)
        check(same_write(music[k], kept[k]), "write differs after the round trip");
    check_model();
    return 0;
}
