#include "database/BookingDialog.h"
#include "database/DatabaseDialog.h"
#include "database/EntryFrame.h"
#include "database/InputBox.h"
#include "database/ProgressDialog.h"
#include "desktop/AboutDialog.h"
#include "model/Task.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Centre.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "timing/AbsenceDialog.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

using namespace platform;

namespace {
// What a window leaves of its screen for the window manager's title bar and frame and for
// a panel: on a 1280x1024 screen at twice the scale (640x512) that is 620x460.
constexpr QSize kFrameAndPanel(20, 52);
// The least a window may need, at any scale: what such a screen leaves it.
constexpr QSize kMost(620, 460);

QString sizeText(const QSize& size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

bool within(const QSize& size, const QSize& most) {
    return size.width() <= most.width() && size.height() <= most.height();
}

// A name as long as users have been seen to give a task.
QString longName() {
    QString name;
    while (name.size() < 300)
        name += QStringLiteral("Review of the quarterly report for the customer ");
    return name.left(300);
}

// Hovering long enough to see the tooltip: the event the window system then sends.
QString tooltipAt(QWidget* widget, const QPoint& at) {
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    QString text = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return text;
}
} // namespace

// Every window and dialog fits a 1280x1024 screen: the test runs once at scale 1 and once
// with QT_SCALE_FACTOR=2, on an offscreen screen of that size (see tests/CMakeLists.txt).
// Each test builds only the window it checks.
class TestFit : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;

    void useDatabase() {
        f_->records().connection().connectionString = dbs_->fresh(QStringLiteral("sqlite"));
        seedProjectsAndActivities(f_->records().connection(),
                                  {QStringLiteral("Project 1"), QStringLiteral("Project 2")},
                                  {QStringLiteral("Coding"), QStringLiteral("Testing")});
    }
    // A task of an hour, described, as a booking would show it.
    Task* addTask(const QString& name, double hours = 1) {
        Task* task = f_->addTask(name, hours);
        task->setDescription(QStringLiteral("done"));
        return task;
    }

    // The layouts take in what changed, as they do before the window system shows it: each
    // pass may ask the layout above it for another.
    static void settle() {
        for (int pass = 0; pass < 8; ++pass)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }

    // A shown window fits when what the window manager lets the user shrink it to is no
    // more than a small screen leaves, yet not less than its controls need (they would be
    // cut or overlap), and when it opens whole on the screen with its buttons inside.
    static void fits(QWidget* window, std::initializer_list<QWidget*> buttons) {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        settle();
        const QRect screen = window->screen()->availableGeometry();
        const QSize room = screen.size() - kFrameAndPanel;
        const QSize least = window->minimumSize();
        const QSize content = window->minimumSizeHint();
        const QSize shown = window->size();
        qInfo("%s at scale %g: minimum %s, controls need %s, opens at %s on %s",
              qPrintable(window->objectName()), window->devicePixelRatioF(),
              qPrintable(sizeText(least)), qPrintable(sizeText(content)),
              qPrintable(sizeText(shown)), qPrintable(sizeText(screen.size())));
        QVERIFY2(within(least, kMost), qPrintable(sizeText(least)));
        QVERIFY2(within(content, least), qPrintable(sizeText(content)));
        QVERIFY2(within(shown, room), qPrintable(sizeText(shown)));
        QVERIFY2(within(content, shown), qPrintable(sizeText(shown)));
        if (window->hasHeightForWidth())
            QVERIFY(shown.height() >= window->heightForWidth(shown.width()));
        QVERIFY2(screen.contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("frame at %1,%2 %3")
                                .arg(window->frameGeometry().x())
                                .arg(window->frameGeometry().y())
                                .arg(sizeText(window->frameGeometry().size()))));
        for (QWidget* button : buttons) {
            QVERIFY2(button->isVisible(), qPrintable(button->objectName()));
            const QRect at(button->mapTo(window, QPoint(0, 0)), button->size());
            QVERIFY2(window->rect().contains(at), qPrintable(button->objectName()));
        }
    }

    // A window made larger gives the room to the part that holds a list or text: the
    // buttons keep their size and stay inside.
    static void grows(QWidget* window, QWidget* part, std::initializer_list<QWidget*> buttons) {
        const QSize before = part->size();
        const QRect screen = window->screen()->availableGeometry();
        const QSize larger = (window->size() + QSize(80, 60)).boundedTo(screen.size());
        const QSize gained = larger - window->size();
        QVERIFY(gained.width() > 0 && gained.height() > 0);
        window->resize(larger);
        settle();
        QCOMPARE(window->size(), larger);
        QVERIFY2(part->width() - before.width() >= gained.width() * 3 / 4 &&
                     part->height() - before.height() >= gained.height() * 3 / 4,
                 qPrintable(sizeText(before) + QStringLiteral(" to ") + sizeText(part->size())));
        for (QWidget* button : buttons) {
            const QRect at(button->mapTo(window, QPoint(0, 0)), button->size());
            QVERIFY2(window->rect().contains(at), qPrintable(button->objectName()));
            QVERIFY(button->height() <= button->sizeHint().height());
        }
    }

