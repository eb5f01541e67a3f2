// render: the sound that playback makes, into a WAV file. The frames go
// through the same playback step as the application's 20 ms clock, on a
// chip of their own.
#include "cli/cli.h"

#include "accurate/accurate_render.h"
#include "audio/chip.h"
#include "audio/playback.h"
#include "audio/seek.h"
#include "io/save.h"
#include "song/song.h"

#include <QFile>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr uint32_t WAV_HEADER_LEN = 44;
static_assert(uint64_t{FRAMES_MAX_LEN} * FRAME_BYTES + WAV_HEADER_LEN - 8 <= UINT32_MAX,
              "the longest song must fit a WAV file");

void put16(char* at, uint16_t v)
{
    at[0] = static_cast<char>(v & 0xFF);
    at[1] = static_cast<char>(v >> 8);
}

void put32(char* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Canonical 44-byte header of 16-bit stereo PCM.
void wav_header(char* h, uint32_t data_bytes, uint32_t rate = SAMPLE_RATE)
{
    memcpy(h, "RIFF", 4);
    put32(h + 4, data_bytes + WAV_HEADER_LEN - 8);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);  // size of the fmt chunk
    put16(h + 20, 1);   // PCM
    put16(h + 22, 2);   // channels
    put32(h + 24, rate);
    put32(h + 28, rate * 4);  // bytes per second
    put16(h + 32, 4);         // bytes per sample frame
    put16(h + 34, 16);        // bits per sample
    memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}

// The WAV file, put in place only when it is complete (io/save.h): a failed
// render leaves whatever stood under the name before and no temporary
// file. A device or pipe given as the name is written directly.
class Output {
public:
    Output() = default;
    ~Output() { cancel(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    bool open(const QByteArray& name) { return save_open(target, name); }
    // In large blocks straight to the file, so that a failure keeps the
    // system's reason.
    bool write(const char* bytes, qint64 count)
    {
        block.append(bytes, count);
        return block.size() < BLOCK || flush();
    }
    bool commit()
    {
        if (flush() && save_close(target) && save_replace(&target, 1))
            return true;
        cancel();
        return false;
    }
    void cancel() { save_cancel(target); }
    QByteArray error() const { return save_reason(target).toLocal8Bit(); }

private:
    bool flush()
    {
        const bool ok = save_write(target, block.constData(), block.size());
        block.clear();
        return ok;
    }

    static constexpr qsizetype BLOCK = 1 << 16;
    SaveTarget target;
    QByteArray block;
};

// --gain's decibels (0 when not given); none when they are not a number
// from -60 to 40.
std::optional<double> gain_of(const Arguments& args)
{
    bool ok = !args.gain;
    const double db = args.gain ? args.gain->toDouble(&ok) : 0;
    return ok && db >= -60 && db <= 40 ? std::optional<double>(db) : std::nullopt;
}

AccurateSetup accurate_setup(const Arguments& args)
{
    AccurateSetup s;
    s.chip.type = args.chip == "ym" ? PsgType::YM : PsgType::AY;
    if (args.clock)
        s.chip.clock = *args.clock;
    if (args.rate)
        s.chip.rate = *args.rate;
    if (args.pan == "abc")
        s.chip.pan = PsgPan::ABC;
    else if (args.pan == "acb")
        s.chip.pan = PsgPan::ACB;
    else if (args.pan == "mono")
        s.chip.pan = PsgPan::MONO;
    if (args.frame_rate_millihertz)
        s.frame_millihertz = *args.frame_rate_millihertz;
    s.chip.gain_db = gain_of(args).value_or(0);
    return s;
}

// The same frames through the model of the chip itself.
int render_accurate(const Arguments& args, uint32_t from, uint32_t to)
{
    const AccurateSetup setup = accurate_setup(args);
    const uint64_t total = accurate_sample_of(setup, to) - accurate_sample_of(setup, from);
    if (total * 4 + WAV_HEADER_LEN - 8 > UINT32_MAX)
        return fail("can't write " + args.output + ": the sound is too long for a WAV file");
    Output out;
    if (!out.open(output_name(args)))
        return fail("can't create " + args.output + ": " + out.error());
    char header[WAV_HEADER_LEN];
    wav_header(header, static_cast<uint32_t>(total * 4), setup.chip.rate);
    bool ok = out.write(header, WAV_HEADER_LEN);
    uint64_t written = 0, clipped = 0;
    QByteArray bytes;
    {
        Progress progress("render");
        ok = ok && accurate_render(setup, from, to, [&](const int16_t* pairs, size_t count) {
                 bytes.resize(static_cast<qsizetype>(count * 4));
                 qToLittleEndian<int16_t>(pairs, static_cast<qsizetype>(count * 2), bytes.data());
                 written += count;
                 for (size_t i = 0; i < 2 * count; ++i)
                     clipped += pairs[i] == INT16_MAX || pairs[i] == INT16_MIN;
                 progress.show(total ? static_cast<int>(written * 100 / total) : 100);
                 return out.write(bytes.constData(), bytes.size());
             });
    }
    if (!ok || !out.commit())
        return fail("can't write " + args.output + ": " + out.error());
    if (clipped)
        fprintf(stderr, "trelvane-cli: note: %llu samples clipped at full scale; a lower --gain keeps them\n",
                static_cast<unsigned long long>(clipped));
    return 0;
}

}  // namespace

int run_render(const Arguments& args)
{
    if (!gain_of(args))
        return usage_error(("--gain needs decibels from -60 to 40, not '" + *args.gain + "'").constData());
    if (!load_song(args.files))
        return EXIT_ERROR;
    const uint32_t from = args.from.value_or(0);
    const uint32_t to = args.to.value_or(frame_count);
    if (from > frame_count)
        return past_the_end("--from", from);
    if (to > frame_count)
        return past_the_end("--to", to);
    if (to < from)
        return usage_error("--to must not be before --from");

    if (args.accurate)
        return render_accurate(args, from, to);

    // Every tick plays one frame, from the start frame up to the song's last
    // frame, which is never played, or to the frame before --to; so the
    // length is known before the first sample and the header can go first
    // (the output may be a pipe). The chip starts as playing the song from
    // frame 0 leaves it at the start frame.
    const uint32_t total = to - from;
    Output out;
    if (!out.open(output_name(args)))
        return fail("can't create " + args.output + ": " + out.error());
    char header[WAV_HEADER_LEN];
    wav_header(header, total * FRAME_BYTES);
    bool ok = out.write(header, WAV_HEADER_LEN);

    ChipState chip = chip_state_at(from);
    ChipFrame frame;
    {
        Progress progress("render");
        for (uint32_t f = from; ok && f < to; ++f) {
            play_frame(chip, f, frame);
            ok = out.write(reinterpret_cast<const char*>(frame.bytes), FRAME_BYTES);
            const uint32_t rendered = f + 1 - from;
            progress.show(static_cast<int>(uint64_t{rendered} * 100 / total));
        }
    }
    if (!ok || !out.commit())
        return fail("can't write " + args.output + ": " + out.error());
    return 0;
}
