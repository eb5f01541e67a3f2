#include "app/loop_panel.h"

#include "app/app.h"
#include "app/audio_output.h"
#include "app/save_dialog.h"
#include "app/song_study.h"
#include "app/song_view.h"
#include "app/sound_model.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/heard.h"
#include "edit/intro_loop.h"
#include "edit/loop_facts.h"
#include "edit/names.h"
#include "song/position_text.h"
#include "song/song.h"
#include "song/song_time.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

ChosenLoop chosen_loop;

namespace {

// Candidates shown; the exact start of each costs a walk of the song.
constexpr size_t LIST_MAX = 50;

QListWidget* loop_list;
QPushButton* save_button;
QPushButton* hear_button;
SongStudy* study;   // finds the loops, and the view's sketch, off the GUI thread
QLabel* loop_note;  // what is true of the chosen loop, or why there is none
QLineEdit* start_field;
QLineEdit* period_field;
// The candidate and the loop of each row of the list; a loop's period is 0
// for a row that does not chain.
std::vector<LoopCandidate> candidates;
std::vector<ChosenLoop> rows;
LoopFacts chosen_facts;  // of chosen_loop, when valid

QByteArray seam;       // the sound the seam plays, empty when it does not play
uint64_t seam_pos;     // frames pushed since it started
ChosenLoop seam_loop;  // the loop it plays the join of

QString time_and_frame(uint32_t frame)
{
    char time[16];
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(format_time(frame, time))).arg(frame);
}

QString time_of(uint32_t frames)
{
    char time[16];
    return QString::fromLatin1(format_time(frames, time));
}

void start_seam(const ChosenLoop& loop)
{
    seam_loop = loop;
    seam = model_seam_sound(loop.start, loop.period);
    seam_pos = 0;
}

// The note under the list takes room in the window only when it says
// something.
void set_note(const QString& text)
{
    loop_note->setText(text);
    loop_note->setVisible(!text.isEmpty());
}

void show_no_loop(const QString& why)
{
    chosen_loop = ChosenLoop{};
    set_note(why);
    view_set_loop(false, 0, 0);
}

// The loop of facts becomes the chosen one: the view shades its
// repetition, the note says what is true of it.
void show_loop(const LoopFacts& facts)
{
    chosen_loop = ChosenLoop{true, facts.start, facts.period};
    chosen_facts = facts;
    view_set_loop(true, facts.start, facts.period, facts.to_end ? 0 : facts.repeat_end - facts.start - facts.period);
    QStringList lines;
    for (const QByteArray& line : {start_moved_text(facts), left_out_text(facts), alone_text(facts)})
        if (!line.isEmpty())
            lines.append(QString::fromUtf8(line));
    set_note(lines.join(QLatin1Char('\n')));
}

void fill_fields(const ChosenLoop& loop)
{
    start_field->setText(loop.valid ? QString::number(loop.start) : QString());
    period_field->setText(loop.valid ? QString::number(loop.period) : QString());
}

// The facts of a loop the user chose: a row's own when it is that row's loop.
LoopFacts facts_of(const ChosenLoop& loop)
{
    if (chosen_loop.valid && chosen_loop.start == loop.start && chosen_loop.period == loop.period)
        return chosen_facts;
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].valid && rows[r].start == loop.start && rows[r].period == loop.period)
            return loop_facts(candidates[r].start, loop.start, loop.period);
    return loop_facts(loop.start, loop.start, loop.period);
}

// The fields' loop, or why they name none that chains (empty when it
// chains or when both are empty).
QString read_fields(ChosenLoop* loop)
{
    *loop = ChosenLoop{};
    const QByteArray start_text = start_field->text().trimmed().toUtf8();
    const QByteArray period_text = period_field->text().trimmed().toUtf8();
    if (start_text.isEmpty() && period_text.isEmpty())
        return {};
    uint32_t start = 0, period = 0;
    if (!parse_position(start_text, &start))
        return QStringLiteral("The start needs a frame or a time, not '%1'").arg(QString::fromUtf8(start_text));
    if (!parse_position(period_text, &period) || period == 0)
        return QStringLiteral("The period needs a frame count or a time of at least 1 frame, not '%1'")
            .arg(QString::fromUtf8(period_text));
    const QByteArray refused = loop_refusal_text(start, period);
    if (!refused.isEmpty())
        return QString::fromUtf8(refused);
    *loop = ChosenLoop{true, start, period};
    return {};
}

