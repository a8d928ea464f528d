#include "DialogTest.h"
#include "database/DatabaseDialog.h"
#include "database/InputBox.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/ConnectionString.h"
#include "platform/LocaleText.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <sys/stat.h>

using namespace platform;

class TestSetup : public DialogTest {
    Q_OBJECT
    QString engineName_;

    DbConnection& db() { return f_->records().connection(); }
    InputBox* nameBox() const { return setup_->nameBox(); }
    // Answers the next input box with text (or cancels).
    void typeName(const QString& text, bool ok = true) {
        QTimer::singleShot(0, this, [=] {
            child<QLineEdit>(nameBox(), "Edit1")->setText(text);
            (ok ? child<QPushButton>(nameBox(), "Button1")
                : child<QPushButton>(nameBox(), "Button2"))
                ->click();
        });
    }
    QStringList items(QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    void select(QListWidget* list, const QString& text) {
        const auto found = list->findItems(text, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        list->setCurrentItem(found.first());
    }
    QVariant scalar(const QString& sql) {
        DataSet q(&db());
        q.sql = sql;
        q.open();
        QVariant v = q.value(0, 0);
        q.close();
        return v;
    }
    void book(int project, int activity, double hours, const QDate& day, const QString& text) {
        bookRecord(f_->records().recordInsert(), project, activity, hours, day, text);
    }
    // Two projects, two activities and four records over three days.
    void seed() {
        setup_->show();
        typeName(QStringLiteral("Client's site"));
        child<QPushButton>(setup_.get(), "Button4")->click();
        typeName(QStringLiteral("Internal"));
        child<QPushButton>(setup_.get(), "Button4")->click();
        typeName(QStringLiteral("Coding"));
        child<QPushButton>(setup_.get(), "Button1")->click();
        typeName(QStringLiteral("Say \"hi\"; now"));
        child<QPushButton>(setup_.get(), "Button1")->click();
        book(1, 1, 1.5, QDate(2024, 5, 1), QStringLiteral("plain"));
        book(1, 2, 2, QDate(2024, 5, 2), QStringLiteral("with \"quotes\"; and semicolons"));
        book(2, 1, 0.25, QDate(2024, 5, 2), QString());
        book(2, 2, 4, QDate(2024, 5, 3), QStringLiteral("two\r\nlines"));
        setup_->hide();
        setup_->show(); // read everything again
    }
    // Chooses an entry of a closed filter box with the arrow keys, as a user does.
    void chooseByKeys(LookupComboBox* box, const QString& text) {
        box->setFocus();
        const int wanted = box->findText(text);
        QVERIFY(wanted >= 0);
        for (int i = 0; i < 10 && box->currentIndex() != wanted; ++i)
            QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(box->currentText(), text);
    }
    // Opens the list and clicks the entry.
    void chooseInList(LookupComboBox* box, const QString& text) {
        const int wanted = box->findText(text);
        QVERIFY(wanted >= 0);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_F4);
        QAbstractItemView* view = box->view();
        QVERIFY(view->isVisible());
        const QRect cell = view->visualRect(view->model()->index(wanted, box->modelColumn()));
        QTest::mouseMove(view->viewport(), cell.center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(!view->isVisible());
        QCOMPARE(box->currentText(), text);
    }
    // Types the start of an entry on the closed box.
    void chooseByTyping(LookupComboBox* box, const QString& start) {
        box->setFocus();
        QTest::keyClicks(box, start);
    }
    // The wheel on a box that has the focus.
    void chooseByWheel(LookupComboBox* box, int steps) {
        QApplication::setActiveWindow(setup_.get());
        QVERIFY(QTest::qWaitForWindowActive(setup_.get()));
        box->setFocus();
        QVERIFY(box->hasFocus());
        const QPointF at(box->width() / 2.0, box->height() / 2.0);
        for (int i = 0; i < steps; ++i) {
            QWheelEvent event(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &event);
        }
    }
    // The total shown equals the sum of the shown rows.
    double shownSum() {
        double sum = 0;
        const int hours = setup_->shownRecords().fieldIndex(QStringLiteral("Cas"));
        for (int r = 0; r < child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(); ++r)
            sum += setup_->shownRecords().value(r, hours).toDouble();
        return sum;
    }

    void setFilter(int picker, const QDate& date) {
        DatePicker* p = picker == 1 ? child<DatePicker>(setup_.get(), "DateTimePicker1")
                                    : child<DatePicker>(setup_.get(), "DateTimePicker2");
        p->setDate(date);
        p->setChecked(true);
    }

private Q_SLOTS:
    void initTestCase() { startRun(); }
    void cleanupTestCase() { endRun(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    void emptyDatabase_data() { addEngineRows(); }
    void emptyDatabase() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        setup_->openDialog();
        QVERIFY(setup_->isVisible());
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("0 h"));
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox1")->count(), 0);
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox2")->count(), 0);
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->count(),
                 0); // no "< All >" without projects
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->keyValue().toInt(), -1);
        QVERIFY(setup_->shownRecords().filter().isEmpty());
        QVERIFY(f_->boxes.shown.isEmpty());
    }

