#include "support/find_scan.h"

#include "song/song.h"

FindResult find_period_scan(uint32_t from, uint32_t window, void (*progress)(int percent))
{
    const MusicEvent* e = music;
    const uint32_t m_len = writes_before_last_frame();
    const uint32_t half = m_len / 2;
    if (progress && from < half)
        progress(static_cast<int>(from * 100u / half));
    for (uint32_t i = from; i < half; ++i) {
        if (progress && i % 1000 == 0)
            progress(static_cast<int>(i * 100u / half));
        for (uint32_t j = i + 1; uint64_t{j} + window < m_len; ++j) {
            uint32_t k = 0;
            while (k < window && e[i + k].reg == e[j + k].reg && e[i + k].value == e[j + k].value)
                ++k;
            if (k == window)
                return FindResult{true, i, j, e[j].frame};
        }
    }
    if (progress)
        progress(100);
    return FindResult{false, 0, 0, 0};
}
