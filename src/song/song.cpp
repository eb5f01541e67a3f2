#include "song/song.h"

MusicEvent music[MUSIC_MAX_LEN];
uint32_t event_count;
FrameInfo frames[FRAMES_MAX_LEN];
uint32_t frame_count;

uint32_t play_pos;
uint32_t cut_pos;
int playing;
MusicEvent* play_event;
uint32_t find_start;
