#include "app/app.h"
#include "app/myclass.h"
#include "io/report.h"
#include "song/song.h"
#include "song/song_time.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

void update_status()
{
    char length[16], cut[16], play[16], text[100];
    format_time(frame_count, length);
    format_time(cut_pos, cut);
    format_time(heard_pos(), play);
    snprintf(text, sizeof text, "Play position=%s, Cut position=%s, Length=%s", play, cut, length);
    status_label->setText(QString::fromLatin1(text));
}

void show_error_box(const QString& text)
{
    QMessageBox box;
    box.setText(text);
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(QStringLiteral("Trelvane"));
    box.exec();
}

void show_failure_box(const Failure& failure)
{
    show_error_box(failure_text(failure));
}

bool ask_yes_no(const char* text)
{
    return ask_yes_no(QString::fromLatin1(text));
}

bool ask_yes_no(const QString& text)
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Trelvane"));
    box.setText(text);
    box.setStandardButtons(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    box.setDefaultButton(no);
    return box.exec() == QMessageBox::Yes;
}

QString tr(const char* text)
{
    return MyClass::tr(text);
}
