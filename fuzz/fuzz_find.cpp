// The period search against the plain scan, on songs of at most 300 writes
// (the scan takes quadratic time). Header byte 4 gives the window (1 to 32),
// byte 5 where the search starts, and bit 0 of byte 6 a weak hash instead of
// the real one, so that hash collisions happen all the time: neither may
// change the answer or the progress values.
#include "common.h"

#include "edit/find.h"
#include "edit/find_detail.h"
#include "support/find_scan.h"

namespace {

std::vector<int> seen;
void record(int percent)
{
    seen.push_back(percent);
}

// Eight hash values in all.
struct WeakHash {
    uint32_t window;
    uint64_t first(const MusicEvent* e) const
    {
        uint64_t h = 0;
        for (uint32_t k = 0; k < window; ++k)
            h += e[k].value;
        return h & 7;
    }
    uint64_t next(uint64_t, const MusicEvent* e) const { return first(e + 1); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    const Expected e = describe(data, size);
    if (e.writes.size() > 300 || e.ends > FUZZ_MAX_FRAMES)
        return -1;
    read_bytes(data, size, true);
    const uint32_t window = param(data, size, 0) % 32 + 1;
    const uint32_t from = param(data, size, 1);

    seen.clear();
    FindResult fast{true, 1, 2, 3};
    const FindStatus status = param(data, size, 2) & 1
        ? find_detail::search(from, window, fast, record, WeakHash{window})
        : find_period(from, window, fast, record);
    check(status == FIND_DONE, "search status");
    const std::vector<int> fast_progress = seen;
    seen.clear();
    const FindResult slow = find_period_scan(from, window, record);
    check(fast.found == slow.found, "found or not");
    check(!slow.found || (fast.i == slow.i && fast.j == slow.j && fast.frame == slow.frame), "repetition");
    check(fast_progress == seen, "progress values");
    return 0;
}
