// The controller: its sixteen slots are the program's commands.
#pragma once

#include <QObject>

class MyClass : public QObject {
    Q_OBJECT
public slots:
    void openfile();
    void savefile();
    void cut();
    void play1();
    void play2();
    void play3();
    void set();
    void stop();
    void cp();
    void cpp();
    void append();
    void save();
    void find();
    void timer_update();
    void position(int v);
    void position1(int v);
};
