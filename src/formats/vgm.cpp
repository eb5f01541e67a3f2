#include "formats/vgm.h"

#include "formats/unpack.h"
#include "song/song.h"

#include <cstring>

namespace {

constexpr qsizetype HEADER_LEN = 0x100;
constexpr uint32_t VERSION = 0x171;
constexpr qsizetype OFS_EOF = 0x04, OFS_VERSION = 0x08, OFS_GD3 = 0x14, OFS_TOTAL = 0x18, OFS_LOOP = 0x1C,
                    OFS_LOOP_SAMPLES = 0x20, OFS_RATE = 0x24, OFS_DATA = 0x34, OFS_AY_CLOCK = 0x74, OFS_AY_TYPE = 0x78,
                    OFS_AY_FLAGS = 0x79;
constexpr uint8_t AY_TYPE_AY8910 = 0x00, AY_TYPE_YM2149 = 0x10;
constexpr uint8_t CMD_AY = 0xA0, CMD_WAIT = 0x61, CMD_WAIT_60HZ = 0x62, CMD_WAIT_50HZ = 0x63, CMD_END = 0x66,
                  CMD_DATA_BLOCK = 0x67, CMD_PCM_WRITE = 0x68;

void put_le(char* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t get_le(const QByteArray& in, qsizetype at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(in[at + i]);
    return v;
}

void append_le(QByteArray& out, uint32_t v)
{
    char b[4];
    put_le(b, v);
    out.append(b, 4);
}

// GD3 1.00: eleven UTF-16LE strings, each ending in a zero character:
// track, game, system and author in English and Japanese, the date, who
// converted it and notes.
QByteArray gd3(const QByteArray& title)
{
    QByteArray strings;
    const QString texts[11]
        = {QString::fromUtf8(title), {}, {}, {}, {}, {}, {}, {}, {}, QStringLiteral("Trelvane"), {}};
    for (const QString& text : texts) {
        for (QChar c : text) {
            strings.append(static_cast<char>(c.unicode() & 0xFF));
            strings.append(static_cast<char>(c.unicode() >> 8));
        }
        strings.append(2, '\0');
    }
    QByteArray out("Gd3 ", 4);
    append_le(out, 0x100);
    append_le(out, static_cast<uint32_t>(strings.size()));
    return out + strings;
}

// The first string of a GD3 tag at pos, when there is a sound one.
QByteArray gd3_title(const QByteArray& file, qsizetype pos)
{
    if (pos < HEADER_LEN || pos + 12 > file.size() || file.mid(pos, 4) != "Gd3 ")
        return {};
    QString title;
    for (qsizetype p = pos + 12; p + 1 < file.size(); p += 2) {
        const auto c = static_cast<char16_t>(static_cast<uint8_t>(file[p]) | (static_cast<uint8_t>(file[p + 1]) << 8));
        if (c == 0)
            return title.toUtf8();
        title.append(QChar(c));
    }
    return {};
}

// Length of a command that this reader skips, by its first byte; 0 for a
// byte the format does not define. Data blocks and PCM writes are measured
// apart.
int skip_length(uint8_t c)
{
    if (c >= 0x70 && c <= 0x8F)
        return 1;  // short waits; 0x8n also writes YM2612 PCM
    if (c >= 0x30 && c <= 0x3F)
        return 2;
    if (c == 0x4F || c == 0x50)
        return 2;
    if ((c >= 0x40 && c <= 0x4E) || (c >= 0x51 && c <= 0x5F) || (c >= 0xA0 && c <= 0xBF))
        return 3;
    if (c >= 0xC0 && c <= 0xDF)
        return 4;
    if (c >= 0xE0)
        return 5;
    switch (c) {
    case 0x90:
    case 0x91:
    case 0x95:
        return 5;
    case 0x92:
        return 6;
    case 0x93:
        return 11;
    case 0x94:
        return 2;
    default:
        return 0;
    }
}

}  // namespace

QByteArray vgm_write(const RegisterDump& dump, const DumpInfo& info, VgmChip chip)
{
    const uint32_t n = dump.frames();
    QByteArray out(HEADER_LEN, '\0');
    out.reserve(HEADER_LEN + static_cast<qsizetype>(dump.writes.size()) * 3 + n + 256);
    qsizetype loop_at = 0;
    for (uint32_t f = 0; f < n; ++f) {
        if (info.has_loop && f == info.loop_frame)
            loop_at = out.size();
        for (uint32_t i = dump.begin(f); i < dump.end(f); ++i) {
            out.append(static_cast<char>(CMD_AY));
            out.append(static_cast<char>(dump.writes[i].reg));
            out.append(static_cast<char>(dump.writes[i].value));
        }
        out.append(static_cast<char>(CMD_WAIT_50HZ));
    }
    out.append(static_cast<char>(CMD_END));
    const qsizetype gd3_at = out.size();
    out.append(gd3(info.title));

    char* h = out.data();
    memcpy(h, "Vgm ", 4);
    put_le(h + OFS_EOF, static_cast<uint32_t>(out.size() - OFS_EOF));
    put_le(h + OFS_VERSION, VERSION);
    put_le(h + OFS_GD3, static_cast<uint32_t>(gd3_at - OFS_GD3));
    put_le(h + OFS_TOTAL, n * VGM_FRAME_SAMPLES);
    if (loop_at > 0) {
        put_le(h + OFS_LOOP, static_cast<uint32_t>(loop_at - OFS_LOOP));
        put_le(h + OFS_LOOP_SAMPLES, (n - info.loop_frame) * VGM_FRAME_SAMPLES);
    }
    put_le(h + OFS_RATE, 50);
    put_le(h + OFS_DATA, static_cast<uint32_t>(HEADER_LEN - OFS_DATA));
    put_le(h + OFS_AY_CLOCK, info.clock);
    h[OFS_AY_TYPE] = static_cast<char>(chip == VGM_YM2149 ? AY_TYPE_YM2149 : AY_TYPE_AY8910);
    h[OFS_AY_FLAGS] = 0x01;  // the usual output mode
    return out;
}

bool is_vgm(const QByteArray& file)
{
    return file.startsWith("Vgm ") || is_gzip(file);
}

bool vgm_read(const QByteArray& packed, RegisterDump* dump, DumpInfo* info, QByteArray* error)
{
    QByteArray file = packed;
    if (is_gzip(packed) && !gunzip(packed, &file, error))
        return false;
    if (!file.startsWith("Vgm ")) {
        *error = "not a VGM file";
        return false;
    }
    if (file.size() < 0x40) {
        *error = "truncated header";
        return false;
    }
    const uint32_t version = get_le(file, OFS_VERSION);
    // Before 1.50 the data start at 0x40 and no header field holds an AY.
    qsizetype data = 0x40;
    if (version >= 0x150 && get_le(file, OFS_DATA) != 0)
        data = OFS_DATA + qsizetype{get_le(file, OFS_DATA)};
    const qsizetype header_end = data < HEADER_LEN ? data : HEADER_LEN;
    if (version < 0x151 || header_end < OFS_AY_TYPE + 1 || file.size() < OFS_AY_TYPE + 1) {
        *error = "no AY-3-8910 / YM2149 in it (VGM version " + QByteArray::number(version >> 8, 16) + "."
            + QByteArray::number(version & 0xFF, 16).rightJustified(2, '0') + ")";
        return false;
    }
    const uint32_t clock_field = get_le(file, OFS_AY_CLOCK);
    info->clock = clock_field & VGM_CLOCK_MAX;
    if (info->clock == 0) {
        *error = "no AY-3-8910 / YM2149 in it";
        return false;
    }
    if (data > file.size()) {
        *error = "truncated: the data offset lies past the end";
        return false;
    }
    info->frame_rate = 50;
    info->title = gd3_title(file, OFS_GD3 + qsizetype{get_le(file, OFS_GD3)});
    const uint32_t loop_field = get_le(file, OFS_LOOP);
    const qsizetype loop_at = loop_field ? OFS_LOOP + qsizetype{loop_field} : -1;

    *dump = RegisterDump();
    uint64_t samples = 0;     // the position of the next command
    uint64_t frame_ends = 0;  // frames closed in dump
    uint32_t between = 0;     // writes that fall between frame boundaries
    uint32_t other = 0;       // commands of other chips
    uint32_t second = 0;      // writes to a second AY
    bool ended = false;
    bool loop_seen = false;  // the loop offset met a command
    qsizetype pos = data;
    auto close_frames = [&]() {
        for (; frame_ends < samples / VGM_FRAME_SAMPLES; ++frame_ends)
            dump->end_frame();
    };
    while (pos < file.size() && !ended) {
        if (pos == loop_at) {
            loop_seen = true;
            info->has_loop = true;
            info->loop_frame = static_cast<uint32_t>((samples + VGM_FRAME_SAMPLES - 1) / VGM_FRAME_SAMPLES);
        }
        const auto c = static_cast<uint8_t>(file[pos]);
        qsizetype len = 0;
        uint32_t wait = 0;
        if (c == CMD_END) {
            ended = true;
            len = 1;
        } else if (c == CMD_AY) {
            len = 3;
        } else if (c == CMD_WAIT) {
            len = 3;
        } else if (c == CMD_WAIT_60HZ || c == CMD_WAIT_50HZ) {
            len = 1;
            wait = c == CMD_WAIT_60HZ ? 735 : 882;
        } else if (c >= 0x70 && c <= 0x7F) {
            len = 1;
            wait = (c & 0x0F) + 1u;
        } else if (c == CMD_DATA_BLOCK) {
            if (pos + 7 > file.size()) {
                *error = "truncated data block";
                return false;
            }
            len = 7 + qsizetype{get_le(file, pos + 3) & 0x7FFFFFFF};
            ++other;
        } else if (c == CMD_PCM_WRITE) {
            len = 12;
            ++other;
        } else {
            len = skip_length(c);
            if (len == 0) {
                *error = "undefined command 0x" + QByteArray::number(c, 16) + " at offset 0x"
                    + QByteArray::number(pos, 16);
                return false;
            }
            if (c >= 0x80 && c <= 0x8F)
                wait = c & 0x0F;
            ++other;
        }
        if (pos + len > file.size()) {
            *error = "truncated: the last command ends past the file";
            return false;
        }
        if (c == CMD_WAIT)
            wait = static_cast<uint8_t>(file[pos + 1]) | (static_cast<uint8_t>(file[pos + 2]) << 8);
        if (c == CMD_AY) {
            const auto aa = static_cast<uint8_t>(file[pos + 1]);
            if (aa & 0x80) {
                ++second;
            } else if (aa > 15) {
                *error = "AY register " + QByteArray::number(aa) + " at offset 0x" + QByteArray::number(pos, 16)
                    + " (0 to 15)";
                return false;
            } else {
                close_frames();
                if (samples % VGM_FRAME_SAMPLES != 0)
                    ++between;
                if (dump->writes.size() >= MUSIC_MAX_LEN) {
                    *error = "MUSIC_MAX_LEN is reached!";  // what reading the song would say
                    return false;
                }
                dump->write(aa, static_cast<uint8_t>(file[pos + 2]));
            }
        }
        samples += wait;
        if (samples / VGM_FRAME_SAMPLES >= FRAMES_MAX_LEN) {
            *error = "longer than a song holds (" + QByteArray::number(FRAMES_MAX_LEN - 1) + " frames)";
            return false;
        }
        pos += len;
    }
    if (!ended) {
        *error = "truncated: no end marker";
        return false;
    }
    // The last frame runs to the end of the last wait, even a short one.
    samples = (samples + VGM_FRAME_SAMPLES - 1) / VGM_FRAME_SAMPLES * VGM_FRAME_SAMPLES;
    close_frames();
    if (info->has_loop && info->loop_frame >= dump->frames())
        info->has_loop = false;
    if (loop_at >= 0 && !loop_seen)
        info->notes.append("loop offset 0x" + QByteArray::number(loop_at, 16) + " is not at a command: no loop point");
    if (between > 0)
        info->notes.append(QByteArray::number(between)
                           + " writes fall between frame boundaries and go to the frame they fall in");
    if (second > 0)
        info->notes.append(QByteArray::number(second) + " writes to a second AY chip are left out");
    if (other > 0)
        info->notes.append(QByteArray::number(other) + " commands of other chips are left out");
    return true;
}
