#include "app/loop_panel.h"

#include "app/app.h"
#include "app/save_dialog.h"
#include "app/song_study.h"
#include "app/song_view.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "edit/intro_loop.h"
#include "edit/names.h"
#include "song/frontend.h"
#include "song/song.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <vector>

ChosenLoop chosen_loop;

namespace {

// Candidates shown; the exact start of each costs a walk of the song.
constexpr size_t LIST_MAX = 50;

QListWidget* loop_list;
QPushButton* save_button;
QPushButton* hear_button;
SongStudy* study;  // finds the loops, and the view's sketch, off the GUI thread
// The loop of each row of the list; period 0 for a row that does not chain.
std::vector<ChosenLoop> rows;

QByteArray seam;  // the sound the seam plays, empty when it does not play
uint64_t seam_pos;  // frames pushed since it started

QString time_and_frame(uint32_t frame)
{
    char time[16];
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(format_time(frame, time))).arg(frame);
}

void start_seam()
{
    seam = seam_sound(chosen_loop.start, chosen_loop.period);
    seam_pos = 0;
}

// The user chose row r: the loop and the cut position go to its start.
void choose_row(int r)
{
    if (r < 0 || static_cast<size_t>(r) >= rows.size() || !rows[r].valid)
        return;
    chosen_loop = rows[r];
    view_set_loop(true, chosen_loop.start, chosen_loop.period);
    cut_slider->setSliderPosition(static_cast<int>(chosen_loop.start));
    if (!seam.isEmpty())
        start_seam();
}

void choose_clicked(QListWidgetItem* item)
{
    choose_row(loop_list->row(item));
}

bool loop_chosen()
{
    if (chosen_loop.valid)
        return true;
    show_error_box(QStringLiteral("No loop that chains exactly!"));
    return false;
}

void save_intro_and_loop_clicked()
{
    if (!loop_chosen())
        return;
    const SaveName name = ask_save_name();
    if (name.chosen.isEmpty())
        return;
    const QByteArray head = head_name(name.chosen);
    if (!may_replace(name, {intro_name(head), loop_name(head)}))
        return;
    save_intro_and_loop(name.chosen, chosen_loop.start, chosen_loop.period);
}

void hear_seam_clicked()
{
    if (!loop_chosen())
        return;
    playing = 0;
    start_seam();
}

void show_loops(LoopStudy& found);

}  // namespace

QWidget* make_loop_panel()
{
    loop_list = new QListWidget();
    loop_list->setObjectName(QStringLiteral("loop_list"));
    loop_list->setMaximumHeight(100);
    auto* save = save_button = new QPushButton(QStringLiteral("Save &intro and loop"));
    auto* hear = hear_button = new QPushButton(QStringLiteral("&Hear the seam"));
    study = new SongStudy(LIST_MAX, view_set_sketch, show_loops);
    QObject::connect(loop_list, &QListWidget::currentRowChanged, choose_row);
    QObject::connect(loop_list, &QListWidget::itemClicked, choose_clicked);
    QObject::connect(save, &QPushButton::clicked, save_intro_and_loop_clicked);
    QObject::connect(hear, &QPushButton::clicked, hear_seam_clicked);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(hear);
    buttons->addStretch();
    auto* layout = new QHBoxLayout;
    layout->addWidget(loop_list, 1);
    layout->addLayout(buttons, 0);
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
    if (!loop_list)
        return;
    study->stop();
    const QSignalBlocker quiet(loop_list);
    loop_list->clear();
    save_button->setEnabled(true);
    hear_button->setEnabled(true);
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
        return;
    }
    const int best = found.best;
    for (size_t k = 0; k < found.listed; ++k) {
        ChosenLoop row{found.chains[k], found.exact[k], loops[k].period};
        QString text = QStringLiteral("start %1, period %2").arg(time_and_frame(row.start), time_and_frame(row.period));
        if (!row.valid)
            text += QStringLiteral(": does not repeat exactly");
        loop_list->addItem(text);
        if (!row.valid)
            loop_list->item(static_cast<int>(k))->setFlags(Qt::NoItemFlags);
        rows.push_back(row);
    }
    if (best >= 0 && static_cast<size_t>(best) < rows.size()) {
        chosen_loop = rows[best];
        loop_list->setCurrentRow(best);
        view_set_loop(chosen_loop.valid, chosen_loop.start, chosen_loop.period);
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
    seam.clear();
}

const QByteArray& seam_playing_sound()
{
    return seam;
}

uint64_t seam_frames_pushed()
{
    return seam_pos;
}
