#pragma once

#include "database/BookingDialog.h"
#include "database/EntryFrame.h"
#include "database/ProgressDialog.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QWheelEvent>
#include <QtTest>

// What the booking's tests share: the dialog on a fixture's tasks and records, with two
// projects and two activities, and the ways a user reaches its entries.
class SummaryTest : public QObject {
protected:
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    // The booking and its progress box, on the fixture's task list and work records.
    std::unique_ptr<ProgressDialog> progress_;
    std::unique_ptr<BookingDialog> summary_;
    QString engineName_;

    Task* task(const QString& name, double hours, int project = 0, int activity = 0,
               const QString& text = QString()) {
        auto* t = new Task(name);
        t->setTime(hours / 24.0);
        t->setSectionId(project);
        t->setActivityId(activity);
        t->setDescription(text);
        f_->tasks().pushBack(t);
        return t;
    }
    void prepare(const QString& cs) {
        f_->records().connection().connectionString = cs;
        seedProjectsAndActivities(f_->records().connection(),
                                  {QStringLiteral("Project 1"), QStringLiteral("Project 2")},
                                  {QStringLiteral("Coding"), QStringLiteral("Testing")});
    }
    QVariant scalar(const QString& sql) {
        platform::DataSet q(&f_->records().connection());
        q.sql = sql;
        q.open();
        QVariant v = q.value(0, 0);
        q.close();
        return v;
    }
    // Tasks "t00", "t01"... of one hour each, with project, activity and the description.
    void hourTasks(int count, const QString& text) {
        for (int i = 0; i < count; ++i)
            task(QStringLiteral("t%1").arg(i, 2, 10, QLatin1Char('0')), 1, 1, 1, text);
    }
    int records() {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt();
    }
    // A column of the record booked with this condition (on Popis or id_Usek).
    QVariant booked(const QString& column, const QString& where) {
        return scalar(
            QStringLiteral("SELECT %1 FROM SEP_ProvedenaPrace WHERE %2").arg(column, where));
    }
    // A turn of the wheel as the window system delivers it (spontaneous): a field that takes
    // the focus on the wheel would take it here too. Down when the delta is negative.
    static void wheel(QWidget* w, int delta = -120) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&event);
        qApp->notify(w, &event);
    }
    QScrollArea* entries() { return child<QScrollArea>(summary_.get(), "ScrollBox1"); }
    // Whether the user sees all of the widget in the scrolled entries.
    bool inView(QWidget* w) {
        QWidget* viewport = entries()->viewport();
        return w->isVisible() &&
               viewport->rect().contains(QRect(w->mapTo(viewport, QPoint(0, 0)), w->size()));
    }
    // Whether an entry after this one has a frame: the entry is above the view.
    bool above(int i) {
        for (int k = i + 1; k < static_cast<int>(f_->tasks().size()); ++k)
            if (summary_->frameAt(k))
                return true;
        return false;
    }
    // Turns the wheel over the entries, as a user does, until the task's field shows whole.
    QWidget* wheelTo(int i, const char* field) {
        QWidget* viewport = entries()->viewport();
        for (int turn = 0; turn < 2000; ++turn) {
            bool up = above(i);
            if (EntryFrame* shown = summary_->frameAt(i)) {
                QWidget* w = child<QWidget>(shown, field);
                if (inView(w))
                    return w;
                up = w->mapTo(viewport, QPoint(0, 0)).y() < 0;
            }
            wheel(viewport, up ? 120 : -120);
        }
        return nullptr;
    }
    // The frame of a task, scrolled into view with the wheel.
    EntryFrame* frame(int i) {
        wheelTo(i, "Edit2");
        return summary_->frameAt(i);
    }
    // Types hours into a frame and leaves the field with Tab, as a user does.
    void typeHours(int i, const QString& text) {
        QApplication::setActiveWindow(summary_.get());
        QVERIFY(QTest::qWaitForWindowActive(summary_.get()));
        QLineEdit* hours = child<QLineEdit>(frame(i), "Edit2");
        hours->setFocus();
        hours->selectAll();
        QTest::keyClicks(hours, text);
        QTest::keyClick(hours, Qt::Key_Tab);
    }
    void save(bool yes = true) {
        f_->boxes.answer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        child<QPushButton>(summary_.get(), "Button2")->click();
    }

    void setUp() {
        f_ = std::make_unique<Fixture>();
        progress_ = std::make_unique<ProgressDialog>();
        summary_ = std::make_unique<BookingDialog>(f_->records(), f_->tasks(), *progress_);
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void tearDown() {
        summary_.reset();
        progress_.reset();
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }
};
