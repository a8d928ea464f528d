#include "SummaryTest.h"
#include "database/EntryFrame.h"
#include "database/ProgressDialog.h"
#include "model/PendingBooking.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/LookupComboBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <ctime>

using namespace platform;

class TestSummary : public SummaryTest {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void bookTwoFramesWithConfirmationAndProgress_data() { addEngineRows(); }
    void bookTwoFramesWithConfirmationAndProgress() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        Task* small = task(QStringLiteral("small"), 1 + 20.0 / 60, 2, 1, QStringLiteral("a\r\nb"));
        task(QStringLiteral("big"), 2.5, 1, 2, QStringLiteral("big one"));
        task(QStringLiteral("none"), 0);
        child<QCheckBox>(summary_.get(), "CheckBox1")->setChecked(false);
        summary_->showSummary();
        QCOMPARE(frame(0)->taskName(), QStringLiteral("big"));
        QCOMPARE(f_->tasks()[0], small); // the list keeps the user's order
        QCOMPARE(child<QLineEdit>(frame(1), "Edit2")->text(), QStringLiteral("1.33"));
        QCOMPARE(child<QLineEdit>(frame(2), "Edit2")->text(), QStringLiteral("0.00"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("3.83"));
        typeHours(1, QStringLiteral("1.2345"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("3.73"));
        child<QLineEdit>(frame(0), "Edit1")->setText(QStringLiteral("0"));
        int positionAtSuccess = 0;
        f_->boxes.onShow = [&](const ScriptedMessageBox::Box& b) {
            if (b.caption == QLatin1String("Information")) {
                positionAtSuccess = child<QProgressBar>(progress_.get(), "ProgressBar1")->value();
                QVERIFY(progress_->isVisible());
            }
        };
        save();
        const QString today = shortDateText(platform::today());
        QCOMPARE(f_->boxes.shown.at(0).text,
                 QStringLiteral("Are you sure to save following records to database ?\r\n\r\n") +
                     today + QStringLiteral(" - Project 1 : 2.50 h (big)\r\n") + today +
                     QStringLiteral(" - Project 2 : 1.2345 h (small)\r\n\r\nTotal: 3.73 h"));
        QCOMPARE(child<QProgressBar>(progress_.get(), "ProgressBar1")->maximum(), 40);
        QCOMPARE(positionAtSuccess, 40);
        QVERIFY(!progress_->isVisible());
        QCOMPARE(records(), 2);
        QCOMPARE(booked(QStringLiteral("Cas"), QStringLiteral("id_Usek = 2")).toDouble(), 1.2345);
        QCOMPARE(booked(QStringLiteral("id_Chyba"), QStringLiteral("id_Usek = 1")).toInt(), 0);
        QVERIFY(booked(QStringLiteral("id_Chyba"), QStringLiteral("id_Usek = 2")).isNull());
        QCOMPARE(booked(QStringLiteral("Popis"), QStringLiteral("id_Usek = 2")).toString(),
                 QStringLiteral("a\r\nb"));
        QVERIFY(summary_->isVisible()); // without the reset option the dialog stays
        QCOMPARE(small->hours(), 1 + 20.0f / 60);
        // The time stays, booked: the dialog and the next opening propose none of it, and
        // booking it again is asked about, saying when it was booked.
        QCOMPARE(child<QLineEdit>(frame(0), "Edit2")->text(), QStringLiteral("0.00"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("0.00"));
        summary_->showSummary();
        QCOMPARE(frame(2)->taskName(), QStringLiteral("small")); // none proposed: by name
        QCOMPARE(child<QLineEdit>(frame(2), "Edit2")->text(), QStringLiteral("0.00"));
        typeHours(2, QStringLiteral("1"));
        f_->boxes.shown.clear();
        save(false);
        QVERIFY2(f_->boxes.last().text.startsWith(
                     QStringLiteral(
                         "1.33 h of \"small\" were booked already, on %1 at 12:00; 0.00 h are ")
                         .arg(today)),
                 qPrintable(f_->boxes.last().text));
        QCOMPARE(records(), 2);
        f_->boxes.answer(MsgAnswer::Yes);
        save();
        QCOMPARE(records(), 3);
    }

    // A day of many tasks: each books its own hours and text, and the bar moves now and
    // then, not for every record, and is full when the result shows.
    void manyTasksEachBookedOnce_data() { addEngineRows(); }
    void manyTasksEachBookedOnce() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        const int count = 230;
        const auto hours = [](int i) { return (i % 4 + 1) / 4.0; };
        for (int i = 0; i < count; ++i)
            task(QStringLiteral("t%1").arg(i), hours(i), 1 + i % 2, 1 + i % 2,
                 QStringLiteral("text %1").arg(i));
        summary_->showSummary();
        auto* bar = child<QProgressBar>(progress_.get(), "ProgressBar1");
        int moves = 0, atSuccess = 0;
        connect(bar, &QProgressBar::valueChanged, this, [&] { ++moves; });
        f_->boxes.onShow = [&](const ScriptedMessageBox::Box&) { atSuccess = bar->value(); };
        f_->boxes.answer(MsgAnswer::Yes); // more than a day on one date
        save();
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Information"));
        QCOMPARE(atSuccess, bar->maximum());
        QVERIFY2(moves > 2 && moves <= 30, qPrintable(QString::number(moves)));
        QCOMPARE(records(), count);
        for (int i : {0, 99, 100, 199, 200, 229}) {
            const QString where = QStringLiteral("Popis = 'text %1'").arg(i);
            QCOMPARE(booked(QStringLiteral("Cas"), where).toDouble(), hours(i));
            QCOMPARE(booked(QStringLiteral("id_TypPrace"), where).toInt(), 1 + i % 2);
        }
    }

    // A task of more than a day is proposed and booked with its whole time.
    void dayLongTaskBooksInFull_data() { addEngineRows(); }
    void dayLongTaskBooksInFull() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        task(QStringLiteral("long"), 25 + 3.0 / 60, 1, 1, QStringLiteral("the long one"));
        summary_->showSummary();
        QCOMPARE(child<QLineEdit>(frame(0), "Edit2")->text(), QStringLiteral("25.05"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("25.05"));
        child<QLineEdit>(frame(0), "Edit1")->setText(QStringLiteral("0"));
        // More than a day in one entry is asked about first, naming it.
        f_->boxes.answer(MsgAnswer::Yes);
        save();
        QVERIFY2(
            f_->boxes.shown.size() >= 2 &&
                f_->boxes.shown.at(0).text.contains(QStringLiteral("\"long\" books 25.05 h")) &&
                f_->boxes.shown.at(1).text.contains(QStringLiteral("Project 1 : 25.05 h")),
            qPrintable(f_->boxes.shown.value(1).text));
        QCOMPARE(scalar(QStringLiteral("SELECT Cas FROM SEP_ProvedenaPrace")).toDouble(), 25.05);
    }

    // The work date is a calendar date: a day whose local midnight does not exist (clocks
    // jump from 00:00 to 01:00) is booked as that day at 00:00:00 like any other.
    void dayWithoutLocalMidnight_data() { addEngineRows(); }
    void dayWithoutLocalMidnight() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "America/Santiago");
        tzset();
        QVERIFY(!QDateTime(QDate(2024, 9, 8), QTime(0, 0)).isValid());
        f_->clock.value = platform::toDayCount(QDateTime(QDate(2024, 9, 8), QTime(12, 0)));
        task(QStringLiteral("t"), 1.5, 1, 1, QStringLiteral("work"));
        summary_->showSummary();
        QCOMPARE(child<QDateEdit>(frame(0), "DateTimePicker1")->date(), QDate(2024, 9, 8));
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"), Qt::LeftButton);
        const QString stored =
            scalar(QStringLiteral("SELECT '=' || CAST(DatumPrace AS TEXT) FROM SEP_ProvedenaPrace"))
                .toString();
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        tzset();
        QCOMPARE(records(), 1);
        QCOMPARE(stored, QStringLiteral("=2024-09-08 00:00:00"));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Project times saved successfully."));
    }

    // A project or activity id that is no longer in the lists counts as not chosen: the
    // message of its field, and nothing is booked.
    void staleIdsAreNotChosen_data() { addEngineRows(); }
    void staleIdsAreNotChosen() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        task(QStringLiteral("gone"), 1, 99, 1, QStringLiteral("work"));
        summary_->showSummary();
        QCOMPARE(child<LookupComboBox>(frame(0), "DBLookupComboBox2")->currentIndex(), -1);
        save();
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Select some project before proceeding."));
        QCOMPARE(records(), 0);
        child<LookupComboBox>(frame(0), "DBLookupComboBox2")->setKeyValue(1);
        child<LookupComboBox>(frame(0), "DBLookupComboBox1")->setKeyValue(77);
        save();
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Select some activity before proceeding."));
        QCOMPARE(records(), 0);
    }

    // Hours are finite numbers in the locale's notation, without group separators. Typed
    // and confirmed with Enter (the default "Save to DB") or left with Tab, a mistake gets
    // one message, however the focus moves meanwhile, and books nothing.
    void hoursAcrossLocales_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("booked"); // 0: refused
        const struct {
            const char *locale, *text;
            double booked;
        } rows[] = {{"en_US", "1.25", 1.25}, {"en_US", "1,250", 0}, {"en_US", "inf", 0},
                    {"en_US", "nan", 0},     {"en_US", "1e400", 0}, {"en_US", "abc", 0},
                    {"de_DE", "1,25", 1.25}, {"de_DE", "1.250", 0}, {"cs_CZ", "0,5", 0.5}};
        for (const auto& row : rows)
            QTest::addRow("%.2s %s", row.locale, row.text) << row.locale << row.text << row.booked;
    }
    void hoursAcrossLocales() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(double, booked);
        QLocale::setDefault(QLocale(locale));
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        task(QStringLiteral("t"), 1, 1, 1, QStringLiteral("work"));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QLineEdit* hours = child<QLineEdit>(frame(0), "Edit2");
        const auto typeAnd = [&](Qt::Key key) {
            hours->setFocus();
            hours->selectAll();
            QTest::keyClicks(hours, text);
            QTest::keyClick(hours, key);
        };
        if (booked > 0) {
            f_->boxes.answer(MsgAnswer::Yes);
            typeAnd(Qt::Key_Return);
            QCOMPARE(records(), 1);
            QCOMPARE(scalar(QStringLiteral("SELECT Cas FROM SEP_ProvedenaPrace")).toDouble(),
                     booked);
        } else {
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
                f_->boxes.shown.clear();
                typeAnd(key);
                QCOMPARE(f_->boxes.shown.size(), 1);
                QCOMPARE(f_->boxes.last().icon, MsgIcon::Warning);
                QTRY_COMPARE(QApplication::focusWidget(), hours); // back to the mistake
            }
            QCOMPARE(records(), 0);
        }
        QLocale::setDefault(QLocale::c());
    }

    // The total follows the hours as they are typed; hours confirmed with Enter, without
    // leaving the field, are in the total of the confirmation too.
    void totalFollowsTypedHours() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        task(QStringLiteral("a"), 1, 1, 1, QStringLiteral("w"));
        task(QStringLiteral("b"), 2, 1, 1, QStringLiteral("w"));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("3.00"));
        QLineEdit* hours = child<QLineEdit>(frame(1), "Edit2");
        hours->setFocus();
        hours->selectAll();
        QTest::keyClicks(hours, QStringLiteral("7"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("9.00"));
        QTest::keyClicks(hours, QStringLiteral("x")); // not a number yet: counts as none
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("9.00"));
        QTest::keyClick(hours, Qt::Key_Backspace);
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::keyClick(hours, Qt::Key_Return);
        QVERIFY2(f_->boxes.shown.value(0).text.endsWith(QStringLiteral("Total: 9.00 h")),
                 qPrintable(f_->boxes.shown.value(0).text));
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(Cas) FROM SEP_ProvedenaPrace")).toDouble(), 9.0);
    }

    // Sixty tasks, more than the dialog shows: the user turns the wheel down to a late
    // entry, fills it in with the keys, goes on with Tab into the next one and turns back to
    // the top. The save books every task that has hours into its own record, also those
    // whose entries were never in view, with their tasks' times.
    void lateEntryKeepsWhatWasTyped_data() { addEngineRows(); }
    void lateEntryKeepsWhatWasTyped() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        // Task i has 60 - i quarter hours, so the list shows them in this order; the last
        // five have none.
        QList<Task*> tasks;
        for (int i = 0; i < 60; ++i)
            tasks << task(QStringLiteral("t%1").arg(i), i < 55 ? (60 - i) * 0.25 : 0, 1, 1,
                          QStringLiteral("work %1").arg(i));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QLabel* total = child<QLabel>(summary_.get(), "Label2");
        QCOMPARE(total->text(), QStringLiteral("453.75"));

        auto* hours = qobject_cast<QLineEdit*>(wheelTo(45, "Edit2"));
        QVERIFY(hours);
        QCOMPARE(hours->text(), QStringLiteral("3.75"));
        QTest::mouseClick(hours, Qt::LeftButton);
        QVERIFY(hours->hasFocus());
        QTest::keyClick(hours, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(hours, QStringLiteral("7.5"));
        QCOMPARE(total->text(), QStringLiteral("457.50"));
        const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), k, modifiers);
        };
        const auto type = [](const QString& text) {
            QTest::keyClicks(QApplication::focusWidget(), text);
        };
        EntryFrame* late = summary_->frameAt(45);
        auto* date = child<QDateEdit>(late, "DateTimePicker1");
        key(Qt::Key_Tab);
        QVERIFY(date->hasFocus());
        key(Qt::Key_Down); // a step back in the first part of the date
        const QDate day = date->date();
        QVERIFY(day.isValid() && day != platform::today());
        for (int part = 0; part < 10 && date->hasFocus(); ++part)
            key(Qt::Key_Tab); // Tab goes through the date's parts first
        QVERIFY(child<QWidget>(late, "DBLookupComboBox2")->hasFocus());
        key(Qt::Key_Down); // "Project 2"
        key(Qt::Key_Tab);
        QVERIFY(child<QWidget>(late, "DBLookupComboBox1")->hasFocus());
        key(Qt::Key_Down); // "Testing"
        key(Qt::Key_Tab);
        QVERIFY(child<QPlainTextEdit>(late, "Memo1")->hasFocus());
        key(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("late work"));
        key(Qt::Key_Tab);
        type(QStringLiteral("1234"));
        // On into the entry below, which books nothing now.
        key(Qt::Key_Tab);
        auto* next = child<QLineEdit>(summary_->frameAt(46), "Edit2");
        QVERIFY(next->hasFocus());
        QVERIFY(inView(next));
        key(Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("0"));
        QCOMPARE(total->text(), QStringLiteral("454.00"));
        key(Qt::Key_Tab);

        // Back to the top, and into an entry there: the late entries give up their frames.
        QTest::mouseClick(wheelTo(0, "Edit2"), Qt::LeftButton);
        QVERIFY(!summary_->frameAt(45) && !summary_->frameAt(46));
        QVERIFY(!summary_->frameAt(54)); // never in view: its task's time is booked
        QCOMPARE(total->text(), QStringLiteral("454.00"));
        // Down again: the late entry shows all that was typed.
        QCOMPARE(qobject_cast<QLineEdit*>(wheelTo(45, "Edit2"))->text(), QStringLiteral("7.5"));
        late = summary_->frameAt(45);
        QCOMPARE(child<QDateEdit>(late, "DateTimePicker1")->date(), day);
        QCOMPARE(child<LookupComboBox>(late, "DBLookupComboBox2")->text(),
                 QStringLiteral("Project 2"));
        QCOMPARE(child<LookupComboBox>(late, "DBLookupComboBox1")->text(),
                 QStringLiteral("Testing"));
        QCOMPARE(child<QPlainTextEdit>(late, "Memo1")->toPlainText(), QStringLiteral("late work"));
        QCOMPARE(child<QLineEdit>(late, "Edit1")->text(), QStringLiteral("1234"));
        QCOMPARE(child<QLineEdit>(summary_->frameAt(46), "Edit2")->text(), QStringLiteral("0"));
        QCOMPARE(total->text(), QStringLiteral("454.00"));

        // 454 h on one day: asked about first.
        f_->boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"), Qt::LeftButton);
        const QString confirm = f_->boxes.shown.value(1).text;
        // The question lists the first 30 records; the late ones are among those it counts.
        QVERIFY2(confirm.count(QStringLiteral(" h (t")) == 30 &&
                     !confirm.contains(QStringLiteral("(t46)")) &&
                     confirm.endsWith(QStringLiteral("... and 24 more\r\n\r\nTotal: 454.00 h")),
                 qPrintable(confirm));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Project times saved successfully."));
        QCOMPARE(records(), 54);
        QCOMPARE(scalar(QStringLiteral("SELECT SUM(Cas) FROM SEP_ProvedenaPrace")).toDouble(),
                 454.0);
        const auto of = [&](const QString& column, const QString& description) {
            return booked(column, QStringLiteral("Popis = '%1'").arg(description));
        };
        const QString late45 = QStringLiteral("late work");
        QCOMPARE(of(QStringLiteral("Cas"), late45).toDouble(), 7.5);
        QCOMPARE(of(QStringLiteral("id_Chyba"), late45).toInt(), 1234);
        QCOMPARE(of(QStringLiteral("id_Usek"), late45).toInt(), 2);
        QCOMPARE(of(QStringLiteral("id_TypPrace"), late45).toInt(), 2);
        QCOMPARE(of(QStringLiteral("'=' || CAST(DatumPrace AS TEXT)"), late45).toString(),
                 day.toString(QStringLiteral("=yyyy-MM-dd 00:00:00")));
        QCOMPARE(of(QStringLiteral("COUNT(*)"), QStringLiteral("work 46")).toInt(), 0);
        QCOMPARE(of(QStringLiteral("Cas"), QStringLiteral("work 54")).toDouble(), 1.5);
        QCOMPARE(of(QStringLiteral("id_Usek"), QStringLiteral("work 54")).toInt(), 1);
        QVERIFY(of(QStringLiteral("id_Chyba"), QStringLiteral("work 54")).isNull());
        // The booked tasks are reset, each with its entry's project and activity.
        QVERIFY(!summary_->isVisible());
        QCOMPARE(tasks[45]->hours(), 0.0f);
        QCOMPARE(tasks[45]->sectionId(), 2);
        QCOMPARE(tasks[45]->activityId(), 2);
        QCOMPARE(tasks[46]->hours(), 3.5f);
        QCOMPARE(tasks[54]->hours(), 0.0f);
        QCOMPARE(tasks[54]->sectionId(), 1);
    }

    // The total follows the hours typed into an entry far down, reached with the keys.
    void totalFollowsTypingInLateEntry() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        for (int i = 0; i < 60; ++i)
            task(QStringLiteral("t%1").arg(i), (60 - i) * 0.25, 1, 1, QStringLiteral("w"));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QLabel* total = child<QLabel>(summary_.get(), "Label2");
        QCOMPARE(total->text(), QStringLiteral("457.50"));
        QTest::mouseClick(child<QLineEdit>(frame(0), "Edit2"), Qt::LeftButton);
        QLineEdit* hours = nullptr;
        for (int page = 0; page < 200 && !hours; ++page) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
            if (EntryFrame* made = summary_->frameAt(50))
                if (inView(child<QLineEdit>(made, "Edit2")))
                    hours = child<QLineEdit>(made, "Edit2");
        }
        QVERIFY(hours);
        QCOMPARE(hours->text(), QStringLiteral("2.50"));
        QTest::mouseClick(hours, Qt::LeftButton);
        QTest::keyClick(hours, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(hours, QStringLiteral("2"));
        QCOMPARE(total->text(), QStringLiteral("457.00"));
        QTest::keyClicks(hours, QStringLiteral("5"));
        QCOMPARE(total->text(), QStringLiteral("480.00"));
        QTest::keyClicks(hours, QStringLiteral("x")); // not a number yet: counts as before
        QCOMPARE(total->text(), QStringLiteral("480.00"));
        QTest::keyClick(hours, Qt::Key_Backspace);
        QTest::keyClick(hours, Qt::Key_Backspace);
        QCOMPARE(total->text(), QStringLiteral("457.00"));
        for (int page = 0; page < 200 && inView(hours); ++page)
            QTest::keyClick(hours, Qt::Key_PageUp);
        QVERIFY(!inView(hours));
        QCOMPARE(total->text(), QStringLiteral("457.00"));
        QCOMPARE(hours->text(), QStringLiteral("2"));
    }

    // Hours that are no number, left with a click far from them after the wheel took them
    // out of view: the message shows them in view, and the focus goes back to them. Shift+Tab
    // from there goes into the entry above, which comes into view.
    void badHoursLeftOutOfViewComeBack() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        for (int i = 0; i < 60; ++i)
            task(QStringLiteral("t%1").arg(i), (60 - i) * 0.25, 1, 1, QStringLiteral("w"));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        auto* hours = qobject_cast<QLineEdit*>(wheelTo(40, "Edit2"));
        QVERIFY(hours);
        QTest::mouseClick(hours, Qt::LeftButton);
        QTest::keyClick(hours, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(hours, QStringLiteral("abc"));
        QWidget* top = wheelTo(0, "Edit2");
        QVERIFY(top && !inView(hours));
        f_->boxes.shown.clear();
        QTest::mouseClick(top, Qt::LeftButton);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("The value entered in the hours filed is invalid."));
        hours = child<QLineEdit>(summary_->frameAt(40), "Edit2");
        QVERIFY(inView(hours));
        QCOMPARE(QApplication::focusWidget(), hours);
        QCOMPARE(hours->text(), QStringLiteral("abc"));
        QTest::keyClick(hours, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(hours, QStringLiteral("2"));
        QCOMPARE(child<QLabel>(summary_.get(), "Label2")->text(), QStringLiteral("454.50"));
        QTest::keyClick(hours, Qt::Key_Tab, Qt::ShiftModifier);
        QWidget* bugAbove = child<QLineEdit>(summary_->frameAt(39), "Edit1");
        QCOMPARE(QApplication::focusWidget(), bugAbove);
        QVERIFY(inView(bugAbove));
        QCOMPARE(f_->boxes.shown.size(), 1);
    }

    // A mistake in an entry out of view: the save brings that entry into view with the focus
    // on the field to put right, also for an entry that was never in view, and books nothing
    // until it is right.
    void mistakeOutOfViewIsShown_data() { addEngineRows(); }
    void mistakeOutOfViewIsShown() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        for (int i = 0; i < 60; ++i)
            task(QStringLiteral("t%1").arg(i), (60 - i) * 0.25, 1, 1,
                 i == 40 ? QString() : QStringLiteral("w%1").arg(i));
        summary_->showSummary();
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QTest::mouseClick(child<QLineEdit>(frame(0), "Edit2"), Qt::LeftButton);
        QLineEdit* bug = nullptr;
        for (int page = 0; page < 200 && !bug; ++page) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
            if (EntryFrame* made = summary_->frameAt(30))
                if (inView(child<QLineEdit>(made, "Edit1")))
                    bug = child<QLineEdit>(made, "Edit1");
        }
        QVERIFY(bug);
        QTest::mouseClick(bug, Qt::LeftButton);
        QTest::keyClicks(bug, QStringLiteral("12a"));
        for (int page = 0; page < 200 && inView(bug); ++page)
            QTest::keyClick(bug, Qt::Key_PageUp);
        QVERIFY(!inView(bug));

        f_->boxes.shown.clear();
        QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"), Qt::LeftButton);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Bug ID must be a valid integer."));
        bug = child<QLineEdit>(summary_->frameAt(30), "Edit1");
        QVERIFY(inView(bug));
        QCOMPARE(QApplication::focusWidget(), bug);
        QCOMPARE(bug->text(), QStringLiteral("12a"));
        QTest::keyClick(bug, Qt::Key_Backspace);

        QVERIFY(wheelTo(0, "Edit2"));
        QVERIFY(!summary_->frameAt(40));
        f_->boxes.shown.clear();
        QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"), Qt::LeftButton);
        QCOMPARE(f_->boxes.shown.size(), 1);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("The description field cannot be empty."));
        QVERIFY(summary_->frameAt(40));
        QCOMPARE(summary_->frameAt(40)->taskName(), QStringLiteral("t40"));
        auto* memo = child<QPlainTextEdit>(summary_->frameAt(40), "Memo1");
        QVERIFY(inView(memo));
        QCOMPARE(QApplication::focusWidget(), memo);
        QCOMPARE(records(), 0);
        QTest::keyClicks(memo, QStringLiteral("found it"));

        f_->boxes.shown.clear();
        f_->boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"), Qt::LeftButton);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Project times saved successfully."));
        QCOMPARE(records(), 60);
        QCOMPARE(booked(QStringLiteral("id_Chyba"), QStringLiteral("Popis = 'w30'")).toInt(), 12);
        QCOMPARE(booked(QStringLiteral("Cas"), QStringLiteral("Popis = 'found it'")).toDouble(),
                 5.0);
    }

    // The wheel over the dialog scrolls it; a drop-down or date under the pointer changes
    // only when it has the focus.
    void wheelScrollsAndChangesOnlyFocusedFields() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        hourTasks(12, QStringLiteral("w"));
        summary_->showSummary();
        summary_->resize(summary_->width(), 300);
        QVERIFY(QTest::qWaitForWindowExposed(summary_.get()));
        auto* scroll = summary_->findChild<QScrollArea*>();
        QVERIFY(scroll && scroll->verticalScrollBar()->maximum() > 0);
        child<QPushButton>(summary_.get(), "Button1")->setFocus(); // somewhere else
        LookupComboBox* project = child<LookupComboBox>(frame(0), "DBLookupComboBox2");
        QDateEdit* date = child<QDateEdit>(frame(0), "DateTimePicker1");
        const QDate day = date->date();
        wheel(project);
        wheel(date);
        QCOMPARE(project->keyValue().toInt(), 1);
        QCOMPARE(date->date(), day);
        QVERIFY(!project->hasFocus() && !date->hasFocus());
        QVERIFY(scroll->verticalScrollBar()->value() > 0);
        project->setFocus();
        QVERIFY(project->hasFocus());
        wheel(project);
        QCOMPARE(project->keyValue().toInt(), 2);
    }

    void validationOrderAndBugNumber_data() { addEngineRows(); }
    void validationOrderAndBugNumber() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        task(QStringLiteral("first"), 2);
        task(QStringLiteral("second"), 1);
        summary_->showSummary();
        const auto attempt = [&] {
            f_->boxes.shown.clear();
            save();
            return f_->boxes.shown.value(0);
        };
        QCOMPARE(attempt().text, QStringLiteral("The description field cannot be empty."));
        QCOMPARE(f_->boxes.shown.at(0).caption, QStringLiteral("Invalid input"));
        QCOMPARE(f_->boxes.shown.size(), 1); // only the first failing frame reports
        child<QPlainTextEdit>(frame(0), "Memo1")->setPlainText(QStringLiteral("x"));
        QCOMPARE(attempt().text, QStringLiteral("Select some activity before proceeding."));
        child<LookupComboBox>(frame(0), "DBLookupComboBox1")->setKeyValue(1);
        QCOMPARE(attempt().text, QStringLiteral("Select some project before proceeding."));
        child<LookupComboBox>(frame(0), "DBLookupComboBox2")->setKeyValue(1);
        child<QLineEdit>(frame(0), "Edit1")->setText(QStringLiteral("12a"));
        QCOMPARE(attempt().text, QStringLiteral("Bug ID must be a valid integer."));
        child<QLineEdit>(frame(0), "Edit1")->setText(QStringLiteral("12"));
        child<QPlainTextEdit>(frame(0), "Memo1")->setPlainText(QString(1001, QLatin1Char('d')));
        QCOMPARE(attempt().text,
                 QStringLiteral("The description cannot be longer than 1000 characters."));
        child<QPlainTextEdit>(frame(0), "Memo1")->setPlainText(QString(1000, QLatin1Char('d')));
        QCOMPARE(attempt().text,
                 QStringLiteral("The description field cannot be empty.")); // frame 1
        QCOMPARE(records(), 0);
        typeHours(1, QStringLiteral("-1"));
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("The value entered in the hours filed is invalid."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Input Error"));
        const int shown = f_->boxes.shown.size();
        typeHours(1, QStringLiteral("0"));
        QCOMPARE(f_->boxes.shown.size(), shown); // accepted without a message
        QCOMPARE(attempt().caption, QStringLiteral("Confirm"));
        QCOMPARE(records(), 1);
    }

    void eachFrameWritesIntoItsOwnTask_data() { addEngineRows(); }
    // Two tasks of the same name each get their own frame's project and activity back.
    void eachFrameWritesIntoItsOwnTask() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        Task* a = task(QStringLiteral("twin"), 1, 0, 0, QStringLiteral("one"));
        Task* b = task(QStringLiteral("twin"), 3, 0, 0, QStringLiteral("two"));
        Task* run = task(QStringLiteral("run"), 2, 1, 1, QStringLiteral("r"));
        run->start();
        f_->clock.advanceSeconds(2 * 3600);
        child<QCheckBox>(summary_.get(), "CheckBox1")->setChecked(false);
        summary_->showSummary();
        // Sorted by hours before the flush: the running task sits by its 2 hours.
        QCOMPARE(frame(0)->taskName(), QStringLiteral("twin"));
        QCOMPARE(frame(1)->taskName(), QStringLiteral("run"));
        QCOMPARE(child<QLineEdit>(frame(1), "Edit2")->text(), QStringLiteral("4.00"));
        for (int i : {0, 2}) {
            child<LookupComboBox>(frame(i), "DBLookupComboBox1")->setKeyValue(i == 0 ? 2 : 1);
            child<LookupComboBox>(frame(i), "DBLookupComboBox2")->setKeyValue(i == 0 ? 2 : 1);
        }
        save();
        QCOMPARE(records(), 3);
        const Task* inFirstFrame = f_->tasks().byId(frame(0)->taskId());
        const Task* inThirdFrame = f_->tasks().byId(frame(2)->taskId());
        QVERIFY(inFirstFrame != inThirdFrame);
        QVERIFY((inFirstFrame == a || inFirstFrame == b) &&
                (inThirdFrame == a || inThirdFrame == b));
        QCOMPARE(inFirstFrame->activityId(), 2);
        QCOMPARE(inFirstFrame->sectionId(), 2);
        QCOMPARE(inThirdFrame->activityId(), 1);
        QCOMPARE(inThirdFrame->sectionId(), 1);
        QVERIFY(run->running());
    }

    // With many records the question lists a screenful and says how many more there are;
    // its buttons stay on the screen, and every record is booked.
    void manyRecordsAskedAboutOnOneScreen() {
        prepare(dbs_->fresh(QStringLiteral("sqlite")));
        hourTasks(45, QStringLiteral("d"));
        summary_->showSummary();
        f_->boxes.answer(MsgAnswer::Yes); // 45 h on one day
        save();
        const QString question = f_->boxes.shown.at(1).text;
        QCOMPARE(question.count(QStringLiteral(" h (t")), 30);
        QVERIFY(question.endsWith(QStringLiteral("... and 15 more\r\n\r\nTotal: 45.00 h")));
        QCOMPARE(records(), 45);
    }

    // Killed after the booking's commit, before the store took the reset: the next session
    // settles it with the database. One never committed, or a torn note, changes nothing.
    void bookingInterruptedAfterItsCommit_data() { addEngineRows(); }
    void bookingInterruptedAfterItsCommit() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        // A session on the tasks as the store has them; the first never saves the store.
        const auto session = [this](bool storeSaves) {
            summary_->hide();
            summary_.reset();
            f_->tasks().clear();
            task(QStringLiteral("a"), 2, 1, 1, QStringLiteral("work"));
            task(QStringLiteral("b"), 1, 2, 2, QStringLiteral("more"));
            summary_ = std::make_unique<BookingDialog>(f_->records(), f_->tasks(), *progress_);
            summary_->onBooked = [storeSaves] { return storeSaves; };
            summary_->showSummary();
            return summary_->isVisible();
        };
        QVERIFY(session(false));
        child<QCheckBox>(summary_.get(), "CheckBox1")->setChecked(true);
        save();
        PendingBooking pending(f_->storePath());
        QVERIFY(pending.exists());
        QVERIFY(session(true) && !pending.exists());
        QCOMPARE(f_->tasks()[0]->time() + f_->tasks()[1]->time(), 0.0);
        QCOMPARE(f_->tasks()[0]->description(), QString());
        const PendingBooking::Mark missing{records() + 1000, 1, 2};
        for (const QByteArray& torn :
             {QByteArray(), QByteArray("Korvan booking 1\nmark 1 1 2\n")}) {
            QFile note(pending.path());
            QVERIFY(
                torn.isNull()
                    ? pending.write(missing, {{0, QStringLiteral("a"), 2.0 / 24, 1, 1}}, nullptr)
                    : note.open(QIODevice::WriteOnly) && note.write(torn) && note.flush());
            QVERIFY(session(true) && !pending.exists());
            QCOMPARE(f_->tasks()[0]->hours(), 2.0f);
            QCOMPARE(f_->tasks()[0]->description(), QStringLiteral("work"));
        }
        QCOMPARE(records(), 2);
    }

    void failingInsertRollsBackAndRetrySucceeds_data() { addEngineRows(); }
    void failingInsertRollsBackAndRetrySucceeds() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        if (engine == QLatin1String("sqlite")) {
            dbs_->exec(engine,
                       QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON SEP_ProvedenaPrace "
                                      "WHEN NEW.Popis = 'FAIL' BEGIN SELECT RAISE(ABORT, 'marked "
                                      "row refused'); END"));
        } else {
            dbs_->exec(engine,
                       QStringLiteral("ALTER TABLE SEP_ProvedenaPrace ADD CONSTRAINT refuse "
                                      "CHECK (Popis <> 'FAIL')"));
        }
        for (int i = 0; i < 5; ++i)
            task(QStringLiteral("t%1").arg(i), 5 - i, 1, 1,
                 i == 2 ? QStringLiteral("FAIL") : QStringLiteral("ok"));
        summary_->showSummary();
        child<QLineEdit>(frame(4), "Edit1")->setText(QStringLiteral("77"));
        // No event runs inside the booking, and a second click on "Save to DB" does nothing.
        int steps = 0;
        bool eventRan = false;
        QTimer event;
        connect(&event, &QTimer::timeout, this, [&] { eventRan = true; });
        event.start(0);
        connect(child<QProgressBar>(progress_.get(), "ProgressBar1"), &QProgressBar::valueChanged,
                this, [&] {
                    if (++steps != 3)
                        return;
                    QVERIFY(!eventRan);
                    QTest::mouseClick(child<QPushButton>(summary_.get(), "Button2"),
                                      Qt::LeftButton);
                });
        save();
        QCOMPARE(f_->boxes.shown.size(), 2); // the question and the error
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Error"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Error);
        QVERIFY(!f_->boxes.last().text.isEmpty());
        QCOMPARE(records(), 0);
        QVERIFY(summary_->isVisible());
        QVERIFY(!progress_->isVisible());
        QCOMPARE(f_->tasks().size(), size_t(5));
        for (Task* t : f_->tasks())
            QVERIFY(t->time() > 0);
        QCOMPARE(child<QLineEdit>(frame(4), "Edit1")->text(), QStringLiteral("77"));
        child<QPlainTextEdit>(frame(2), "Memo1")->setPlainText(QStringLiteral("fixed"));
        save();
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Project times saved successfully."));
        QCOMPARE(records(), 5);
    }
};

QTEST_MAIN(TestSummary)
#include "tst_bookingdialog.moc"