// The user chose row r: the loop, its fields and the cut position go to
// its start.
void choose_row(int r)
{
    if (r < 0 || static_cast<size_t>(r) >= rows.size() || !rows[r].valid)
        return;
    // A click also changes the current row: the second call finds the facts
    // worked out by the first (or by the look, for the row it chose).
    const ChosenLoop& row = rows[r];
    const bool known = chosen_loop.valid && chosen_loop.start == row.start && chosen_loop.period == row.period
        && chosen_facts.candidate_start == std::min(candidates[r].start, row.start);
    show_loop(known ? chosen_facts : loop_facts(candidates[r].start, row.start, row.period));
    fill_fields(chosen_loop);
    cut_slider->setSliderPosition(static_cast<int>(chosen_loop.start));
    if (!seam.isEmpty())
        start_seam(chosen_loop);
}

void choose_clicked(QListWidgetItem* item)
{
    choose_row(loop_list->row(item));
}

// The fields edited: a loop that chains becomes the chosen one; one that
// does not is told in the note.
void fields_edited()
{
    ChosenLoop typed;
    const QString refused = read_fields(&typed);
    if (typed.valid && chosen_loop.valid && typed.start == chosen_loop.start && typed.period == chosen_loop.period)
        return;
    {
        const QSignalBlocker quiet(loop_list);
        loop_list->setCurrentRow(-1);
        for (size_t r = 0; r < rows.size(); ++r)
            if (typed.valid && rows[r].valid && rows[r].start == typed.start && rows[r].period == typed.period)
                loop_list->setCurrentRow(static_cast<int>(r));
    }
    if (typed.valid)
        show_loop(facts_of(typed));
    else
        show_no_loop(refused);
}

// The loop "Save &intro and loop" and "&Hear the seam" use; false after a
// box saying why there is none.
bool loop_to_use(ChosenLoop* loop)
{
    if (!typed_loop(loop))
        return false;
    if (loop->valid)
        return true;
    show_error_box(QStringLiteral("No loop that chains exactly!"));
    return false;
}

void save_intro_and_loop_clicked()
{
    ChosenLoop loop;
    if (!loop_to_use(&loop))
        return;
    const LoopFacts facts = facts_of(loop);
    if (!facts.to_end
        && !ask_yes_no(QStringLiteral("The loop does not run to the song's end; %1.\nSave the intro and loop anyway?")
                           .arg(QString::fromUtf8(left_out_text(facts)))))
        return;
    const SaveName name = ask_save_name();
    if (name.chosen.isEmpty())
        return;
    const QByteArray head = head_name(name.chosen);
    if (!may_replace(name, {intro_name(head), loop_name(head)}))
        return;
    if (save_intro_and_loop(name.chosen, loop.start, loop.period))
        show_written({intro_name(head), loop_name(head)});
}

void hear_seam_clicked()
{
    ChosenLoop loop;
    if (!loop_to_use(&loop))
        return;
    playing = 0;
    start_seam(loop);
}

void show_loops(LoopStudy& found);

}  // namespace

bool typed_loop(ChosenLoop* loop)
{
    const QString refused = read_fields(loop);
    if (refused.isEmpty())
        return true;
    show_error_box(refused);
    return false;
}

