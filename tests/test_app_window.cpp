// The main window as it is built at start-up, driven on the offscreen
// platform: its widgets and their order, mnemonics, the controller's slots.
#include "app/app.h"
#include "app/myclass.h"
#include "app/song_view.h"
#include "app/wrapping_row.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/psg_data.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

const char* const upper_row[] = {"&Load file", "Appen&d file", "&Cut", "Cut and &Save", "S&ave"};
const char* const lower_row[] = {"Pla&y",           "Play from &Begin",  "Play from C&ut Position", "Cut positi&on <",
                                 "Cut &position >", "S&et cut position", "&Find periodic",          "S&top"};

QChar mnemonic(const QString& caption)
{
    return caption.at(caption.indexOf(QLatin1Char('&')) + 1).toLower();
}

bool inside_the_window(const QWidget* w)
{
    return main_window->rect().contains(QRect(w->mapTo(main_window, QPoint(0, 0)), w->size()));
}

// Whether the row's widgets are in order, left to right and line by line;
// lines: how many lines they take.
bool in_order(const QLayout* row, int* lines)
{
    *lines = 1;
    for (int i = 1; i < row->count(); ++i) {
        const QRect a = row->itemAt(i - 1)->geometry(), b = row->itemAt(i)->geometry();
        if (b.top() > a.bottom())
            ++*lines;
        else if (b.top() != a.top() || b.left() <= a.right())
            return false;
    }
    return true;
}

}  // namespace

class TestAppWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { start_app(); }

    void window_is_laid_out_as_designed()
    {
        auto* v = qobject_cast<QVBoxLayout*>(main_window->layout());
        QVERIFY(v);
        QCOMPARE(v->count(), 8);
        QCOMPARE(v->itemAt(7)->widget(), song_view);  // the song view, lowest

        auto* h1 = dynamic_cast<WrappingRow*>(v->itemAt(0)->layout());
        QVERIFY(h1);
        QCOMPARE(h1->count(), 7);
        for (int i = 0; i < 5; ++i) {
            auto* b = qobject_cast<QPushButton*>(h1->itemAt(i)->widget());
            QVERIFY(b);
            QCOMPARE(b->text(), QString::fromLatin1(upper_row[i]));
        }
        QCOMPARE(h1->itemAt(5)->widget(), progress_bar);
        QCOMPARE(qobject_cast<QPushButton*>(h1->itemAt(6)->widget())->text(), QStringLiteral("&Quit"));

        auto* play_box = qobject_cast<QGroupBox*>(v->itemAt(1)->widget());
        auto* cut_box = qobject_cast<QGroupBox*>(v->itemAt(2)->widget());
        QVERIFY(play_box && cut_box);
        QCOMPARE(play_box->title(), QStringLiteral("Play position"));
        QCOMPARE(cut_box->title(), QStringLiteral("Cut position"));
        QCOMPARE(play_box->layout()->itemAt(0)->widget(), play_slider);
        QCOMPARE(cut_box->layout()->itemAt(0)->widget(), cut_slider);
        QCOMPARE(v->itemAt(3)->widget(), status_label);

        auto* h2 = dynamic_cast<WrappingRow*>(v->itemAt(4)->layout());
        QVERIFY(h2);
        QCOMPARE(h2->count(), 8);
        for (int i = 0; i < 8; ++i) {
            auto* b = qobject_cast<QPushButton*>(h2->itemAt(i)->widget());
            QVERIFY(b);
            QCOMPARE(b->text(), QString::fromLatin1(lower_row[i]));
        }
        // Below them the loops: their list and two buttons of their own.
        auto* loops_box = qobject_cast<QGroupBox*>(v->itemAt(5)->widget());
        QVERIFY(loops_box);
        QCOMPARE(loops_box->title(), QStringLiteral("Loops"));
        QCOMPARE(loops_box->findChildren<QPushButton*>().size(), 2);
        // Then "E&xport..." and the line that names what was written.
        const auto exports = v->itemAt(6)->widget()->findChildren<QPushButton*>();
        QCOMPARE(exports.size(), 1);
        QCOMPARE(exports[0]->text(), QStringLiteral("E&xport..."));
        QCOMPARE(main_window->findChildren<QPushButton*>().size(), 17);
    }

    // The button rows wrap where the window is narrow, and only there.
    void every_caption_is_whole_data()
    {
        QTest::addColumn<QSize>("asked");
        QTest::addColumn<QSize>("got");     // empty: whatever the window allows
        QTest::addColumn<bool>("wrapped");  // a row of buttons takes more than a line
        QTest::newRow("at its smallest") << QSize(1, 1) << QSize() << true;
        QTest::newRow("a small screen, 640x480") << QSize(640, 480) << QSize(640, 480) << true;
        QTest::newRow("as it starts") << QSize(980, 700) << QSize(980, 700) << false;
    }
    void every_caption_is_whole()
    {
        QFETCH(QSize, asked);
        QFETCH(QSize, got);
        QFETCH(bool, wrapped);
        main_window->resize(asked);
        pump(50);
        if (got.isValid())
            QCOMPARE(main_window->size(), got);
        int lines[2];
        QVERIFY(in_order(main_window->layout()->itemAt(0)->layout(), &lines[0]));
        QVERIFY(in_order(main_window->layout()->itemAt(4)->layout(), &lines[1]));
        QCOMPARE(lines[0] + lines[1] > 2, wrapped);
        for (QPushButton* b : main_window->findChildren<QPushButton*>()) {
            QStyleOptionButton option;
            option.initFrom(b);
            option.rect = b->rect();
            const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
            const QString caption = QString(b->text()).remove(QLatin1Char('&'));
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(caption) <= room.width(), qPrintable(caption));
            QVERIFY2(inside_the_window(b), qPrintable(caption));
        }
        for (QGroupBox* box : main_window->findChildren<QGroupBox*>())
            QVERIFY2(QFontMetrics(box->font()).horizontalAdvance(box->title()) < box->width(),
                     qPrintable(box->title()));
        QVERIFY(QFontMetrics(status_label->font()).horizontalAdvance(status_label->text()) <= status_label->width());
        QVERIFY(song_view->height() >= 120);
        QVERIFY(inside_the_window(song_view));
        main_window->resize(980, 700);
    }

    void starts_with_an_empty_song()
    {
        for (QSlider* s : {play_slider, cut_slider}) {
            QCOMPARE(s->orientation(), Qt::Horizontal);
            QCOMPARE(s->minimum(), 0);
            QCOMPARE(s->maximum(), 0);
            QCOMPARE(s->singleStep(), 1);
            QVERIFY(s->hasTracking());
        }
        QCOMPARE(status_label->text(),
                 QStringLiteral("Play position=0:00:00.000, Cut position=0:00:00.000, Length=0:00:00.000"));
        QCOMPARE(progress_bar->value(), -1);
        QCOMPARE(progress_bar->maximum(), 100);
        QCOMPARE(frame_count, 0u);
        pump(100);  // the clock ticks without effect
        QCOMPARE(status_label->text(),
                 QStringLiteral("Play position=0:00:00.000, Cut position=0:00:00.000, Length=0:00:00.000"));
    }

    void controller_declares_its_sixteen_slots_in_order()
    {
        const QMetaObject& mo = MyClass::staticMetaObject;
        QCOMPARE(QString::fromLatin1(mo.className()), QStringLiteral("MyClass"));
        const char* expected[]
            = {"openfile()", "savefile()",     "cut()",         "play1()",       "play2()",  "play3()",
               "set()",      "stop()",         "cp()",          "cpp()",         "append()", "save()",
               "find()",     "timer_update()", "position(int)", "position1(int)"};
        QCOMPARE(mo.methodCount() - mo.methodOffset(), 16);
        for (int i = 0; i < 16; ++i) {
            QMetaMethod m = mo.method(mo.methodOffset() + i);
            QCOMPARE(m.methodType(), QMetaMethod::Slot);
            QCOMPARE(m.access(), QMetaMethod::Public);
            QCOMPARE(QString::fromLatin1(m.methodSignature()), QString::fromLatin1(expected[i]));
            QCOMPARE(m.returnType(), int(QMetaType::Void));
        }
    }

    void every_mnemonic_is_unique_and_alt_presses_its_button()
    {
        const auto buttons = main_window->findChildren<QPushButton*>();
        QSet<QChar> letters;
        for (auto* b : buttons)
            letters.insert(mnemonic(b->text()));
        QCOMPARE(letters.size(), 17);

        // Keep "&Quit" from ending the test: its click is counted, not acted on.
        QPushButton* quit = button(QStringLiteral("&Quit"));
        QObject::disconnect(quit, SIGNAL(clicked()), qApp, SLOT(quit()));
        for (auto* b : buttons) {
            main_window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(main_window));
            QSignalSpy spy(b, &QPushButton::clicked);
            // Commands that ask or report get a quick answer.
            answer({cancel_file(), press(QMessageBox::No), press(QMessageBox::Ok)});
            QChar letter = mnemonic(b->text());
            QTest::keyClick(main_window->windowHandle(), static_cast<char>(letter.toLatin1()), Qt::AltModifier);
            // A mnemonic animates the press; the click follows shortly after.
            QTRY_VERIFY2_WITH_TIMEOUT(spy.count() == 1, qPrintable(b->text()), 2000);
        }
        answer({});
        QObject::connect(quit, SIGNAL(clicked()), qApp, SLOT(quit()));
    }

    void window_picture_is_kept_for_people_to_look_at()
    {
        main_window->resize(main_window->sizeHint());
        QImage image = main_window->grab().toImage();
        QVERIFY(!image.isNull());
        QString path = test_output_dir() + QStringLiteral("/main-window.png");
        QVERIFY(image.save(path));
        QVERIFY(QFile::exists(path));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppWindow)
#include "test_app_window.moc"
