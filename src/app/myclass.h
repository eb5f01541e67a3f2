// The controller: its sixteen slots are the program's commands.
#pragma once

#include <QObject>

class MyClass : public QObject {
    Q_OBJECT
public slots:
    void openfile();        // "&Load file"
    void savefile();        // "Cut and &Save"
    void cut();             // "&Cut"
    void play1();           // "Pla&y": go on from the play position
    void play2();           // "Play from C&ut Position"
    void play3();           // "Play from &Begin"
    void set();             // "S&et cut position": the cut slider to the play position
    void stop();            // "S&top"
    void cp();              // "Cut positi&on <": the cut position one frame back
    void cpp();             // "Cut &position >": the cut position one frame on
    void append();          // "Appen&d file"
    void save();            // "S&ave"
    void find();            // "&Find periodic"
    void timer_update();    // the 20 ms tick of the playback clock
    void position(int v);   // the play slider moved: seek the play position
    void position1(int v);  // the cut slider moved: set the cut position
};