QWidget* make_loop_panel()
{
    loop_list = new QListWidget();
    loop_list->setObjectName(QStringLiteral("loop_list"));
    loop_list->setMaximumHeight(100);
    // A row at least: on a small screen the window's height goes to the
    // song view first.
    loop_list->setMinimumHeight(loop_list->fontMetrics().height() + 2 * loop_list->frameWidth() + 6);
    loop_note = new QLabel();
    loop_note->setObjectName(QStringLiteral("loop_note"));
    loop_note->setWordWrap(true);
    // The whole width of the box: on a small screen the note wraps onto as
    // few lines as it can.
    loop_note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    start_field = new QLineEdit();
    start_field->setObjectName(QStringLiteral("loop_start"));
    start_field->setToolTip(QStringLiteral("Where the loop piece begins: a frame or a time (0:30.760, 30.76s)"));
    period_field = new QLineEdit();
    period_field->setObjectName(QStringLiteral("loop_period"));
    period_field->setToolTip(QStringLiteral("The loop's period: frames or a time (0:15.360, 15.36s)"));
    auto* start_label = new QLabel(QStringLiteral("Sta&rt"));
    start_label->setBuddy(start_field);
    auto* period_label = new QLabel(QStringLiteral("E&very"));
    period_label->setBuddy(period_field);
    auto* save = save_button = new QPushButton(QStringLiteral("Save &intro and loop"));
    auto* hear = hear_button = new QPushButton(QStringLiteral("&Hear the seam"));
    study = new SongStudy(LIST_MAX, view_set_sketch, show_loops);
    QObject::connect(loop_list, &QListWidget::currentRowChanged, choose_row);
    QObject::connect(loop_list, &QListWidget::itemClicked, choose_clicked);
    QObject::connect(start_field, &QLineEdit::editingFinished, fields_edited);
    QObject::connect(period_field, &QLineEdit::editingFinished, fields_edited);
    QObject::connect(save, &QPushButton::clicked, save_intro_and_loop_clicked);
    QObject::connect(hear, &QPushButton::clicked, hear_seam_clicked);

    auto* fields = new QHBoxLayout;
    fields->addWidget(start_label);
    fields->addWidget(start_field, 1);
    fields->addWidget(period_label);
    fields->addWidget(period_field, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(loop_list, 1);
    left->addLayout(fields);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(hear);
    buttons->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(buttons, 0);
    auto* layout = new QVBoxLayout;
    layout->addLayout(top, 1);
    layout->addWidget(loop_note);
    auto* box = new QGroupBox(QStringLiteral("Loops"));
    box->setLayout(layout);
    loop_panel_song_read();
    return box;
}

void loop_panel_song_read()
{
    seam_stop();
    chosen_loop = ChosenLoop{};
    rows.clear();
    candidates.clear();
    if (!loop_list)
        return;
    study->stop();
    const QSignalBlocker quiet(loop_list);
    loop_list->clear();
    save_button->setEnabled(true);
    hear_button->setEnabled(true);
    start_field->clear();
    period_field->clear();
    set_note(QString());
    if (frame_count == 0)
        return;
    loop_list->addItem(QStringLiteral("Finding loops..."));
    loop_list->item(0)->setFlags(Qt::NoItemFlags);
    save_button->setEnabled(false);
    hear_button->setEnabled(false);
    study->start(song_view ? song_view->size() : QSize());
}

void loop_panel_song_changing()
{
    if (study)
        study->stop();
}

bool loop_panel_finding()
{
    return study && study->busy();
}

namespace {

void show_loops(LoopStudy& found)
{
    const std::vector<LoopCandidate>& loops = found.loops;
    const QSignalBlocker quiet(loop_list);
    loop_list->clear();
    save_button->setEnabled(true);
    hear_button->setEnabled(true);
    if (loops.empty()) {
        loop_list->addItem(QStringLiteral("No loop of 5 s or more"));
        loop_list->item(0)->setFlags(Qt::NoItemFlags);
        rows.push_back(ChosenLoop{});
        candidates.push_back(LoopCandidate{});
        show_no_loop(QString::fromUtf8(no_loop_text(loops)));
        return;
    }
    const int best = found.best;
    for (size_t k = 0; k < found.listed; ++k) {
        ChosenLoop row{found.chains[k], found.exact[k], loops[k].period};
        QString text = QStringLiteral("start %1, period %2, for %3: %4")
                           .arg(time_and_frame(row.start), time_and_frame(row.period), time_of(loops[k].length),
                                QString::fromUtf8(candidate_reach_text(loops[k])));
        if (!row.valid)
            text += QStringLiteral(": does not repeat exactly");
        loop_list->addItem(text);
        if (!row.valid)
            loop_list->item(static_cast<int>(k))->setFlags(Qt::NoItemFlags);
        rows.push_back(row);
        candidates.push_back(loops[k]);
    }
    if (best >= 0 && static_cast<size_t>(best) < rows.size() && rows[best].valid) {
        loop_list->setCurrentRow(best);
        show_loop(found.best_facts);
        fill_fields(chosen_loop);
    } else {
        show_no_loop(QString::fromUtf8(no_loop_text(loops)));
    }
}

}  // namespace

bool seam_tick()
{
    if (seam.isEmpty())
        return false;
    if (playing) {
        seam_stop();
        return false;
    }
    const qsizetype frames_in = seam.size() / FRAME_BYTES;
    const qsizetype at = static_cast<qsizetype>(seam_pos % static_cast<uint64_t>(frames_in)) * FRAME_BYTES;
    fifo_push_block(reinterpret_cast<const uint8_t*>(seam.constData() + at), FRAME_BYTES);
    ++seam_pos;
    fifo_set_producing(true);
    return true;
}

void seam_stop()
{
    const bool was = !seam.isEmpty();
    seam.clear();
    if (was)
        view_show_positions();
}

bool seam_heard_frame(uint32_t* frame)
{
    if (seam.isEmpty())
        return false;
    const uint64_t in_seam = static_cast<uint64_t>(seam.size() / FRAME_BYTES);
    // The song's rule for the frame heard, counted in frames of the seam,
    // which goes round.
    const uint32_t pushed = static_cast<uint32_t>(std::min<uint64_t>(seam_pos, UINT32_MAX));
    const uint64_t k = heard_frame(pushed, 0, audio_queued_bytes()) % in_seam;
    const uint64_t n = in_seam / 2;
    *frame = static_cast<uint32_t>(k < n ? seam_loop.start + seam_loop.period - n + k : seam_loop.start + (k - n));
    return true;
}

const QByteArray& seam_playing_sound()
{
    return seam;
}

uint64_t seam_frames_pushed()
{
    return seam_pos;
}
