// What the song layer needs from whoever shows it to a person: the desktop
// application installs its slider handling here; the command-line tool
// leaves it empty.
#pragma once

#include <cstdint>

struct FrontEnd {
    // Called by the reader once a song has been read: refresh the status
    // line and give both sliders the range 0..frame_count at position 0.
    void (*song_read)();
};

extern FrontEnd front_end;
