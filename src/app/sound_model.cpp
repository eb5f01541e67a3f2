#include "app/sound_model.h"

#include "accurate/accurate_player.h"
#include "audio/chip.h"
#include "edit/intro_loop.h"
#include "song/song.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QtEndian>

#include <algorithm>
#include <optional>

namespace {

SoundModel chosen = SoundModel::PLAIN;
std::optional<AccuratePlayer> player;
bool stale;  // the song changed under the player
std::vector<int16_t> pairs;
double seek_ms;

// As `render --accurate` makes it: the default clock, rate and panning,
// 50 frames a second.
AccurateSetup setup_of(SoundModel m)
{
    AccurateSetup s;
    s.chip.type = m == SoundModel::YM ? PsgType::YM : PsgType::AY;
    return s;
}

// Frame f of the pairs in `pcm`, as 16-bit little-endian bytes.
void put_frame(const std::vector<int16_t>& pcm, uint8_t* out)
{
    qToLittleEndian<int16_t>(pcm.data(), static_cast<qsizetype>(std::min<size_t>(pcm.size(), 2 * SAMPLES_PER_FRAME)),
                             out);
}

}  // namespace

SoundModel sound_model()
{
    return chosen;
}

void set_sound_model(SoundModel model)
{
    chosen = model;
    player.reset();
    // Made now: its tables take longer than a tick.
    if (chosen != SoundModel::PLAIN)
        player.emplace(setup_of(chosen), song_frame_writes());
}

QWidget* make_model_choice()
{
    auto* box = new QComboBox();
    box->setObjectName(QStringLiteral("model_choice"));
    box->addItem(QStringLiteral("Plain"));
    box->addItem(QStringLiteral("AY-3-8910"));
    box->addItem(QStringLiteral("YM2149"));
    box->setToolTip(QStringLiteral("Plain: the program's own light model.\n"
                                   "AY-3-8910, YM2149: the chip itself, as render --accurate makes it."));
    QObject::connect(box, &QComboBox::currentIndexChanged,
                     [](int i) { set_sound_model(static_cast<SoundModel>(std::clamp(i, 0, 2))); });
    auto* label = new QLabel(QStringLiteral("&Model"));
    label->setBuddy(box);
    auto* w = new QWidget();
    auto* layout = new QHBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(box);
    return w;
}

void model_play_frame(uint32_t f)
{
    if (chosen == SoundModel::PLAIN)
        return;
    if (!player)
        player.emplace(setup_of(chosen), song_frame_writes());
    pairs.clear();
    if (stale || player->frame() != f) {
        QElapsedTimer t;
        t.start();
        player->seek(f);
        player->render_frame(pairs);
        seek_ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        stale = false;
    } else {
        player->render_frame(pairs);
    }
    put_frame(pairs, frame_buf);
}

void model_song_changed()
{
    stale = true;
}

QByteArray model_seam_sound(uint32_t start, uint32_t period)
{
    if (chosen == SoundModel::PLAIN)
        return seam_sound(start, period);
    QByteArray pcm;
    if (period == 0 || start > frame_count || period > frame_count - start)
        return pcm;
    // The chain as it plays: the song up to the join, then the loop piece,
    // opened by its lead-in, from the loop's start on.
    const uint32_t n = std::min(SEAM_FRAMES, period);
    const uint32_t join = start + period;
    const LeadIn lead = loop_lead_in(start);
    const FrameWrites song = song_frame_writes();
    AccuratePlayer seam(setup_of(chosen), [&](uint32_t f, std::vector<PsgWrite>& out) {
        if (f < join)
            return song(f, out);
        if (f == join)
            for (int i = 0; i < lead.count; ++i)
                out.push_back({lead.reg[i], lead.value[i]});
        const uint32_t at = start + (f - join);
        if (at < join)
            song(at, out);
    });
    seam.seek(join - n);
    pcm.resize(static_cast<qsizetype>(2 * n * FRAME_BYTES));
    for (uint32_t k = 0; k < 2 * n; ++k) {
        pairs.clear();
        seam.render_frame(pairs);
        put_frame(pairs, reinterpret_cast<uint8_t*>(pcm.data()) + k * FRAME_BYTES);
    }
    return pcm;
}

double model_last_seek_ms()
{
    return seek_ms;
}
