#include "song/song_time.h"

#include "song/song.h"

#include <cstdio>

char* format_time(uint32_t frame, char* buffer)
{
    uint32_t seconds = frame / FRAME_RATE;
    uint32_t minutes = seconds / 60;
    uint32_t hours = minutes / 60;
    uint32_t millis = (frame % FRAME_RATE) * 20;
    snprintf(buffer, 16, "%u:%02u:%02u.%03u", hours, minutes % 60, seconds % 60, millis);
    return buffer;
}