private Q_SLOTS:
    void initTestCase() {
        dbs_ = std::make_unique<TestDatabases>();
        QScreen* screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->size() * screen->devicePixelRatio(), QSize(1280, 1024));
    }
    void cleanupTestCase() { dbs_.reset(); }
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() { f_.reset(); }

    void mainWindow() {
        MainWindow window(f_->store());
        for (int i = 0; i < 30; ++i)
            addTask(QStringLiteral("Task %1").arg(i));
        window.refreshGrid();
        child<QAction>(&window, "Add1")->trigger(); // "Open" in the tray menu
        fits(&window, {child<QPushButton>(&window, "Button1")});
        grows(&window, child<QTableView>(&window, "StringGrid1"),
              {child<QPushButton>(&window, "Button1"), child<QPushButton>(&window, "Button10")});
    }

    // The grid shows the start of a long name, in its column as wide as ever, and the whole
    // name where the pointer rests.
    void mainWindowElidesLongNames() {
        MainWindow window(f_->store());
        addTask(QStringLiteral("Short"));
        window.refreshGrid();
        child<QAction>(&window, "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* grid = child<QTableView>(&window, "StringGrid1");
        const QSize size = window.size(), least = window.minimumSizeHint();
        const int nameWidth = grid->columnWidth(0);

        Task* longOne = addTask(longName());
        window.refreshGrid();
        settle();
        // In the tray menu the name is cut short: the time and the menu stay on the screen.
        window.refreshMenu();
        auto* menu = child<QMenu>(&window, "PopupMenu1");
        QAction* entry = window.menuEntry(longOne);
        QVERIFY(entry);
        QVERIFY(entry->text().endsWith(QStringLiteral("01:00:00")));
        QVERIFY(entry->text().size() < 80);
        QCOMPARE(MainWindow::entryCaption(entry), longName() + QStringLiteral("  01:00:00"));
        QVERIFY(menu->sizeHint().width() <= window.screen()->availableGeometry().width());
        QCOMPARE(window.size(), size);
        QCOMPARE(window.minimumSizeHint(), least);
        QCOMPARE(grid->columnWidth(0), nameWidth);
        int columns = 0;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            columns += grid->columnWidth(c);
        QVERIFY2(columns <= grid->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(columns).arg(grid->viewport()->width())));
        // One line with an ellipsis, not a wrapped start of the name.
        QCOMPARE(grid->textElideMode(), Qt::ElideRight);
        QVERIFY(!grid->wordWrap());
        const QModelIndex cell = grid->model()->index(0, 0);
        QCOMPARE(cell.data().toString(), longName());
        QCOMPARE(tooltipAt(grid->viewport(), grid->visualRect(cell).center()), longName());
    }

    void editDialog() {
        useDatabase();
        EditTaskDialog dialog(f_->records(), f_->tasks());
        QTimer::singleShot(0, this, [&] {
            fits(&dialog, {child<QPushButton>(&dialog, "Button2")});
            grows(&dialog, child<QWidget>(&dialog, "Memo1"),
                  {child<QPushButton>(&dialog, "Button1"), child<QPushButton>(&dialog, "Button2")});
            child<QPushButton>(&dialog, "Button2")->click();
        });
        dialog.newTask();
    }

    void descriptionPrompt() {
        DescriptionDialog prompt(f_->tasks());
        Task* shortOne = addTask(QStringLiteral("Short"));
        prompt.prompt(shortOne);
        fits(&prompt, {child<QPushButton>(&prompt, "Button2")});
        const int width = prompt.width(), least = prompt.minimumSizeHint().width();
        QTest::mouseClick(child<QPushButton>(&prompt, "Button2"), Qt::LeftButton);

        // A long name shows shortened, whole in its tooltip, and widens nothing.
        Task* longOne = addTask(longName());
        prompt.prompt(longOne);
        fits(&prompt, {child<QPushButton>(&prompt, "Button2")});
        QCOMPARE(prompt.width(), width);
        QCOMPARE(prompt.minimumSizeHint().width(), least);
        auto* name = child<QLabel>(&prompt, "Label3");
        QCOMPARE(name->text(), longName());
        QCOMPARE(tooltipAt(name, name->rect().center()), longName());
        grows(&prompt, child<QWidget>(&prompt, "Memo1"),
              {child<QPushButton>(&prompt, "Button1"), child<QPushButton>(&prompt, "Button2")});
        QTest::mouseClick(child<QPushButton>(&prompt, "Button2"), Qt::LeftButton);
    }

    // Also about a task of a long name: the question wraps, the offer to resume it is cut.
    void absenceDialog() {
        AbsenceDialog dialog;
        Watchman::Gap gap;
        gap.task = longName();
        gap.startUtcMs = f_->clock.utc - 77 * 60000LL;
        gap.lastSignUtcMs = f_->clock.utc - 2 * 60000LL;
        dialog.askGaps({gap});
        fits(&dialog, {child<QPushButton>(&dialog, "Button3")});
        QTest::mouseClick(child<QPushButton>(&dialog, "Button3"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());

        Watchman::Absence away;
        away.task = longName();
        away.fromUtcMs = f_->clock.utc - 20 * 60000LL;
        away.toUtcMs = f_->clock.utc;
        dialog.askAbsence(away);
        fits(&dialog, {child<QPushButton>(&dialog, "Button3")});
        QTest::mouseClick(child<QPushButton>(&dialog, "Button1"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }

    void about() {
        AboutDialog about;
        // As the program first shows it.
        about.adjustSize();
        centreOnScreen(&about);
        about.show();
        fits(&about, {child<QPushButton>(&about, "Button1")});
    }

    void summary() {
        useDatabase();
        for (int i = 0; i < 12; ++i)
            addTask(QStringLiteral("Task %1").arg(i), i + 1);
        ProgressDialog progress;
        BookingDialog summary(f_->records(), f_->tasks(), progress);
        summary.showSummary();
        fits(&summary,
             {child<QPushButton>(&summary, "Button2"), child<QPushButton>(&summary, "Button1")});
        grows(&summary, child<QScrollArea>(&summary, "ScrollBox1"),
              {child<QPushButton>(&summary, "Button2"), child<QPushButton>(&summary, "Button1")});
        QTest::mouseClick(child<QPushButton>(&summary, "Button1"), Qt::LeftButton);
        QVERIFY(!summary.isVisible());
    }

    // A task's long name in its entry widens neither the dialog nor the entries.
    void summaryWithLongName() {
        useDatabase();
        Task* task = addTask(QStringLiteral("Short"));
        ProgressDialog progress;
        BookingDialog summary(f_->records(), f_->tasks(), progress);
        summary.showSummary();
        QVERIFY(QTest::qWaitForWindowExposed(&summary));
        const int width = summary.width(), least = summary.minimumSizeHint().width(),
                  wanted = summary.sizeHint().width();
        QTest::mouseClick(child<QPushButton>(&summary, "Button1"), Qt::LeftButton);

        task->setName(longName());
        summary.showSummary();
        fits(&summary, {child<QPushButton>(&summary, "Button1")});
        settle();
        QCOMPARE(summary.width(), width);
        QCOMPARE(summary.minimumSizeHint().width(), least);
        QCOMPARE(summary.sizeHint().width(), wanted);
        auto* area = child<QScrollArea>(&summary, "ScrollBox1");
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
        EntryFrame* frame = summary.frameAt(0);
        QVERIFY(frame);
        QCOMPARE(frame->taskName(), longName());
        auto* name = child<QLabel>(frame, "Label4");
        QVERIFY(name->width() <= area->viewport()->width());
        QCOMPARE(tooltipAt(name, name->rect().center()), longName());
        QTest::mouseClick(child<QPushButton>(&summary, "Button1"), Qt::LeftButton);
    }

    void progress() {
        ProgressDialog progress;
        progress.show();
        fits(&progress, {});
    }

    void database() {
        useDatabase();
        DatabaseDialog setup(f_->records());
        setup.open();
        fits(&setup,
             {child<QPushButton>(&setup, "Button8"), child<QPushButton>(&setup, "Button7")});
        // The settings page with every field of a server connection.
        auto* tabs = child<QTabWidget>(&setup, "PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        auto* kind = child<QComboBox>(&setup, "ProviderBox");
        kind->setFocus();
        QTest::keyClick(kind, Qt::Key_Down);
        QCOMPARE(kind->currentIndex(), 1);
        fits(&setup,
             {child<QPushButton>(&setup, "ApplyButton"), child<QPushButton>(&setup, "Button9"),
              child<QPushButton>(&setup, "Button7")});
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        // With the chart beside the grid, still whole on the screen.
        auto* chart = child<QPushButton>(&setup, "ChartButton");
        QTest::mouseClick(chart, Qt::LeftButton);
        fits(&setup,
             {child<QPushButton>(&setup, "SaveChartButton"), child<QPushButton>(&setup, "Button8"),
              child<QPushButton>(&setup, "Button7")});
        QTest::mouseClick(chart, Qt::LeftButton);
        grows(&setup, child<QTableView>(&setup, "DBGrid3"),
              {child<QPushButton>(&setup, "Button8"), child<QPushButton>(&setup, "Button7")});
        QTest::mouseClick(child<QPushButton>(&setup, "Button7"), Qt::LeftButton);
        QVERIFY(!setup.isVisible());
    }

    void nameBox() {
        InputBox box;
        QTimer::singleShot(0, this, [&] {
            fits(&box, {child<QPushButton>(&box, "Button2")});
            child<QPushButton>(&box, "Button2")->click();
        });
        QString name;
        QVERIFY(!box.ask(QStringLiteral("New project"), QStringLiteral("Project name:"), QString(),
                         name));
    }
};

QTEST_MAIN(TestFit)
#include "tst_fit.moc"
