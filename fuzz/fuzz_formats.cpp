// Any bytes as a YM or a VGM file, plain or packed. The readers must turn
// them away or give a song a PSG file can hold; a VGM file written from
// that song must read back to the same frames and writes. Any difference
// aborts.
#include "common.h"

#include "formats/vgm.h"
#include "formats/ym.h"

namespace {

void check_dump(const RegisterDump& dump)
{
    check(dump.frames() < FRAMES_MAX_LEN, "more frames than a song holds");
    for (uint32_t f = 0; f < dump.frames(); ++f)
        check(dump.begin(f) <= dump.end(f), "frames out of order");
    for (const RegWrite& w : dump.writes)
        check(w.reg < 16, "register past 15");

    DumpInfo info;
    info.clock = DEFAULT_CLOCK;
    RegisterDump back;
    DumpInfo got;
    QByteArray error;
    check(vgm_read(vgm_write(dump, info, VGM_AY8910), &back, &got, &error), "own VGM file refused");
    check(back.frames() == dump.frames(), "frame count after the round trip");
    for (uint32_t f = 0; f < dump.frames(); ++f) {
        check(back.end(f) - back.begin(f) == dump.end(f) - dump.begin(f), "writes of a frame after the round trip");
        for (uint32_t k = 0; k < dump.end(f) - dump.begin(f); ++k) {
            const RegWrite a = dump.writes[dump.begin(f) + k], b = back.writes[back.begin(f) + k];
            check(a.reg == b.reg && a.value == b.value, "write differs after the round trip");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RegisterDump dump;
    DumpInfo info;
    QByteArray error;
    if (ym_read(file, &dump, &info, &error))
        check_dump(dump);
    else
        check(!error.isEmpty(), "YM refused without a reason");
    dump = RegisterDump();
    error.clear();
    if (vgm_read(file, &dump, &info, &error))
        check_dump(dump);
    else
        check(!error.isEmpty(), "VGM refused without a reason");
    return 0;
}
