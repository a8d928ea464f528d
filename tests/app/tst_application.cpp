#include "app/Application.h"
#include "app/ControlBus.h"
#include "database/BookingDialog.h"
#include "database/DatabaseDialog.h"
#include "database/EntryFrame.h"
#include "desktop/AboutDialog.h"
#include "desktop/PopupMenu.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/Watchman.h"
#include "model/WorkRecords.h"
#include "platform/ConnectionString.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"
#include "platform/Services.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "timing/AbsenceDialog.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/MainWindow.h"
#include "widgets/LookupComboBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cstring>

using namespace platform;

// What the application connects between its windows, on the whole program as main()
// builds it: the main window opens the edit dialog, the description prompt, the booking,
// the Database dialog and the About box; a booking saves the tasks, refreshes the main
// window and sends it back to the tray; the Database dialog's new connection is kept with
// the settings, not while a booking holds the lists; the bus follows the tasks. What one
// window does alone is tested with that window.
class TestApplication : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<korvan::Application> app_;

    TaskList& tasks() { return app_->tasks(); }
    MainWindow* mainWindow() const { return app_->mainWindow(); }
    EditTaskDialog* editDialog() const { return app_->editDialog(); }
    DescriptionDialog* prompt() const { return app_->descriptionPrompt(); }
    BookingDialog* booking() const { return app_->booking(); }
    DatabaseDialog* database() const { return app_->database(); }
    DbConnection& db() { return app_->records().connection(); }

    Task* addTask(const QString& name, double hours = 0) { return ::addTask(tasks(), name, hours); }
    // The user picks a row of the grid, which exists once the window has been polished.
    void select(int row) {
        mainWindow()->ensurePolished();
        mainWindow()->selectTaskRow(row);
    }
    void useDatabase(const QString& cs) { db().connectionString = cs; }

    // The edit dialog is modal: `act` runs inside it, then OK or Cancel ends it.
    void inDialog(const std::function<void()>& act, bool ok = true) {
        QTimer::singleShot(0, this, [=] {
            act();
            child<QPushButton>(editDialog(), ok ? "Button1" : "Button2")->click();
        });
    }

    // The description prompt opens without blocking whoever started the task.
    void promptShown() { QTRY_VERIFY(prompt()->isVisible()); }
    void promptAnswered() { QTRY_VERIFY(!prompt()->isVisible()); }

    // A task for the booking, and the lists its frames choose from.
    Task* task(const QString& name, double hours, int project = 0, int activity = 0,
               const QString& text = QString()) {
        Task* t = addTask(name, hours);
        t->setSectionId(project);
        t->setActivityId(activity);
        t->setDescription(text);
        return t;
    }
    void prepare(const QString& cs) {
        useDatabase(cs);
        seedProjectsAndActivities(db(), {QStringLiteral("Project 1"), QStringLiteral("Project 2")},
                                  {QStringLiteral("Coding"), QStringLiteral("Testing")});
    }
    QVariant scalar(const QString& sql) {
        DataSet q(&db());
        q.sql = sql;
        q.open();
        QVariant v = q.value(0, 0);
        q.close();
        return v;
    }
    int bookedRecords() {
        return scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt();
    }
    EntryFrame* frame(int i) { return booking()->frameAt(i); }
    void save(bool yes = true) {
        f_->boxes.answer(yes ? MsgAnswer::Yes : MsgAnswer::No);
        child<QPushButton>(booking(), "Button2")->click();
    }

    static QStringList items(QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    // Fills the "Settings" page's connection fields as a user does: the kind chosen with
    // the keys, the fields cleared and typed.
    void typeConnection(const QString& connection) {
        const platform::ConnectionString cs = platform::ConnectionString::parse(connection);
        const bool server = cs.value(QStringLiteral("Provider")) == QLatin1String("PostgreSQL");
        auto* kind = child<QComboBox>(database(), "ProviderBox");
        kind->setFocus();
        QTest::keyClick(kind, server ? Qt::Key_End : Qt::Key_Home);
        const auto type = [this](const char* name, const QString& text) {
            auto* edit = child<QLineEdit>(database(), name);
            QVERIFY(edit->isVisible());
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, text);
        };
        if (!server) {
            type("FileEdit", cs.value(QStringLiteral("Data Source")));
            return;
        }
        const QString source = cs.value(QStringLiteral("Data Source"));
        type("HostEdit", source.section(QLatin1Char(':'), 0, 0));
        auto* port = child<QSpinBox>(database(), "PortBox");
        port->setFocus();
        QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(port, source.section(QLatin1Char(':'), 1, 1));
        type("CatalogEdit", cs.value(QStringLiteral("Initial Catalog")));
        type("UserEdit", cs.value(QStringLiteral("User ID")));
        type("PasswordEdit", cs.value(QStringLiteral("Password")));
    }
    void clickButton(const char* name) {
        auto* button = child<QPushButton>(database(), name);
        QVERIFY(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString storedConnection() {
        FileRegistry store(f_->storePath());
        RegValue value;
        auto key = store.openKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Myrkat\\Korvan"));
        return key->queryValue(QStringLiteral("Connection"), value) ? value.toText() : QString();
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        f_ = std::make_unique<Fixture>();
        app_ = std::make_unique<korvan::Application>();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void cleanup() {
        app_.reset();
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }

    // ---- the main window and the edit dialog ----

    void newTaskAndSelection_data() { addEngineRows(); }
    void newTaskAndSelection() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        useDatabase(cs);
        tasks().pushBack(new Task(QStringLiteral("zz")));
        inDialog([this] {
            QVERIFY(child<QLineEdit>(editDialog(), "Edit1")->text().isEmpty());
            QCOMPARE(child<QLineEdit>(editDialog(), "MaskEdit1")->text(),
                     QStringLiteral("00:00:00"));
            QVERIFY(child<LookupComboBox>(editDialog(), "DBLookupComboBox1")->keyValue().isNull());
            QCOMPARE(child<LookupComboBox>(editDialog(), "DBLookupComboBox1")->currentIndex(), -1);
            QVERIFY(db().connected());
            child<QLineEdit>(editDialog(), "Edit1")->setText(QStringLiteral("aa new"));
        });
        child<QPushButton>(mainWindow(), "Button2")->click();
        QCOMPARE(tasks().size(), size_t(2));
        Task* created = mainWindow()->selectedTask();
        QVERIFY(created);
        QCOMPARE(created->name(), QStringLiteral("aa new"));
        QCOMPARE(created->time(), 0.0);
        QCOMPARE(created->sectionId(), 0);
        QCOMPARE(created->activityId(), 0);
        QVERIFY(!db().connected()); // closing the dialog closed it
        QVERIFY(!app_->records().activities().active());
    }

    // A task of more than a day keeps its whole time through OK without a change, and the
    // grid and the menu show it in full.
    void daysSurviveOkWithoutChange() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        auto* t = new Task(QStringLiteral("long"));
        t->setTime((25 * 3600 + 3 * 60) / 86400.0);
        tasks().pushBack(t);
        mainWindow()->refreshGrid();
        mainWindow()->refreshMenu();
        QCOMPARE(
            child<QTableView>(mainWindow(), "StringGrid1")->model()->index(0, 1).data().toString(),
            QStringLiteral("25:03:00"));
        QCOMPARE(MainWindow::entryCaption(mainWindow()->menuEntry(t)),
                 QStringLiteral("long  25:03:00"));
        QString shown;
        QTimer::singleShot(0, this, [&] {
            shown = child<QLineEdit>(editDialog(), "MaskEdit1")->text();
            QTest::mouseClick(child<QPushButton>(editDialog(), "Button1"), Qt::LeftButton);
        });
        select(0);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button3"), Qt::LeftButton);
        QCOMPARE(shown, QStringLiteral("25:03:00"));
        QCOMPARE(t->timeText(), QStringLiteral("25:03:00"));
        QCOMPARE(t->hours(), 25.05f);
    }

    // A double-click below the last row edits the selected task as one on a row does.
    void doubleClickBelowTheRowsEdits() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        tasks().pushBack(new Task(QStringLiteral("only")));
        mainWindow()->refreshGrid();
        child<QAction>(mainWindow(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        select(0);
        QString edited;
        QTimer::singleShot(0, this, [&] {
            edited = child<QLineEdit>(editDialog(), "Edit1")->text();
            QTest::mouseClick(child<QPushButton>(editDialog(), "Button2"), Qt::LeftButton);
        });
        QWidget* area = child<QTableView>(mainWindow(), "StringGrid1")->viewport();
        QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(10, area->height() - 5));
        QCOMPARE(edited, QStringLiteral("only"));
    }

    // Without a task a double-click in the grid has nothing to edit.
    void doubleClickOnAnEmptyGridEditsNothing() {
        mainWindow()->refreshGrid();
        QWidget* grid = child<QTableView>(mainWindow(), "StringGrid1")->viewport();
        QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(10, 60));
        QVERIFY(!editDialog()->isVisible());
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // ---- the main window and the description prompt ----

    void descriptionPromptOnStart() {
        app_->options().setRequestDescription(true);
        Task* a = addTask(QStringLiteral("Review"));
        a->setDescription(QStringLiteral("First line"));
        mainWindow()->refreshGrid();
        select(0);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button5"), Qt::LeftButton);
        // The task runs at once; the prompt waits for the user, the tray menu off meanwhile.
        QVERIFY(a->running());
        promptShown();
        QVERIFY(!child<PopupMenu>(mainWindow(), "PopupMenu1")->autoPopup);
        QCOMPARE(child<QLabel>(prompt(), "Label3")->text(), QStringLiteral("Review"));
        QCOMPARE(child<QPlainTextEdit>(prompt(), "Memo1")->toPlainText(),
                 QStringLiteral("First line\n"));
        QCOMPARE(child<QPlainTextEdit>(prompt(), "Memo1")->textCursor().position(), 11);
        QTest::keyClicks(child<QPlainTextEdit>(prompt(), "Memo1"), QStringLiteral("Second"));
        QTest::keyClick(child<QPlainTextEdit>(prompt(), "Memo1"),
                        Qt::Key_Return); // a plain Enter is a line break
        QTest::keyClick(child<QPlainTextEdit>(prompt(), "Memo1"), Qt::Key_Return,
                        Qt::ControlModifier);
        promptAnswered();
        QVERIFY(child<PopupMenu>(mainWindow(), "PopupMenu1")->autoPopup);
        QVERIFY(a->running());
        QCOMPARE(a->description(), QStringLiteral("First line\r\nSecond\r\n"));
        QVERIFY(mainWindow()->settings().requestDescription);
    }

    void descriptionPromptDoNotShowAgain() {
        app_->options().setRequestDescription(true);
        child<QCheckBox>(mainWindow(), "CheckBox4")->setChecked(true);
        Task* a = addTask(QStringLiteral("x"));
        // Cancel with the box ticked changes nothing.
        a->start();
        promptShown();
        QTest::mouseClick(child<QCheckBox>(prompt(), "CheckBox1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(prompt(), "Button2"), Qt::LeftButton);
        promptAnswered();
        QVERIFY(mainWindow()->settings().requestDescription);
        a->stop();
        // Shift+Ctrl+Enter does not confirm; OK with the box ticked turns the prompt off.
        a->start();
        promptShown();
        QTest::keyClick(child<QPlainTextEdit>(prompt(), "Memo1"), Qt::Key_Return,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(prompt()->isVisible());
        QVERIFY(!child<QCheckBox>(prompt(), "CheckBox1")->isChecked()); // each prompt unticked
        QTest::mouseClick(child<QCheckBox>(prompt(), "CheckBox1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(prompt(), "Button1"), Qt::LeftButton);
        promptAnswered();
        QVERIFY(!mainWindow()->settings().requestDescription);
        QVERIFY(!child<QCheckBox>(mainWindow(), "CheckBox4")->isChecked());
        a->stop();
        a->start();
        QVERIFY(!prompt()->isVisible());
        QVERIFY(a->running());
    }

    // A task removed while its prompt is open gets nothing written back.
    void descriptionPromptForRemovedTask() {
        app_->options().setRequestDescription(true);
        Task* a = addTask(QStringLiteral("Gone"));
        addTask(QStringLiteral("Stays"));
        mainWindow()->refreshGrid();
        select(0);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button5"), Qt::LeftButton);
        promptShown();
        tasks().remove(a);
        QTest::keyClicks(child<QPlainTextEdit>(prompt(), "Memo1"), QStringLiteral("late"));
        QTest::mouseClick(child<QPushButton>(prompt(), "Button1"), Qt::LeftButton);
        promptAnswered();
        QCOMPARE(tasks().front()->description(), QString());
    }

    // Another task started while the prompt is open (the item host's menu, a script): the
    // open prompt's text goes to the task it names, and the task started meanwhile is asked
    // about once it is answered, if it still runs.
    void switchWhileThePromptIsOpen() {
        app_->options().setRequestDescription(true);
        Task* a = addTask(QStringLiteral("Review"));
        Task* b = addTask(QStringLiteral("Support"));
        Task* c = addTask(QStringLiteral("Writing"));
        mainWindow()->refreshGrid();
        mainWindow()->refreshMenu();
        select(0);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button5"), Qt::LeftButton);
        promptShown();
        QCOMPARE(child<QLabel>(prompt(), "Label3")->text(), QStringLiteral("Review"));
        // The exported menu, then a script.
        mainWindow()->menuEntry(b)->trigger();
        QVERIFY(b->running());
        app_->bus().Start(QStringLiteral("Writing"));
        QVERIFY(c->running());
        QCOMPARE(child<QLabel>(prompt(), "Label3")->text(), QStringLiteral("Review"));
        QTest::keyClicks(child<QPlainTextEdit>(prompt(), "Memo1"), QStringLiteral("read it"));
        QTest::mouseClick(child<QPushButton>(prompt(), "Button1"), Qt::LeftButton);
        QCOMPARE(a->description(), QStringLiteral("read it"));
        QVERIFY(b->description().isEmpty());
        QVERIFY(c->description().isEmpty());
        // Now the one that runs.
        QTRY_VERIFY(prompt()->isVisible());
        QCOMPARE(child<QLabel>(prompt(), "Label3")->text(), QStringLiteral("Writing"));
        QTest::keyClicks(child<QPlainTextEdit>(prompt(), "Memo1"), QStringLiteral("draft"));
        QTest::mouseClick(child<QPushButton>(prompt(), "Button1"), Qt::LeftButton);
        QCOMPARE(c->description(), QStringLiteral("draft"));
        QTest::qWait(50);
        QVERIFY(!prompt()->isVisible());
    }

    // Stopped meanwhile, or prompts turned off in the open one: nothing more is asked.
    void switchWhileThePromptIsOpenThenNoMorePrompt_data() {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("stopped meanwhile") << true;
        QTest::newRow("prompts turned off") << false;
    }
    void switchWhileThePromptIsOpenThenNoMorePrompt() {
        QFETCH(bool, stopped);
        app_->options().setRequestDescription(true);
        Task* a = addTask(QStringLiteral("Review"));
        Task* b = addTask(QStringLiteral("Support"));
        a->start();
        promptShown();
        app_->bus().Start(QStringLiteral("Support"));
        QVERIFY(b->running());
        if (stopped)
            app_->bus().Stop();
        else
            QTest::mouseClick(child<QCheckBox>(prompt(), "CheckBox1"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(prompt(), "Button1"), Qt::LeftButton);
        promptAnswered();
        QTest::qWait(50);
        QVERIFY(!prompt()->isVisible());
        QCOMPARE(mainWindow()->settings().requestDescription, stopped);
    }

    // ---- the main window and the bus ----

    // A switch of task is announced once, after the click that caused it.
    void runningTaskChangeAnnouncedOnce() {
        QStringList announced;
        connect(&app_->bus(), &korvan::ControlBus::RunningTaskChanged, this,
                [&](const QString& name) { announced << name; });
        addTask(QStringLiteral("a"));
        addTask(QStringLiteral("b"));
        mainWindow()->refreshMenu();
        mainWindow()->menuEntry(tasks()[0])->trigger();
        mainWindow()->menuEntry(tasks()[1])->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(announced, QStringList({"b"}));
        mainWindow()->menuEntry(tasks()[1])->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(announced, QStringList({"b", ""}));
    }

    // ---- the main window's other windows ----

    // The tray menu's "About" shows the About box, also again once it was closed.
    void aboutEntryShowsTheAboutBox() {
        QVERIFY(!app_->about()->isVisible());
        child<QAction>(mainWindow(), "About1")->trigger();
        QVERIFY(app_->about()->isVisible());
        QTest::mouseClick(child<QPushButton>(app_->about(), "Button1"), Qt::LeftButton);
        QVERIFY(!app_->about()->isVisible());
        child<QAction>(mainWindow(), "About1")->trigger();
        QVERIFY(app_->about()->isVisible());
    }

    // "Database" and "Save to DB" in the main window open their windows.
    void buttonsOpenTheDatabaseAndTheBooking() {
        useDatabase(dbs_->fresh(QStringLiteral("sqlite")));
        child<QAction>(mainWindow(), "Add1")->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow()));
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button10"), Qt::LeftButton);
        QVERIFY(database()->isVisible());
        database()->close();
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button9"), Qt::LeftButton);
        QVERIFY(booking()->isVisible());
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    // ---- the booking and the main window ----

    void nothingToBook_data() { addEngineRows(); }
    void nothingToBook() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        task(QStringLiteral("idle"), 59.0 / 3600);
        child<QAction>(mainWindow(), "Add1")->trigger();
        booking()->showSummary();
        QCOMPARE(child<QLineEdit>(frame(0), "Edit2")->text(), QStringLiteral("0,00"));
        QCOMPARE(child<QLabel>(booking(), "Label2")->text(), QStringLiteral("0,00"));
        save();
        QCOMPARE(
            f_->boxes.shown.at(0).text,
            QStringLiteral(
                "Are you sure to save following records to database ?\r\n\r\n\r\nTotal: 0,00 h"));
        QCOMPARE(f_->boxes.shown.at(0).caption, QStringLiteral("Confirm"));
        QCOMPARE(f_->boxes.shown.at(1).text, QStringLiteral("Project times saved successfully."));
        QCOMPARE(f_->boxes.shown.at(1).caption, QStringLiteral("Information"));
        QCOMPARE(f_->boxes.shown.at(1).icon, MsgIcon::Information);
        QCOMPARE(bookedRecords(), 0);
        QVERIFY(!booking()->isVisible());
        QVERIFY(!mainWindow()->isVisible());
        // Nothing was booked, so nothing is reset: the 59 seconds stay.
        QCOMPARE(tasks()[0]->currentTimeText(), QStringLiteral("00:00:59"));
    }

    // The booked tasks are reset and the store saved before the success message shows (a
    // crash while it shows must not leave the hours to be booked again); a task added while
    // the dialog was open keeps its time.
    void resetAndSavedBeforeTheMessage_data() { addEngineRows(); }
    void resetAndSavedBeforeTheMessage() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        task(QStringLiteral("booked"), 2, 1, 1, QStringLiteral("work"));
        child<QCheckBox>(booking(), "CheckBox1")->setChecked(true);
        booking()->showSummary();
        Task* later = task(QStringLiteral("later"), 2); // added while the dialog shows
        QByteArray storeAtMessage;
        f_->boxes.onShow = [&](const ScriptedMessageBox::Box& b) {
            if (b.caption == QLatin1String("Information"))
                storeAtMessage = f_->readStore();
        };
        save();
        QCOMPARE(bookedRecords(), 1);
        QVERIFY(storeAtMessage.contains("\"Project0\"=\"booked\"") ||
                storeAtMessage.contains("=\"booked\""));
        QVERIFY(storeAtMessage.contains("\"Time0\"=hex:00,00,00,00,00,00,00,00"));
        QCOMPARE(later->currentTimeText(), QStringLiteral("02:00:00"));
    }

    // ---- the booking and the edit dialog, on the same work records ----

    // Closing "Edit task" leaves an open "Summary" with its lists: the frames keep showing
    // their projects and the booking books them.
    void editTaskLeavesTheSummaryItsLists_data() { addEngineRows(); }
    void editTaskLeavesTheSummaryItsLists() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        prepare(cs);
        Task* t = task(QStringLiteral("t"), 1, 2, 1, QStringLiteral("w"));
        booking()->showSummary();
        QCOMPARE(child<LookupComboBox>(frame(0), "DBLookupComboBox2")->text(),
                 QStringLiteral("Project 2"));
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(child<QPushButton>(editDialog(), "Button2"), Qt::LeftButton);
        });
        editDialog()->editTask(t);
        QVERIFY(app_->records().projects().active());
        QCOMPARE(child<LookupComboBox>(frame(0), "DBLookupComboBox2")->text(),
                 QStringLiteral("Project 2"));
        save();
        QCOMPARE(scalar(QStringLiteral("SELECT id_Usek FROM SEP_ProvedenaPrace")).toInt(), 2);
    }

    // ---- the Database dialog, the settings and the booking ----

    // Another database is chosen on the "Settings" page without editing any file: a
    // connection that does not work, or a choice while a booking is open, changes nothing;
    // one that works is tested, applied, stored scrambled and used at once.
    void chooseConnection_data() { addEngineRows(); }
    void chooseConnection() {
        KORVAN_FRESH_DATABASE(*dbs_, target);
        {
            RecordsConnection c;
            c.connectionString = target;
            seedProjectsAndActivities(c, {QStringLiteral("New")}, {});
        }
        const QString start = dbs_->fresh(QStringLiteral("sqlite"));
        db().connectionString = start;
        app_->options().setConnection(start);
        seedProjectsAndActivities(db(), {QStringLiteral("Old")}, {});
        mainWindow()->saveSettings();
        const QString storedBefore = storedConnection();
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button10"), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(database()));
        QTabBar* tabs = child<QTabWidget>(database(), "PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        QCOMPARE(child<QTabWidget>(database(), "PageControl1")->currentWidget(),
                 child<QWidget>(database(), "TabSheet1"));

        // Not working: a wrong password, or a folder that does not exist.
        const QString wrong =
            engine == QLatin1String("sqlite")
                ? QStringLiteral("Provider=SQLite;Data Source=/no/such/folder/Korvan.dat")
                : QString(target).replace(QRegularExpression(QStringLiteral("Password=[^;]*")),
                                          QStringLiteral("Password=wrong"));
        typeConnection(wrong);
        clickButton("TestButton");
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Warning);
        clickButton("ApplyButton");
        QVERIFY2(f_->boxes.last().text.startsWith(QStringLiteral("Korvan keeps the database")),
                 qPrintable(f_->boxes.last().text));
        QCOMPARE(db().connectionString, start);
        QCOMPARE(storedConnection(), storedBefore);
        QCOMPARE(items(child<QListWidget>(database(), "ListBox1")),
                 QStringList{QStringLiteral("Old")});

        // Working, but a booking holds the lists of the database in use.
        typeConnection(target);
        clickButton("TestButton");
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Connection succeeded."));
        booking()->showSummary();
        clickButton("ApplyButton");
        QVERIFY(f_->boxes.last().text.startsWith(QStringLiteral("Close \"Summary\"")));
        QCOMPARE(db().connectionString, start);
        booking()->close();

        clickButton("ApplyButton");
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Korvan now records to this database."));
        const QString applied = db().connectionString;
        QCOMPARE(mainWindow()->settings().connection, applied);
        QCOMPARE(scramblePassword(storedConnection()).section(QLatin1Char(';'), 0, 4),
                 applied.section(QLatin1Char(';'), 0, 4));
        if (engine == QLatin1String("postgresql")) {
            const QString password =
                platform::ConnectionString::parse(target).value(QStringLiteral("Password"));
            QVERIFY(!storedConnection().contains(password)); // scrambled, as always
            QCOMPARE(platform::ConnectionString::parse(scramblePassword(storedConnection()))
                         .value(QStringLiteral("Password")),
                     password);
        }
        QCOMPARE(items(child<QListWidget>(database(), "ListBox1")),
                 QStringList{QStringLiteral("New")});
        QCOMPARE(child<LookupComboBox>(database(), "DBLookupComboBox1")->count(),
                 2); // "< All >" and New
    }

    // "Required" and the password file, chosen by keys and a click, are applied and stored
    // without a password, and the next start shows them again. An SQLite file keeps neither.
    void tlsAndPasswordFileChosen_data() { addEngineRows(); }
    void tlsAndPasswordFileChosen() {
        KORVAN_FRESH_DATABASE(*dbs_, start);
        const bool server = engine == QLatin1String("postgresql");
        QTemporaryDir dir;
        QFile pgpass(dir.filePath(QStringLiteral("pgpass")));
        QVERIFY(pgpass.open(QIODevice::WriteOnly));
        const auto cs = platform::ConnectionString::parse(start);
        pgpass.write(QStringList{cs.value("Data Source"), cs.value("Initial Catalog"),
                                 cs.value("User ID"), cs.value("Password")}
                         .join(QLatin1Char(':'))
                         .toUtf8());
        pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        pgpass.close();
        qputenv("PGPASSFILE", QFile::encodeName(pgpass.fileName()));
        const auto unset = qScopeGuard([] { qunsetenv("PGPASSFILE"); });
        prepare(start);
        app_->options().setConnection(start);
        const auto openSettings = [this] {
            QTest::mouseClick(child<QPushButton>(mainWindow(), "Button10"), Qt::LeftButton);
            QTabBar* tabs = child<QTabWidget>(database(), "PageControl1")->tabBar();
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        };
        openSettings();
        auto* kind = child<QComboBox>(database(), "ProviderBox");
        QTest::keyClick(kind, Qt::Key_End);
        QApplication::setActiveWindow(database());
        QVERIFY(QTest::qWaitForWindowActive(database()));
        QTest::keyClick(database(), Qt::Key_M, Qt::AltModifier); // "TLS mode:"
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        auto* box = child<QCheckBox>(database(), "PgpassBox");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
        auto* password = child<QLineEdit>(database(), "PasswordEdit");
        QVERIFY(!password->isEnabled() && password->text().isEmpty());
        if (!server)
            QTest::keyClick(kind, Qt::Key_Home);
        clickButton("ApplyButton");
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Korvan now records to this database."));
        const auto stored = platform::ConnectionString::parse(scramblePassword(storedConnection()));
        QCOMPARE(stored.value("SSL Mode"), server ? "require" : "");
        QCOMPARE(stored.value("Password File"), server ? "yes" : "");
        QVERIFY(!stored.has("Password") && !f_->readStore().contains("korvan-test"));
        if (!server)
            return;
        QVERIFY(scalar(QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"))
                    .toBool());
        app_.reset();
        f_->rereadStore();
        app_ = std::make_unique<korvan::Application>();
        openSettings();
        QCOMPARE(child<QComboBox>(database(), "TlsBox")->currentText(), QStringLiteral("Required"));
        QVERIFY(child<QCheckBox>(database(), "PgpassBox")->isChecked());
    }

    // A task's project and activity are ids of the database they were chosen in. Apply of
    // the same database (as the page writes it) keeps them; of another, with the chart open,
    // clears them and says so once, and the next start, reading the store from disk, has
    // them cleared: "Summary" offers none of the other database's same ids.
    void idsStayWithTheirDatabase_data() { addEngineRows(); }
    void idsStayWithTheirDatabase() {
        KORVAN_FRESH_DATABASE(*dbs_, start);
        prepare(start);
        app_->options().setConnection(start);
        const QString other = dbs_->fresh(QStringLiteral("sqlite"));
        {
            WorkRecords b(other);
            bookRecord(b.recordInsert(), b.addProject(QStringLiteral("Other")),
                       b.addActivity(QStringLiteral("Else")), 3, QDate(2024, 5, 1));
        }
        task(QStringLiteral("t"), 1, 1, 1);
        QTest::mouseClick(child<QPushButton>(mainWindow(), "Button10"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(database(), "ChartButton"), Qt::LeftButton);
        QTabBar* tabs = child<QTabWidget>(database(), "PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        const QString done = QStringLiteral("Korvan now records to this database.");
        typeConnection(start);
        clickButton("ApplyButton");
        QCOMPARE(f_->boxes.last().text, done);
        QCOMPARE(tasks()[0]->sectionId() + tasks()[0]->activityId(), 2);
        typeConnection(other);
        clickButton("ApplyButton");
        const QString cleared = TaskStore::choicesClearedText();
        QCOMPARE(f_->boxes.last().text, done + QStringLiteral("\n\n") + cleared);
        QCOMPARE(child<QTableWidget>(database(), "ProjectTotals")->rowCount(), 1);
        app_.reset();
        f_->rereadStore();
        app_ = std::make_unique<korvan::Application>();
        QCoreApplication::processEvents();
        QCOMPARE(tasks()[0]->sectionId() + tasks()[0]->activityId(), 0);
        QCOMPARE(std::count_if(f_->boxes.shown.begin(), f_->boxes.shown.end(),
                               [&](const auto& box) { return box.text.contains(cleared); }),
                 1);
        booking()->showSummary();
        QCOMPARE(child<LookupComboBox>(frame(0), "DBLookupComboBox2")->text(), QString());
    }
};

QTEST_MAIN(TestApplication)
#include "tst_application.moc"
