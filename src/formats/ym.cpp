#include "formats/ym.h"

#include "formats/unpack.h"
#include "song/registers.h"
#include "song/song.h"

#include <cstring>

namespace {

constexpr int YM_REGS = 16;
constexpr uint32_t ATTR_INTERLEAVED = 1u << 0;
constexpr uint8_t NO_RESTART = 0xFF;

void put_be(QByteArray& out, uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t get_be(const QByteArray& in, qsizetype at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<uint8_t>(in[at + i]);
    return v;
}

// Reads a NUL-terminated string at *pos; false when there is no NUL.
bool take_string(const QByteArray& in, qsizetype* pos, QByteArray* text)
{
    const qsizetype nul = in.indexOf('\0', *pos);
    if (nul < 0)
        return false;
    *text = in.mid(*pos, nul - *pos);
    *pos = nul + 1;
    return true;
}

}  // namespace

QByteArray ym_write(const RegisterDump& dump, const DumpInfo& info)
{
    const uint32_t n = dump.frames();
    QByteArray out;
    out.reserve(static_cast<qsizetype>(64 + info.title.size() + qsizetype{n} * YM_REGS));
    out.append("YM6!LeOnArD!", 12);
    put_be(out, n, 4);
    put_be(out, ATTR_INTERLEAVED, 4);
    put_be(out, 0, 2);  // digidrums
    put_be(out, info.clock, 4);
    put_be(out, 50, 2);
    put_be(out, info.has_loop ? info.loop_frame : 0, 4);
    put_be(out, 0, 2);  // additional data
    out.append(info.title).append('\0');
    out.append('\0');  // author
    out.append("Trelvane").append('\0');

    const qsizetype data = out.size();
    out.append(qsizetype{n} * YM_REGS, '\0');
    char* regs = out.data() + data;
    uint8_t held[YM_REGS] = {};
    for (uint32_t f = 0; f < n; ++f) {
        bool restart = false;
        for (uint32_t i = dump.begin(f); i < dump.end(f); ++i) {
            const RegWrite& w = dump.writes[i];
            if (w.reg >= REG_PORT_A)
                continue;
            held[w.reg] = w.value & reg_mask[w.reg];
            restart = restart || w.reg == REG_ENV_SHAPE;
        }
        for (int r = 0; r < REG_PORT_A; ++r) {
            const uint8_t v = r == REG_ENV_SHAPE && !restart ? NO_RESTART : held[r];
            regs[qsizetype{r} * n + f] = static_cast<char>(v);
        }
    }
    out.append("End!", 4);
    return out;
}

bool is_ym(const QByteArray& file)
{
    return file.startsWith("YM") || is_lha(file);
}

bool ym_read(const QByteArray& packed, RegisterDump* dump, DumpInfo* info, QByteArray* error)
{
    QByteArray file = packed;
    if (is_lha(packed) && !lha_unpack(packed, &file, error))
        return false;
    if (file.size() < 4 || !file.startsWith("YM")) {
        *error = "not a YM file";
        return false;
    }
    const QByteArray id = file.left(4);
    if (id != "YM5!" && id != "YM6!") {
        *error = "a " + id.left(3) + " file: only YM5 and YM6 are read";
        return false;
    }
    if (file.size() < 34) {
        *error = "truncated header";
        return false;
    }
    if (file.mid(4, 8) != "LeOnArD!") {
        *error = "no \"LeOnArD!\" check string";
        return false;
    }
    const uint32_t n = get_be(file, 12, 4);
    const uint32_t attributes = get_be(file, 16, 4);
    const uint32_t drums = get_be(file, 20, 2);
    info->clock = get_be(file, 22, 4);
    info->frame_rate = get_be(file, 26, 2);
    const uint32_t loop = get_be(file, 28, 4);
    const uint32_t extra = get_be(file, 32, 2);
    if (n >= FRAMES_MAX_LEN) {
        *error = QByteArray::number(n) + " frames: more than a song holds";
        return false;
    }
    if (info->clock == 0 || info->frame_rate == 0) {
        *error = info->clock == 0 ? "chip clock 0" : "frame rate 0";
        return false;
    }
    if (n > 0 && loop >= n) {
        *error = "loop frame " + QByteArray::number(loop) + " past the last frame " + QByteArray::number(n - 1);
        return false;
    }
    info->has_loop = n > 0;
    info->loop_frame = loop;

    qsizetype pos = 34 + qsizetype{extra};
    for (uint32_t d = 0; d < drums; ++d) {
        if (pos + 4 > file.size()) {
            *error = "truncated digidrums";
            return false;
        }
        pos += 4 + qsizetype{get_be(file, pos, 4)};
    }
    QByteArray author, comment;
    if (pos > file.size() || !take_string(file, &pos, &info->title) || !take_string(file, &pos, &author)
        || !take_string(file, &pos, &comment)) {
        *error = "truncated header";
        return false;
    }
    if (file.size() - pos < qsizetype{n} * YM_REGS) {
        *error = "truncated: " + QByteArray::number(n) + " frames announced, "
            + QByteArray::number((file.size() - pos) / YM_REGS) + " present";
        return false;
    }
    if (drums > 0)
        info->notes.append("its " + QByteArray::number(drums) + " digidrums are left out");
    if (info->frame_rate != 50)
        info->notes.append("written at " + QByteArray::number(info->frame_rate)
                           + " frames a second; a PSG file plays 50");

    const bool interleaved = attributes & ATTR_INTERLEAVED;
    const char* regs = file.constData() + pos;
    auto reg = [&](uint32_t f, int r) {
        return static_cast<uint8_t>(interleaved ? regs[qsizetype{r} * n + f] : regs[qsizetype{f} * YM_REGS + r]);
    };
    *dump = RegisterDump();
    dump->writes.reserve(qsizetype{n} * 4);
    uint8_t held[REG_PORT_A] = {};
    bool effects = false;
    for (uint32_t f = 0; f < n; ++f) {
        for (int r = 0; r < REG_ENV_SHAPE; ++r) {
            const uint8_t raw = reg(f, r);
            const uint8_t v = raw & reg_mask[r];
            effects = effects || v != raw;
            if (v != held[r])
                dump->write(static_cast<uint8_t>(r), v);
            held[r] = v;
        }
        const uint8_t shape = reg(f, REG_ENV_SHAPE);
        if (shape != NO_RESTART)
            dump->write(REG_ENV_SHAPE, shape & reg_mask[REG_ENV_SHAPE]);
        effects = effects || reg(f, REG_PORT_A) != 0 || reg(f, REG_PORT_B) != 0;
        dump->end_frame();
    }
    if (effects)
        info->notes.append("its special effects (bits beyond the chip's registers) are left out");
    return true;
}
