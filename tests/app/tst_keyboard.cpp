#include "app/Application.h"
#include "database/BookingDialog.h"
#include "database/DatabaseDialog.h"
#include "database/EntryFrame.h"
#include "database/InputBox.h"
#include "database/ProgressDialog.h"
#include "desktop/AboutDialog.h"
#include "model/Task.h"
#include "model/TaskList.h"
#include "model/Watchman.h"
#include "model/WorkRecords.h"
#include "platform/Services.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "timing/AbsenceDialog.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"
#include "widgets/DatePicker.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using namespace platform;

// Every window by keyboard alone and for a screen reader, on the whole program: Tab walks
// each window's controls in the order they are seen and back, each key of a window
// belongs to one control, Escape closes or hides it, every control the keys reach has a
// name, the questions take the focus or leave it as the moment asks, and an option ticked
// by a screen reader is kept.
class TestKeyboard : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<korvan::Application> app_;

    MainWindow* mainWindow() const { return app_->mainWindow(); }
    QWidget* focused() const { return QApplication::focusWidget(); }

    // A control as the tables below name it: its object name, after the entry frame or
    // date filter it belongs to.
    static QString pathOf(const QWidget* w) {
        if (!w)
            return QStringLiteral("(none)");
        QString path = w->objectName();
        for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
            if (qobject_cast<const EntryFrame*>(p) || qobject_cast<const DatePicker*>(p))
                path = p->objectName() + QLatin1Char('/') + path;
        return path;
    }

    // Tab (or Shift+Tab) to the next control. Tab may stay in a control a while (the
    // parts of a date, the links of a text): that is one stop.
    void nextStop(bool backward = false) {
        QWidget* from = focused();
        for (int i = 0; i < 10 && focused() == from; ++i)
            QTest::keyClick(focused(), Qt::Key_Tab, backward ? Qt::ShiftModifier : Qt::NoModifier);
    }
    // From the control with the focus until it comes back: the controls on the way, each
    // with what a screen reader names it checked.
    QStringList walk(bool backward) {
        QWidget* start = focused();
        QStringList stops;
        do {
            QWidget* w = focused();
            if (!w)
                return stops << QStringLiteral("(none)");
            const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
            const auto* frame = qobject_cast<EntryFrame*>(w->parentWidget());
            if (name.trimmed().isEmpty() || name == w->objectName() ||
                (frame && !name.contains(frame->taskName())))
                stops << pathOf(w) + QStringLiteral(" named \"") + name + '"';
            else
                stops << pathOf(w);
            nextStop(backward);
        } while (focused() != start && stops.size() < 60);
        return stops;
    }

    // Opens the window as the user does and runs `act` in it (a modal one in its own
    // loop); then it is closed, if `act` has not.
    void inWindow(const QString& which, const std::function<void(QWidget*)>& act) {
        QWidget* window = nullptr;
        std::function<void()> opener;
        showMain();
        if (which == QLatin1String("main window")) {
            window = mainWindow();
        } else if (which == QLatin1String("edit dialog")) {
            mainWindow()->selectTaskRow(0);
            window = app_->editDialog();
            opener = [this] { clickIn(mainWindow(), "Button3"); };
        } else if (which == QLatin1String("description prompt")) {
            mainWindow()->setRequestDescription(true);
            mainWindow()->selectTaskRow(0);
            clickIn(mainWindow(), "Button5");
            window = app_->descriptionPrompt();
        } else if (which == QLatin1String("booking")) {
            clickIn(mainWindow(), "Button9");
            window = app_->booking();
        } else if (which.startsWith(QLatin1String("database"))) {
            // A record to correct: its buttons take part.
            if (which == QLatin1String("database records"))
                bookRecord(app_->records().recordInsert(), 1, 1, 2, QDate(2024, 5, 1), "Work");
            clickIn(mainWindow(), "Button10");
            window = app_->database();
            activate(window);
            const QString page = which.section(QLatin1Char(' '), 1);
            // The page's own key.
            const Qt::Key key = page == QLatin1String("records")    ? Qt::Key_R
                                : page == QLatin1String("projects") ? Qt::Key_J
                                                                    : Qt::Key_S;
            QTest::keyClick(focused(), key, Qt::AltModifier);
            if (page == QLatin1String("server")) {
                QTest::keyClick(focused(), Qt::Key_K, Qt::AltModifier);
                QTest::keyClick(focused(), Qt::Key_End);
            }
        } else if (which == QLatin1String("name box")) {
            inWindow(QStringLiteral("database projects"), [&](QWidget* database) {
                window = app_->database()->nameBox();
                QTimer::singleShot(0, this, [&] { runIn(window, act); });
                clickIn(database, "Button4");
            });
            return;
        } else if (which == QLatin1String("about")) {
            child<QAction>(mainWindow(), "About1")->trigger();
            window = app_->about();
        } else if (which == QLatin1String("question at start")) {
            app_->absenceDialog()->askGaps({gap()});
            window = app_->absenceDialog();
        } else if (which == QLatin1String("question about time away")) {
            app_->absenceDialog()->askAbsence(away());
            window = app_->absenceDialog();
        }
        QVERIFY2(window, qPrintable(which));
        if (opener) {
            QTimer::singleShot(0, this, [&] { runIn(window, act); });
            opener();
        } else {
            runIn(window, act);
        }
    }
    void runIn(QWidget* window, const std::function<void(QWidget*)>& act) {
        activate(window);
        act(window);
        if (!window->isVisible())
            return;
        if (auto* question = qobject_cast<AbsenceDialog*>(window))
            child<QPushButton>(question, "Button1")->click();
        else if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isModal())
            dialog->reject();
        window->hide();
    }
    void activate(QWidget* window) {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    void showMain() {
        child<QAction>(mainWindow(), "Add1")->trigger(); // "&Open"
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
    }
    static void clickIn(QWidget* window, const char* name) {
        QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
    }
    Watchman::Gap gap() const {
        Watchman::Gap g;
        g.task = QStringLiteral("Review");
        g.startUtcMs = f_->clock.utc - 3600000;
        g.lastSignUtcMs = f_->clock.utc - 60000;
        g.baseUtcMs = g.startUtcMs;
        return g;
    }
    Watchman::Absence away() const {
        Watchman::Absence a;
        a.task = QStringLiteral("Review");
        a.fromUtcMs = f_->clock.utc - 20 * 60000LL;
        a.toUtcMs = f_->clock.utc;
        return a;
    }

    // Each window, and the controls Tab walks in it from the one with the focus when it
    // opens, all the way round.
    void windows() {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QStringList>("order");
        const auto frame = [](int n) {
            QStringList fields;
            for (const char* field : {"Edit2", "DateTimePicker1", "DBLookupComboBox2",
                                      "DBLookupComboBox1", "Memo1", "Edit1"})
                fields << QStringLiteral("Frame%1/%2").arg(n).arg(QLatin1String(field));
            return fields;
        };
        const auto split = [](const char* names) {
            return QString::fromLatin1(names).split(QLatin1Char(' '));
        };
        QTest::newRow("main window")
            << "main window"
            << split("StringGrid1 Button2 Button3 Button4 Button5 Button6 Button7 Button8 "
                     "Button9 Button10 CheckBox1 Edit2 CheckBox2 Edit3 CheckBox5 Edit4 "
                     "CheckBox3 CheckBox4 Button1");
        QTest::newRow("edit dialog")
            << "edit dialog"
            << split("Edit1 MaskEdit1 DBLookupComboBox1 DBLookupComboBox2 Memo1 Button1 Button2");
        QTest::newRow("description prompt")
            << "description prompt" << split("Memo1 CheckBox1 Button1 Button2");
        QTest::newRow("booking") << "booking"
                                 << frame(0) + frame(1) + split("CheckBox1 Button2 Button1");
        QTest::newRow("database records")
            << "database records"
            << split("qt_tabwidget_tabbar DateTimePicker1/Check DateTimePicker1/Date "
                     "DateTimePicker2/Check DateTimePicker2/Date DBLookupComboBox1 "
                     "DBLookupComboBox2 TextFilter Button8 DBGrid3 ChartButton EditButton "
                     "DeleteButton Button7");
        QTest::newRow("database projects")
            << "database projects"
            << split("qt_tabwidget_tabbar ListBox1 Button4 Button5 Button6 ListBox2 Button1 "
                     "Button3 Button2 Button7");
        QTest::newRow("database settings")
            << "database settings"
            << split("qt_tabwidget_tabbar ProviderBox FileEdit TestButton ApplyButton Button9 "
                     "Button7");
        QTest::newRow("database server")
            << "database server"
            << split("ProviderBox HostEdit PortBox CatalogEdit UserEdit PasswordEdit PgpassBox "
                     "TlsBox TestButton ApplyButton Button9 Button7 qt_tabwidget_tabbar");
        QTest::newRow("name box") << "name box" << split("Edit1 Button1 Button2");
        QTest::newRow("about") << "about" << split("Button1 StaticText5");
        QTest::newRow("question at start")
            << "question at start" << split("Button1 Button2 Button3 CheckBox1");
        QTest::newRow("question about time away")
            << "question about time away" << split("Button1 Button2 Button3");
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        app_ = std::make_unique<korvan::Application>();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        app_->records().connection().connectionString = dbs_->fresh(QStringLiteral("sqlite"));
        seedProjectsAndActivities(app_->records().connection(), {QStringLiteral("Website")},
                                  {QStringLiteral("Coding")});
        for (const auto& [name, hours] : {std::pair{"PROJ review", 2.75}, {"Support", 1.5}}) {
            auto* task = new Task(QLatin1String(name));
            task->setTime(hours / 24);
            task->setDescription(QStringLiteral("Work"));
            app_->tasks().pushBack(task);
        }
        mainWindow()->refreshGrid();
    }
    void cleanup() {
        app_.reset();
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Tab walks each window's controls from the one with the focus when it opens, as they
    // are seen, round and back with Shift+Tab; each has a name of words (a booking field's
    // with its task), and each Alt key of the window belongs to one control shown.
    void everyWindowByKeyboard_data() { windows(); }
    void everyWindowByKeyboard() {
        QFETCH(QString, which);
        QFETCH(QStringList, order);
        inWindow(which, [&](QWidget* window) {
            const QStringList forward = walk(false);
            QVERIFY2(forward == order, qPrintable(forward.join(QStringLiteral(", "))));
            QStringList backward = walk(true);
            std::reverse(backward.begin() + 1, backward.end());
            QVERIFY2(backward == order, qPrintable(backward.join(QStringLiteral(", "))));
            QMap<QString, QString> owners;
            for (QWidget* w : window->findChildren<QWidget*>()) {
                QStringList captions;
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    captions << b->text();
                else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy())
                    captions << l->text();
                else if (auto* tabs = qobject_cast<QTabBar*>(w))
                    for (int t = 0; t < tabs->count(); ++t)
                        captions << tabs->tabText(t);
                for (const QString& caption : captions) {
                    const QString key = QKeySequence::mnemonic(caption).toString();
                    if (key.isEmpty() || !w->isVisibleTo(window))
                        continue;
                    QVERIFY2(!owners.contains(key), qPrintable(owners[key] + " / " + caption));
                    owners.insert(key, caption);
                }
            }
        });
    }

    // Escape closes each window, or sends the main window to the tray, and keeps nothing
    // of what was typed in it.
    void escapeClosesEveryWindow_data() {
        QTest::addColumn<QString>("which");
        for (const char* which : {"main window", "edit dialog", "description prompt", "booking",
                                  "database records", "name box", "about"})
            QTest::newRow(which) << which;
    }
    void escapeClosesEveryWindow() {
        QFETCH(QString, which);
        inWindow(which, [&](QWidget* window) {
            if (auto* text = qobject_cast<QLineEdit*>(focused()))
                QTest::keyClicks(text, QStringLiteral("typed"));
            else if (auto* memo = qobject_cast<QPlainTextEdit*>(focused()))
                QTest::keyClicks(memo, QStringLiteral("typed"));
            QTest::keyClick(focused(), Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), qPrintable(which));
        });
        QVERIFY(f_->boxes.shown.isEmpty()); // no question, no complaint
        QCOMPARE(app_->tasks()[0]->name(), QStringLiteral("PROJ review"));
        QCOMPARE(app_->tasks()[0]->description(), QStringLiteral("Work"));
        QCOMPARE(app_->records().activeProjects().size(), 1);
        if (which != QLatin1String("main window"))
            QVERIFY(mainWindow()->isVisible());
        QVERIFY(!f_->readStore().contains("typed"));
    }

    // Windows made of a plain widget are a window and a dialog to a screen reader, not
    // a filler in some other window.
    void windowsSayWhatTheyAre() {
        const auto role = [](QWidget* w) {
            return QAccessible::queryAccessibleInterface(w)->role();
        };
        QCOMPARE(role(mainWindow()), QAccessible::Window);
        QCOMPARE(role(app_->progress()), QAccessible::Dialog);
    }

    // The question about a run left behind comes at start, before the user does anything
    // else: it has the keys, its safest answer the focus, and its answer is kept.
    void questionAtStartTakesTheFocus() {
        Task* review = app_->tasks()[0];
        Watchman::Gap run = gap();
        run.taskId = review->id();
        run.task = review->name();
        run.seenMs = 3600000;
        const double before = review->currentTime();
        AbsenceDialog* question = app_->absenceDialog();
        question->askGaps({run});
        QVERIFY(!question->testAttribute(Qt::WA_ShowWithoutActivating));
        QTRY_VERIFY(question->isActiveWindow());
        QCOMPARE(pathOf(focused()), QStringLiteral("Button1"));
        QTest::keyClick(focused(), Qt::Key_R, Qt::AltModifier); // "&Resume"
        QTest::keyClick(focused(), Qt::Key_L, Qt::AltModifier); // "Count until the &last sign"
        QTRY_VERIFY(!question->isVisible());
        QCOMPARE(formatTime(review->currentTime() - before), QStringLiteral("01:00:00"));
        QVERIFY(review->running());
    }

    // A question about time away comes while the user works: it asks to be shown without
    // the keys (whether the keys stay is the window manager's part: the desktop scenario
    // sees it); turned to, its safest answer has the focus and its keys work.
    void questionAboutTimeAwayWaitsForTheUser() {
        FakeIdleSource idle;
        platform::services().idle = &idle;
        const auto gone = qScopeGuard([this] {
            app_.reset();
            platform::services().idle = nullptr;
        });
        app_.reset(); // the program as it starts with this idle source
        app_ = std::make_unique<korvan::Application>();
        showMain();
        activate(mainWindow());
        mainWindow()->selectTaskRow(0);
        clickIn(mainWindow(), "Button5");
        Task* review = app_->tasks()[0];
        const double before = review->currentTime();
        // Away for eleven minutes, back at the keyboard.
        idle.idle = 11 * 60000LL;
        f_->clock.advanceSeconds(11 * 60);
        fireTimer(child<QTimer>(&app_->watchman(), "Heartbeat"));
        idle.idle = 500;
        fireTimer(child<QTimer>(&app_->watchman(), "AwayPoll"));
        AbsenceDialog* question = app_->absenceDialog();
        QVERIFY(question->isVisible());
        QVERIFY(question->testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(question->focusWidget(), child<QPushButton>(question, "Button1"));
        QVERIFY(child<QPushButton>(question, "Button1")->isDefault());
        question->activateWindow(); // Alt+Tab
        QTRY_VERIFY(question->isActiveWindow());
        QCOMPARE(focused(), child<QPushButton>(question, "Button1"));
        QTest::keyClick(focused(), Qt::Key_D, Qt::AltModifier); // "&Discard it"
        QTRY_VERIFY(!question->isVisible());
        QCOMPARE(formatTime(review->currentTime() - before), QStringLiteral("00:00:00"));
        QVERIFY(review->running());
    }

    // Started from the tray menu while "Edit task" is open, a task's description prompt has
    // the caret: what the user types is the task's description.
    void descriptionPromptOverTheEditDialogHasTheKeys() {
        showMain();
        mainWindow()->setRequestDescription(true);
        mainWindow()->selectTaskRow(1);
        Task* support = app_->tasks()[1];
        QString typedInto;
        QTimer::singleShot(0, this, [&] {
            const auto closed = qScopeGuard([this] { app_->editDialog()->reject(); });
            activate(app_->editDialog());
            mainWindow()->refreshMenu();
            mainWindow()->menuEntry(support)->trigger(); // from the tray menu
            DescriptionDialog* prompt = app_->descriptionPrompt();
            QTRY_VERIFY(prompt->isActiveWindow());
            // The closing menu gives the keys back to the dialog it was opened over: the
            // prompt takes them again.
            QSignalSpy moved(qApp, &QGuiApplication::focusWindowChanged);
            app_->editDialog()->activateWindow();
            QTRY_VERIFY(!moved.isEmpty());
            QTRY_VERIFY(prompt->isActiveWindow());
            typedInto = pathOf(focused());
            QTest::keyClicks(focused(), QStringLiteral("Call with the client"));
            QTest::keyClick(focused(), Qt::Key_Return, Qt::ControlModifier);
            QVERIFY(!prompt->isVisible());
        });
        clickIn(mainWindow(), "Button3");
        QCOMPARE(typedInto, QStringLiteral("Memo1"));
        QCOMPARE(support->description(), QStringLiteral("Work\r\nCall with the client"));
    }

    // A screen reader toggles an option by its action, not by a click: the option changes
    // and is kept as a click's change is.
    void optionToggledByAScreenReaderIsKept_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("stored");
        QTest::newRow("auto-save") << "CheckBox1"
                                   << "\"Auto Save\"=dword:00000000";
        QTest::newRow("reminder") << "CheckBox2"
                                  << "\"Auto Reminder\"=dword:00000000";
        QTest::newRow("time away") << "CheckBox5"
                                   << "\"Idle Minutes\"=dword:00000000";
        QTest::newRow("autostart") << "CheckBox3"
                                   << "\"Auto Start\"=dword:00000000";
        QTest::newRow("description") << "CheckBox4"
                                     << "\"Request Description\"=dword:00000001";
    }
    void optionToggledByAScreenReaderIsKept() {
        QFETCH(QString, box);
        QFETCH(QString, stored);
        showMain();
        auto* option = child<QCheckBox>(mainWindow(), box.toLatin1().constData());
        const bool wasOn = option->isChecked();
        QAccessibleActionInterface* actions =
            QAccessible::queryAccessibleInterface(option)->actionInterface();
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        actions->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(option->isChecked(), !wasOn);
        QTimer* save = child<QTimer>(&app_->watchman(), "SaveSoon");
        QVERIFY(save->isActive());
        // The minutes apply when the window closes.
        QTest::keyClick(option, Qt::Key_Escape);
        fireTimer(save);
        QVERIFY2(f_->readStore().contains(stored.toLatin1()), f_->readStore().constData());
        QVERIFY(f_->boxes.shown.isEmpty());
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
