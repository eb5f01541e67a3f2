#include "app/app.h"
#include "app/myclass.h"
#include "app/audio_output.h"
#include "app/history.h"
#include "app/song_view.h"
#include "app/loop_panel.h"
#include "app/song_files.h"
#include "app/sound_model.h"
#include "app/wrapping_row.h"
#include "audio/seek.h"
#include "io/files.h"
#include "io/report.h"
#include "io/save.h"
#include "song/frontend.h"
#include "song/song.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QShortcut>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>
#include <cstdio>
#include <unistd.h>

MyClass* controller;
QTimer* play_timer;
QProgressBar* progress_bar;
QSlider* play_slider;
QSlider* cut_slider;
QLabel* status_label;
QWidget* main_window;

QGroupBox* make_group_box(const char* title, int count, QWidget* const* widgets, QBoxLayout* layout)
{
    auto* box = new QGroupBox(QString::fromLatin1(title));
    if (!layout)
        layout = new QHBoxLayout;
    for (int i = 0; i < count; ++i)
        layout->addWidget(widgets[i], 0);
    box->setLayout(layout);
    return box;
}

namespace {

// The fourteen buttons in the order they are made: caption, the slot their
// clicked() goes to (null: the application's quit()), their row and place
// in it, and the order in which they are connected.
struct ButtonSpec {
    const char* caption;
    const char* slot;
    int row;    // 0 upper, 1 lower
    int place;  // 0-based, left to right
    int connection;
};

const ButtonSpec buttons[] = {
    {"&Load file", SLOT(openfile()), 0, 0, 1},
    {"Appen&d file", SLOT(append()), 0, 1, 2},
    {"&Cut", SLOT(cut()), 0, 2, 5},
    {"Cut and &Save", SLOT(savefile()), 0, 3, 3},
    {"S&ave", SLOT(save()), 0, 4, 4},
    {"&Quit", nullptr, 0, 6, 0},
    {"Pla&y", SLOT(play1()), 1, 0, 6},
    {"Play from C&ut Position", SLOT(play2()), 1, 2, 7},
    {"Play from &Begin", SLOT(play3()), 1, 1, 8},
    {"S&et cut position", SLOT(set()), 1, 5, 9},
    {"Cut positi&on <", SLOT(cp()), 1, 3, 10},
    {"Cut &position >", SLOT(cpp()), 1, 4, 11},
    {"&Find periodic", SLOT(find()), 1, 6, 12},
    {"S&top", SLOT(stop()), 1, 7, 13},
};
constexpr int BUTTON_COUNT = sizeof buttons / sizeof buttons[0];
constexpr int PROGRESS_PLACE = 5;  // in the upper row, between "S&ave" and "&Quit"

}  // namespace

void app_start()
{
    // A file size limit fails the write, which the commands then report and
    // clean up after, instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    save_clean_up_on_signals();
    // The window does not freeze behind another Trelvane's save: it gives up
    // after a few seconds, naming the folder.
    save_lock_patience_ms = 3000;
    report.show_failure = show_failure_box;
    front_end.song_read = song_read_effects;
    front_end.song_changing = loop_panel_song_changing;

    audio_start();

    play_timer = new QTimer(main_window);
    play_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(play_timer, SIGNAL(timeout()), controller, SLOT(timer_update()));
    play_timer->start(TICK_MS);

    QPushButton* made[BUTTON_COUNT];
    for (int i = 0; i < BUTTON_COUNT; ++i)
        made[i] = new QPushButton(QString::fromLatin1(buttons[i].caption));

    progress_bar = new QProgressBar();

    play_slider = new QSlider(Qt::Horizontal);
    cut_slider = new QSlider(Qt::Horizontal);
    status_label = new QLabel();

    QObject::connect(play_slider, SIGNAL(valueChanged(int)), controller, SLOT(position(int)));
    QObject::connect(cut_slider, SIGNAL(valueChanged(int)), controller, SLOT(position1(int)));

    play_slider->setRange(0, 0);
    play_slider->setSingleStep(1);
    cut_slider->setRange(0, 0);
    cut_slider->setSingleStep(1);

    update_status();

    for (int order = 0; order < BUTTON_COUNT; ++order) {
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            if (buttons[i].connection != order)
                continue;
            if (buttons[i].slot)
                QObject::connect(made[i], SIGNAL(clicked()), controller, buttons[i].slot);
            else
                QObject::connect(made[i], SIGNAL(clicked()), qApp, SLOT(quit()));
        }
    }

    // Margins and gaps a little tighter than the style's, and the same in
    // the group boxes, so that the window fits a small screen with the song
    // view still tall enough to read.
    constexpr int GAP = 4, MARGIN = 6;
    auto* v = new QVBoxLayout;
    v->setContentsMargins(MARGIN, MARGIN, MARGIN, MARGIN);
    v->setSpacing(GAP);
    // The two rows of buttons wrap onto more lines in a narrow window, so
    // that every caption stays whole on a small screen.
    WrappingRow* rows[2] = {new WrappingRow, new WrappingRow};
    v->addLayout(rows[0], 0);
    QWidget* play_widgets[] = {play_slider};
    QGroupBox* play_box = make_group_box("Play position", 1, play_widgets);
    play_box->layout()->addWidget(make_model_choice());  // which chip is heard
    v->addWidget(play_box, 0);
    QWidget* cut_widgets[] = {cut_slider};
    QGroupBox* cut_box = make_group_box("Cut position", 1, cut_widgets);
    v->addWidget(cut_box, 0);
    v->addWidget(status_label, 0);
    v->addLayout(rows[1], 0);
    QWidget* loop_box = make_loop_panel();
    v->addWidget(loop_box, 0);
    for (QWidget* box : {static_cast<QWidget*>(play_box), static_cast<QWidget*>(cut_box), loop_box}) {
        box->layout()->setContentsMargins(MARGIN, GAP / 2, MARGIN, GAP);  // the title is above
        box->layout()->setSpacing(GAP);
    }
    v->addWidget(make_export_row(), 0);
    for (int row = 0; row < 2; ++row) {
        for (int place = 0; place <= BUTTON_COUNT; ++place) {
            if (row == 0 && place == PROGRESS_PLACE)
                rows[row]->addWidget(progress_bar);
            for (int i = 0; i < BUTTON_COUNT; ++i)
                if (buttons[i].row == row && buttons[i].place == place)
                    rows[row]->addWidget(made[i]);
        }
    }

    // Anything else the window gets goes above this: the song view stays
    // the lowest part, and takes the height the window is given.
    song_view = new SongView();
    v->addWidget(song_view, 1);

    main_window = new QWidget();
    main_window->setLayout(v);
    fit_minimum_size(main_window);
    main_window->resize(980, 700);
    history_show_title();
    watch_window(main_window);
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), main_window);
    QObject::connect(undo, &QShortcut::activated, [] { history_undo(); });
    auto* redo = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), main_window);
    QObject::connect(redo, &QShortcut::activated, [] { history_redo(); });
    main_window->show();
}

void app_exit(int status)
{
    io_remove_tmpfiles();
    fflush(stdout);
    fflush(stderr);
    _exit(status);
}

int app_main()
{
    controller = new MyClass();
    int argc = 0;
    QApplication app(argc, nullptr);
    // Ties the window to its desktop entry (data/), for its name and icon
    // in the task bar.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.trelvane.Trelvane"));
    app_start();
    app_exit(app.exec());
}
