#include "app/app.h"
#include "app/myclass.h"
#include "audio/audio_output.h"
#include "io/files.h"
#include "song/frontend.h"
#include "song/song.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <initializer_list>
#include <unistd.h>

MyClass* controller;
QTimer* play_timer;
QProgressBar* progress_bar;
QSlider* play_slider;
QSlider* cut_slider;
QLabel* status_label;
QWidget* main_window;

namespace {

void song_read_effects()
{
    update_status();
    play_slider->setRange(0, static_cast<int>(frame_count));
    play_slider->setSliderPosition(0);
    cut_slider->setRange(0, static_cast<int>(frame_count));
    cut_slider->setSliderPosition(0);
}

}  // namespace

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

void app_start()
{
    front_end.show_error = show_error_box;
    front_end.song_read = song_read_effects;

    audio_start();

    play_timer = new QTimer(main_window);
    play_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(play_timer, SIGNAL(timeout()), controller, SLOT(timer_update()));
    play_timer->start(TICK_MS);

    auto* load = new QPushButton(QStringLiteral("&Load file"));
    auto* add = new QPushButton(QStringLiteral("Appen&d file"));
    auto* cut = new QPushButton(QStringLiteral("&Cut"));
    auto* cut_save = new QPushButton(QStringLiteral("Cut and &Save"));
    auto* save = new QPushButton(QStringLiteral("S&ave"));
    auto* quit = new QPushButton(QStringLiteral("&Quit"));
    auto* play = new QPushButton(QStringLiteral("Pla&y"));
    auto* play_cut = new QPushButton(QStringLiteral("Play from C&ut Position"));
    auto* play_begin = new QPushButton(QStringLiteral("Play from &Begin"));
    auto* set = new QPushButton(QStringLiteral("S&et cut position"));
    auto* back = new QPushButton(QStringLiteral("Cut positi&on <"));
    auto* forward = new QPushButton(QStringLiteral("Cut &position >"));
    auto* find = new QPushButton(QStringLiteral("&Find periodic"));
    auto* stop = new QPushButton(QStringLiteral("S&top"));

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

    QObject::connect(quit, SIGNAL(clicked()), qApp, SLOT(quit()));
    QObject::connect(load, SIGNAL(clicked()), controller, SLOT(openfile()));
    QObject::connect(add, SIGNAL(clicked()), controller, SLOT(append()));
    QObject::connect(cut_save, SIGNAL(clicked()), controller, SLOT(savefile()));
    QObject::connect(save, SIGNAL(clicked()), controller, SLOT(save()));
    QObject::connect(cut, SIGNAL(clicked()), controller, SLOT(cut()));
    QObject::connect(play, SIGNAL(clicked()), controller, SLOT(play1()));
    QObject::connect(play_cut, SIGNAL(clicked()), controller, SLOT(play2()));
    QObject::connect(play_begin, SIGNAL(clicked()), controller, SLOT(play3()));
    QObject::connect(set, SIGNAL(clicked()), controller, SLOT(set()));
    QObject::connect(back, SIGNAL(clicked()), controller, SLOT(cp()));
    QObject::connect(forward, SIGNAL(clicked()), controller, SLOT(cpp()));
    QObject::connect(find, SIGNAL(clicked()), controller, SLOT(find()));
    QObject::connect(stop, SIGNAL(clicked()), controller, SLOT(stop()));

    auto* v = new QVBoxLayout;
    auto* h1 = new QHBoxLayout;
    auto* h2 = new QHBoxLayout;
    v->addLayout(h1, 0);
    QWidget* play_widgets[] = {play_slider};
    v->addWidget(make_group_box("Play position", 1, play_widgets), 0);
    QWidget* cut_widgets[] = {cut_slider};
    v->addWidget(make_group_box("Cut position", 1, cut_widgets), 0);
    v->addWidget(status_label, 0);
    v->addLayout(h2, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{load, add, cut, cut_save, save, progress_bar, quit})
        h1->addWidget(w, 0);
    for (QPushButton* b : {play, play_begin, play_cut, back, forward, set, find, stop})
        h2->addWidget(b, 0);

    main_window = new QWidget();
    main_window->setLayout(v);
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