    void filtersAndTotal_data() { addEngineRows(); }
    void filtersAndTotal() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 4);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("7.75 h"));
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->count(), 3);
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->text(),
                 QStringLiteral("< All >"));
        setFilter(2, QDate(2024, 5, 2)); // "to:" alone
        QCOMPARE(setup_->shownRecords().filter(), QStringLiteral(" DatumPrace <= '5/2/2024'"));
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 3);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("3.75 h"));
        setFilter(1, QDate(2024, 5, 2)); // both equal: that day
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 2);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("2.25 h"));
        chooseInList(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1"),
                     QStringLiteral("Internal"));
        chooseByKeys(child<LookupComboBox>(setup_.get(), "DBLookupComboBox2"),
                     QStringLiteral("Coding"));
        QCOMPARE(setup_->shownRecords().filter(),
                 QStringLiteral("DatumPrace >= '5/2/2024' and  DatumPrace <= '5/2/2024' and  "
                                "id_Usek = 2 and  id_TypPrace = 1"));
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 1);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("0.25 h"));
        child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->setKeyValue(-1);
        child<LookupComboBox>(setup_.get(), "DBLookupComboBox2")
            ->setKeyValue(QVariant()); // no selection: like "< All >"
        child<DatePicker>(setup_.get(), "DateTimePicker1")->setChecked(false);
        child<DatePicker>(setup_.get(), "DateTimePicker2")->setChecked(false);
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 4);
        setFilter(1, QDate(2024, 6, 1));
        setFilter(2, QDate(2024, 5, 1)); // from after to: nothing
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("0 h"));
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")
                     ->model()
                     ->data(child<QTableView>(setup_.get(), "DBGrid3")->model()->index(0, 0),
                            Qt::DisplayRole),
                 QVariant());
    }

    // Ticking "Date from:" filters by the day shown, in every locale's digits: also those
    // outside the basic plane (Chakma, Adlam), which the locale's own parser cannot read.
    void dateFilterInEveryDigitSystem_data() {
        QTest::addColumn<QString>("locale");
        for (const char* name : {"en_US", "ccp_BD", "ff_Adlm_SN", "ar_EG", "fa_IR", "hi_IN"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void dateFilterInEveryDigitSystem() {
        QFETCH(QString, locale);
        db().connectionString = dbs_->fresh(QStringLiteral("sqlite"));
        seed();
        setup_->hide();
        QLocale::setDefault(QLocale(locale));
        f_->clock.value = platform::toDayCount(QDateTime(QDate(2024, 5, 2), QTime(9, 0)));
        setup_->show();
        QVERIFY(QTest::qWaitForWindowExposed(setup_.get()));
        QCheckBox* from = child<DatePicker>(setup_.get(), "DateTimePicker1")->checkBox();
        QTest::mouseClick(from, Qt::LeftButton, {}, QPoint(from->height() / 2, from->height() / 2));
        QVERIFY(from->isChecked());
        QVERIFY(f_->boxes.shown.isEmpty());
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 3);
        QCOMPARE(shownSum(), 6.25);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(),
                 platform::hoursText(6.25) + QStringLiteral(" h"));
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }

    void gridTextsAndExport_data() { addEngineRows(); }
    void gridTextsAndExport() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        seed();
        const QString file = f_->paths->root.path() + QStringLiteral("/out.csv");
        f_->saveFile.answers = {file};
        child<QPushButton>(setup_.get(), "Button8")->click();
        QCOMPARE(f_->saveFile.requests.last().title, QStringLiteral("Export data"));
        QCOMPARE(f_->saveFile.requests.last().proposedName, QStringLiteral("Korvan"));
        QCOMPARE(f_->saveFile.requests.last().defaultSuffix, QStringLiteral("csv"));
        QCOMPARE(f_->saveFile.requests.last().selectedFilter, 1);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Selected data exported successfully."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Export"));
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(in.readAll());
        QVERIFY(text.startsWith(
            QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n")));
        QVERIFY2(text.contains(QStringLiteral(
                     "\"01.05.2024\";\"Client's site\";\"1,5\";\"Coding\";\"plain\";\r\n")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral(
            "\"Say \"\"hi\"\"; now\";\"with \"\"quotes\"\"; and semicolons\";\r\n")));
        QVERIFY(text.contains(QStringLiteral("\"0,25\";\"Coding\";\"\";\r\n")));
        QVERIFY(text.contains(QStringLiteral("\"two\r\nlines\";\r\n")));
        QCOMPARE(text.count(QStringLiteral(";\r\n")), 5);
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->currentIndex().row(), 3);

        // An unwritable place: the general report, no success, no file left behind.
        const int boxes = f_->boxes.shown.size();
        f_->saveFile.answers = {f_->paths->root.path() + QStringLiteral("/missing/out.csv")};
        QFile::remove(f_->paths->root.path() + QStringLiteral("/missing"));
        QFile blocker(f_->paths->root.path() + QStringLiteral("/missing"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        child<QPushButton>(setup_.get(), "Button8")->click();
        QCOMPARE(f_->boxes.shown.size(), boxes + 1);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QCOMPARE(f_->boxes.last().icon, MsgIcon::Error);
        // Cancel: nothing.
        child<QPushButton>(setup_.get(), "Button8")->click();
        QCOMPARE(f_->boxes.shown.size(), boxes + 1);

        // A full disk while writing over an earlier export: the earlier file stays whole.
        const QByteArray before = [&] {
            QFile old(file);
            return old.open(QIODevice::ReadOnly) ? old.readAll() : QByteArray();
        }();
        f_->saveFile.answers = {file};
        {
            FullDisk full(64);
            child<QPushButton>(setup_.get(), "Button8")->click();
        }
        QCOMPARE(f_->boxes.shown.size(), boxes + 2);
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QFile again(file);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), before);
        QCOMPARE(QDir(f_->paths->root.path()).entryList({QStringLiteral("*.tmp-*")}).size(), 0);
    }

    // Whatever way the user changes a filter, the grid, the total and the export follow
    // at once, and the total is the sum of the shown rows.
    void everyWayOfChoosingAFilter_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("way");
        for (const char* e : {"sqlite", "postgresql"})
            for (const char* w : {"list", "keys", "typing", "wheel"})
                QTest::newRow(
                    qPrintable(QStringLiteral("%1-%2").arg(QLatin1String(e), QLatin1String(w))))
                    << QString::fromLatin1(e) << QString::fromLatin1(w);
    }
    void everyWayOfChoosingAFilter() {
        QFETCH(QString, way);
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        LookupComboBox* project = child<LookupComboBox>(setup_.get(), "DBLookupComboBox1");
        // "< All >", "Client's site", "Internal": the second project is two steps down.
        if (way == QLatin1String("list"))
            chooseInList(project, QStringLiteral("Internal"));
        else if (way == QLatin1String("keys"))
            chooseByKeys(project, QStringLiteral("Internal"));
        else if (way == QLatin1String("typing"))
            chooseByTyping(project, QStringLiteral("I"));
        else
            chooseByWheel(project, 2);
        QCOMPARE(project->currentText(), QStringLiteral("Internal"));
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 2);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("4.25 h"));
        QCOMPARE(shownSum(), 4.25);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("internal.csv"));
        f_->saveFile.answers = {file};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        QFile out(file);
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = out.readAll().split('\n');
        int records = 0;
        for (const QByteArray& line : lines)
            if (line.contains("\"Internal\""))
                ++records;
        QCOMPARE(records, 2);
        QVERIFY(!out.readAll().contains("Client"));
    }

    void activities_data() { addEngineRows(); }
    void activities() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        child<QListWidget>(setup_.get(), "ListBox2")->setCurrentRow(-1);
        child<QListWidget>(setup_.get(), "ListBox2")->clearSelection();
        child<QPushButton>(setup_.get(), "Button3")->click();
        QCOMPARE(f_->boxes.last().text, QStringLiteral("No activity was selected."));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Edit Activity"));
        child<QPushButton>(setup_.get(), "Button2")->click();
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Delete activity"));
        select(child<QListWidget>(setup_.get(), "ListBox2"), QStringLiteral("Coding"));
        typeName(QStringLiteral("Coding 2"), false); // cancel
        child<QPushButton>(setup_.get(), "Button3")->click();
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox2")),
                 QStringList({"Coding", "Say \"hi\"; now"}));
        typeName(QString()); // an empty name is accepted
        child<QPushButton>(setup_.get(), "Button3")->click();
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox2")),
                 QStringList({"", "Say \"hi\"; now"}));
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox2")->count(), 3);
        select(child<QListWidget>(setup_.get(), "ListBox2"), QStringLiteral("Say \"hi\"; now"));
        f_->boxes.answer(MsgAnswer::No);
        child<QPushButton>(setup_.get(), "Button2")->click();
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox2")->count(), 2);
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(setup_.get(), "Button2")->click();
        QCOMPARE(f_->boxes.last().text,
                 QStringLiteral("When you delete activity all associated recorded project times "
                                "will be deleted too.\n\r\n\rAre you sure to continue anyway ?"));
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox2")), QStringList({""}));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt(),
                 2); // of both projects
    }

    // Names reach the engine as bound values, also on a server that reads backslashes in
    // quoted text (standard_conforming_strings off); a new entry's id is the one the insert
    // made; after a delete nothing is selected, so a second Delete asks for a choice.
    void namesAreBoundAndNothingStaysSelected_data() { addEngineRows(); }
    void namesAreBoundAndNothingStaysSelected() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        if (cs.contains(QStringLiteral("PostgreSQL"))) {
            const QString catalog =
                ConnectionString::parse(cs).value(QStringLiteral("initial catalog"));
            db().connectionString = cs;
            db().execute(
                QStringLiteral("ALTER DATABASE \"%1\" SET standard_conforming_strings = off")
                    .arg(catalog));
            db().close();
        }
        db().connectionString = cs;
        seed();
        const QString hostile = QStringLiteral("Design\\'); DELETE FROM SEP_TypPrace; --");
        typeName(hostile);
        child<QPushButton>(setup_.get(), "Button1")->click();
        const QString odd = QStringLiteral("O'Brien \\ \"x\"");
        typeName(odd);
        child<QPushButton>(setup_.get(), "Button4")->click();
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_TypPrace")).toInt(), 3);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt(), 4);
        const auto last = [](QListWidget* list) { return list->item(list->count() - 1); };
        QCOMPARE(last(child<QListWidget>(setup_.get(), "ListBox2"))->text(), hostile);
        QCOMPARE(scalar(QStringLiteral("SELECT TypPrace FROM SEP_TypPrace WHERE id_TypPrace = %1")
                            .arg(last(child<QListWidget>(setup_.get(), "ListBox2"))
                                     ->data(Qt::UserRole)
                                     .toInt()))
                     .toString(),
                 hostile);
        QCOMPARE(scalar(QStringLiteral("SELECT Nazev FROM SEP_UsekHistorie WHERE id_Usek = %1")
                            .arg(last(child<QListWidget>(setup_.get(), "ListBox1"))
                                     ->data(Qt::UserRole)
                                     .toInt()))
                     .toString(),
                 odd);
        select(child<QListWidget>(setup_.get(), "ListBox2"), QStringLiteral("Coding"));
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(setup_.get(), "Button2")->click();
        QVERIFY(child<QListWidget>(setup_.get(), "ListBox2")->selectedItems().isEmpty());
        const int shown = f_->boxes.shown.size();
        child<QPushButton>(setup_.get(), "Button2")->click();
        QCOMPARE(f_->boxes.shown.size(), shown + 1);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("No activity was selected."));
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox2")->count(), 2);
    }

    // The export file gets the user's umask; an existing file keeps its mode.
    void exportFileMode() {
        const QString cs = dbs_->fresh(QStringLiteral("sqlite"));
        db().connectionString = cs;
        seed();
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.csv"));
        const mode_t old = ::umask(077);
        f_->saveFile.answers = {fresh};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        ::umask(old);
        QCOMPARE(QFileInfo(fresh).permissions() & 0x0777,
                 QFile::ReadUser | QFile::WriteUser); // 0600: nothing for group and others
        const QString kept = dir.filePath(QStringLiteral("kept.csv"));
        QFile existing(kept);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner));
        f_->saveFile.answers = {kept};
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button8"), Qt::LeftButton);
        QCOMPARE(QFileInfo(kept).permissions() & 0x0777,
                 QFile::ReadUser | QFile::WriteUser); // 0600: nothing for group and others
        QVERIFY(QFileInfo(kept).size() > 0);
    }

    void projects_data() { addEngineRows(); }
    void projects() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox1")),
                 QStringList({"Client's site", "Internal"}));
        select(child<QListWidget>(setup_.get(), "ListBox1"), QStringLiteral("Internal"));
        typeName(QStringLiteral("Internal"));
        child<QPushButton>(setup_.get(), "Button5")
            ->click(); // same name: a history row more, the list as it was
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_UsekHistorie WHERE id_Usek = 2"))
                     .toInt(),
                 2);
        f_->boxes.answer(MsgAnswer::Cancel);
        child<QPushButton>(setup_.get(), "Button6")->click();
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox1")->count(), 2);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNoCancelDefaultCancel);
        f_->boxes.answer(MsgAnswer::No); // keep its records
        child<QPushButton>(setup_.get(), "Button6")->click();
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox1")),
                 QStringList({"Client's site"}));
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM view_SEP_ZjistiVsechnyMojePovoleneUseky"))
                .toInt(),
            1);
        setup_->hide();
        setup_->show();
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 4);
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->count(),
                 3); // the deleted project is still offered
        chooseByKeys(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1"),
                     QStringLiteral("Internal"));
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("4.25 h"));
        chooseByKeys(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1"),
                     QStringLiteral("< All >"));
        select(child<QListWidget>(setup_.get(), "ListBox1"), QStringLiteral("Client's site"));
        f_->boxes.answer(MsgAnswer::Yes); // with its records
        child<QPushButton>(setup_.get(), "Button6")->click();
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox1")->count(), 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace WHERE id_Usek = 1"))
                     .toInt(),
                 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_Usek WHERE id_Usek = 1")).toInt(),
                 0);
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(),
                 4); // the grid is not read again
        // A recomputed total (the user ticks a date and takes it back) no longer counts them.
        clickCheckBox(child<DatePicker>(setup_.get(), "DateTimePicker2")->checkBox());
        clickCheckBox(child<DatePicker>(setup_.get(), "DateTimePicker2")->checkBox());
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("4.25 h"));
    }

    void failingStatementLeavesNothing_data() { addEngineRows(); }
    void failingStatementLeavesNothing() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        if (engine == QLatin1String("sqlite")) {
            dbs_->exec(engine, QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON SEP_Usek "
                                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        } else {
            dbs_->exec(engine,
                       QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN "
                                      "RAISE EXCEPTION 'refused'; END $$ LANGUAGE plpgsql"));
            dbs_->exec(engine, QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON SEP_Usek FOR "
                                              "EACH ROW EXECUTE FUNCTION refuse()"));
        }
        select(child<QListWidget>(setup_.get(), "ListBox1"), QStringLiteral("Internal"));
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(setup_.get(), "Button6")->click();
        QVERIFY(f_->boxes.last().text.contains(QStringLiteral("refused")));
        QCOMPARE(f_->boxes.last().caption, QStringLiteral("Korvan"));
        QCOMPARE(items(child<QListWidget>(setup_.get(), "ListBox1")),
                 QStringList({"Client's site", "Internal"}));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace WHERE id_Usek = 2"))
                     .toInt(),
                 2);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_UsekHistorie WHERE id_Usek = 2"))
                     .toInt(),
                 1);
        // Clearing fails as a whole too.
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(setup_.get(), "Button9")->click();
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).toInt(), 4);
    }

    void clearDatabase_data() { addEngineRows(); }
    void clearDatabase() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        f_->boxes.answer(MsgAnswer::No);
        child<QPushButton>(setup_.get(), "Button9")->click();
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 4);
        f_->boxes.answer(MsgAnswer::Yes);
        child<QPushButton>(setup_.get(), "Button9")->click();
        QCOMPARE(
            f_->boxes.shown.at(f_->boxes.shown.size() - 2).text,
            QStringLiteral("All data in the database will be permanently deleted. \n\r\n\rThis "
                           "operation cannot be undone. \n\r\n\rDo you wish to continue ?"));
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Database cleared successfuly."));
        QCOMPARE(child<QTableView>(setup_.get(), "DBGrid3")->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(setup_.get(), "Label1")->text(), QStringLiteral("0 h"));
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox1")->count() +
                     child<QListWidget>(setup_.get(), "ListBox2")->count(),
                 0);
        QCOMPARE(child<LookupComboBox>(setup_.get(), "DBLookupComboBox1")->count(), 0);
        typeName(QStringLiteral("Again"));
        child<QPushButton>(setup_.get(), "Button4")->click();
        QCOMPARE(child<QListWidget>(setup_.get(), "ListBox1")->item(0)->data(Qt::UserRole).toInt(),
                 3);
    }

    // Test only looks: a file that does not exist stays so, an empty database gets no
    // tables. Apply asks first; No keeps the database in use, Yes creates it and switches.
    void nothingCreatedUnasked_data() { addEngineRows(); }
    void nothingCreatedUnasked() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        db().connectionString = cs;
        seed();
        const bool sqlite = engine == QLatin1String("sqlite");
        const QString item =
            sqlite ? QStringLiteral("Data Source") : QStringLiteral("Initial Catalog");
        const QString old = ConnectionString::parse(cs).value(item);
        const QString typed = old + QStringLiteral("_new");
        if (!sqlite)
            dbs_->exec(engine, QStringLiteral("CREATE DATABASE ") + typed);
        const auto dropped = qScopeGuard([&] {
            if (!sqlite)
                dbs_->exec(engine, QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(typed));
        });
        const auto made = [&] { // the file, or tables in the empty database
            if (sqlite)
                return QFileInfo::exists(typed);
            DbConnection c;
            c.connectionString = QString(cs).replace(old, typed);
            DataSet q(&c);
            q.sql = QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE "
                                   "table_schema = 'public'");
            q.open();
            return q.value(0, 0).toInt() > 0;
        };
        QTabBar* tabs = child<QTabWidget>(setup_.get(), "PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        typeAndLeave(child<QLineEdit>(setup_.get(), sqlite ? "FileEdit" : "CatalogEdit"), typed);
        QTest::mouseClick(child<QPushButton>(setup_.get(), "TestButton"), Qt::LeftButton);
        QVERIFY(
            f_->boxes.last().text.contains(sqlite ? "does not exist" : "holds no Korvan tables"));
        QVERIFY(!made());
        f_->boxes.answer(MsgAnswer::No);
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ApplyButton"), Qt::LeftButton);
        QCOMPARE(f_->boxes.last().buttons, MsgButtons::YesNoDefaultNo);
        QVERIFY(!made());
        QCOMPARE(db().connectionString, cs);
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(setup_.get(), "ApplyButton"), Qt::LeftButton);
        QVERIFY(made());
        QCOMPARE(ConnectionString::parse(db().connectionString).value(item), typed);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Korvan now records to this database."));
    }

    void inputBoxKeys() {
        // Escape cancels, as the close box does; Enter is OK.
        QTimer::singleShot(0, this, [this] {
            child<QLineEdit>(nameBox(), "Edit1")->setText(QStringLiteral("typed"));
            QTest::keyClick(nameBox(), Qt::Key_Escape);
        });
        QString text;
        QVERIFY(!nameBox()->ask(QStringLiteral("New project"), QStringLiteral("Project name:"),
                                QString(), text));
        QVERIFY(text.isEmpty());
        QTimer::singleShot(0, this, [this] {
            QVERIFY(nameBox()->isVisible());
            child<QLineEdit>(nameBox(), "Edit1")->setText(QStringLiteral("typed"));
            QTest::keyClick(child<QLineEdit>(nameBox(), "Edit1"), Qt::Key_Return);
        });
        QVERIFY(nameBox()->ask(QStringLiteral("New project"), QStringLiteral("Project name:"),
                               QString(), text));
        QCOMPARE(text, QStringLiteral("typed"));
        QCOMPARE(nameBox()->windowTitle(), QStringLiteral("New project"));
        QTimer::singleShot(0, this, [this] { nameBox()->close(); });
        QVERIFY(
            !nameBox()->ask(QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"), text));
    }

    void showingAgainReloadsNothing() {
        db().connectionString = dbs_->fresh(QStringLiteral("sqlite"));
        setup_->openDialog();
        QCheckBox* to = child<DatePicker>(setup_.get(), "DateTimePicker2")->checkBox();
        QTest::mouseClick(to, Qt::LeftButton, {}, QPoint(to->height() / 2, to->height() / 2));
        const QString filter = setup_->shownRecords().filter();
        QVERIFY(!filter.isEmpty());
        setup_->openDialog(); // already shown: only brought forward
        QCOMPARE(setup_->shownRecords().filter(), filter);
        QCOMPARE(RecordBrowser::sqlDateLiteral(QDate(2006, 1, 5)), QStringLiteral("#1/5/2006#"));
    }
};

QTEST_MAIN(TestSetup)
#include "tst_databasedialog.moc"
