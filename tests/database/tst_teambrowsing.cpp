#include "DialogTest.h"
#include "database/DatabaseDialog.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "support/Team.h"
#include "widgets/ElidedLabel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

// The Database dialog of a team: each member browses their own records; an administrator
// their own at first, then anyone's or everyone's, with the hours per person and an export
// that says whose each record is. A database of one person shows and exports as ever.
class TestTeamBrowsing : public DialogTest {
    Q_OBJECT
    std::unique_ptr<TeamDatabase> team_;
    QTemporaryDir dir_;

    template <class T> T* find(const char* name) const { return child<T>(setup_.get(), name); }
    QAbstractItemModel* grid() const { return find<QTableView>("DBGrid3")->model(); }
    QStringList descriptions() const {
        QStringList out;
        for (int r = 0; r < grid()->rowCount(); ++r)
            out << grid()->index(r, 4).data().toString();
        out.sort();
        return out;
    }
    // The export as it has always been: the grid's first five columns as shown; then whose
    // each record is (its description's first word) when asked for.
    QByteArray gridAsCsv(bool withPerson) const {
        QString text =
            QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";") +
            (withPerson ? QStringLiteral("\"Person\";\r\n") : QStringLiteral("\r\n"));
        const auto field = [&text](const QString& value) {
            text += QLatin1Char('"') + value + QStringLiteral("\";");
        };
        for (int r = 0; r < grid()->rowCount(); ++r) {
            for (int c = 0; c < 5; ++c)
                field(grid()->index(r, c).data().toString());
            // Whose it is, as the grid shows it while everyone's records show.
            if (withPerson)
                field(grid()->index(r, 6).data().toString());
            text += QStringLiteral("\r\n");
        }
        return text.toUtf8();
    }
    QByteArray exportFile() {
        const QString file = dir_.filePath(QStringLiteral("team.csv"));
        f_->saveFile.answers = {file};
        QTest::mouseClick(find<QPushButton>("Button8"), Qt::LeftButton);
        QFile csv(file);
        return csv.open(QIODevice::ReadOnly) ? csv.readAll() : QByteArray();
    }
    // Books as that person, as the booking does: under their id and in their name.
    static void book(WorkRecords& as, int project, double hours, int day, const QString& text) {
        DbCommand& insert = as.recordInsert();
        insert.paramByName(QStringLiteral("datum")).value =
            QDateTime(QDate(2025, 3, day), QTime(0, 0));
        insert.paramByName(QStringLiteral("typ")).value = 1;
        insert.paramByName(QStringLiteral("nazev")).value = text;
        insert.paramByName(QStringLiteral("id_projekt")).value = project;
        insert.paramByName(QStringLiteral("pocetHodin")).value = hours;
        insert.paramByName(QStringLiteral("id_uzivatel")).value = as.person().id;
        insert.paramByName(QStringLiteral("kdo")).value = as.person().name;
        insert.execute();
    }
    // The team's records, made once: the administrator's projects, open to everyone, and
    // each person's records booked through their own login.
    void makeTeam() {
        if (team_)
            return;
        team_ = std::make_unique<TeamDatabase>(*dbs_);
        WorkRecords boss(team_->as(QStringLiteral("boss")));
        const QStringList everyone{QStringLiteral("alice"), QStringLiteral("bob"),
                                   QStringLiteral("boss")};
        for (const QString& name : {QStringLiteral("Alpha"), QStringLiteral("Beta")})
            boss.setPermissions(boss.addProject(name), everyone);
        boss.addActivity(QStringLiteral("Coding"));
        book(boss, 1, 1, 5, QStringLiteral("boss wednesday"));
        WorkRecords alice(team_->as(QStringLiteral("alice")));
        book(alice, 1, 2, 3, QStringLiteral("alice monday"));
        book(alice, 2, 3, 4, QStringLiteral("alice tuesday"));
        WorkRecords bob(team_->as(QStringLiteral("bob")));
        book(bob, 1, 7.5, 3, QStringLiteral("bob monday"));
    }
    static void chooseByKeys(QComboBox* box, const QString& text) {
        const int wanted = box->findText(text);
        QVERIFY(wanted >= 0);
        for (int i = 0; i < 10 && box->currentIndex() != wanted; ++i)
            QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
    }
    void openAs(const QString& cs) {
        f_->records().connection().connectionString = cs;
        setup_->openDialog();
        QApplication::setActiveWindow(setup_.get());
        QVERIFY(QTest::qWaitForWindowActive(setup_.get()));
    }

private Q_SLOTS:
    void initTestCase() { startRun(); }
    void cleanupTestCase() {
        team_.reset();
        endRun();
    }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    // Records under two person ids where there is no team: no chooser, one total, the export
    // as ever.
    void onePersonDatabase_data() { addEngineRows(); }
    void onePersonDatabase() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        team_.reset(); // the fresh database replaced it
        f_->records().connection().connectionString = cs;
        seedProjectsAndActivities(f_->records().connection(), {QStringLiteral("Alpha")},
                                  {QStringLiteral("Coding")});
        DbCommand& insert = f_->records().recordInsert();
        bookRecord(insert, 1, 1, 2, QDate(2025, 3, 3), QStringLiteral("alice monday"));
        insert.paramByName(QStringLiteral("kdo")).value = QStringLiteral("bob");
        insert.paramByName(QStringLiteral("id_uzivatel")).value = 2;
        insert.paramByName(QStringLiteral("nazev")).value = QStringLiteral("bob monday");
        insert.execute();
        openAs(cs);
        QCOMPARE(descriptions(), (QStringList{"alice monday", "bob monday"}));
        QCOMPARE(find<QLabel>("Label1")->text(), QStringLiteral("4 h"));
        QVERIFY(!find<QComboBox>("PersonFilter")->isVisible());
        QVERIFY(!find<QLabel>("PersonTotals")->isVisible());
        QVERIFY(setup_->shownRecords().filter().isEmpty());
        QCOMPARE(exportFile(), gridAsCsv(false));
    }

    // What each person sees after their choice in PersonFilter ("" none, "keys:" made with
    // the arrow keys after the caption's key, "mouse:" clicked in the open list), with the
    // project filter set or not; the export of what is shown.
    void whoseRecords_data() {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("project");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("perPerson"); // empty: not shown, and the export as ever
        const auto row = [](const char* tag, const char* login, const char* choice,
                            const char* project, const QStringList& shown, const char* total,
                            const char* perPerson) {
            QTest::newRow(tag) << login << choice << project << shown << total << perPerson;
        };
        const QString am = QStringLiteral("alice monday"), at = QStringLiteral("alice tuesday"),
                      bm = QStringLiteral("bob monday"), bw = QStringLiteral("boss wednesday");
        row("alice", "alice", "", "", {am, at}, "5 h", "");
        row("bob", "bob", "", "", {bm}, "7.5 h", "");
        row("boss's own", "boss", "", "", {bw}, "1 h", "");
        row("boss, everyone", "boss", "keys:< All >", "", {am, at, bm, bw}, "13.5 h",
            "alice 5 h, bob 7.5 h, boss 1 h");
        row("boss, everyone on Alpha", "boss", "mouse:< All >", "Alpha", {am, bm, bw}, "10.5 h",
            "alice 2 h, bob 7.5 h, boss 1 h");
        row("boss, alice's", "boss", "mouse:alice", "", {am, at}, "5 h", "");
    }
    void whoseRecords() {
        QFETCH(QString, login);
        QFETCH(QString, choice);
        QFETCH(QString, project);
        QFETCH(QStringList, shown);
        QFETCH(QString, total);
        QFETCH(QString, perPerson);
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        makeTeam();
        openAs(team_->as(login));
        auto* people = find<QComboBox>("PersonFilter");
        QCOMPARE(people->isVisible(), login == QLatin1String("boss"));
        if (people->isVisible()) {
            QCOMPARE(people->currentText(), QStringLiteral("boss"));
            find<QWidget>("TextFilter")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), people);
            QCOMPARE(people->count(), 4); // "< All >", alice, bob, boss
        }
        if (!project.isEmpty()) {
            find<QComboBox>("DBLookupComboBox1")->setFocus();
            chooseByKeys(find<QComboBox>("DBLookupComboBox1"), project);
        }
        const QString wanted = choice.section(QLatin1Char(':'), 1);
        if (choice.startsWith(QLatin1String("keys:"))) {
            QTest::keyClick(setup_.get(), Qt::Key_O, Qt::AltModifier);
            QVERIFY(people->hasFocus());
            chooseByKeys(people, wanted);
        } else if (choice.startsWith(QLatin1String("mouse:"))) {
            people->setFocus();
            QTest::keyClick(people, Qt::Key_F4);
            QAbstractItemView* view = people->view();
            QVERIFY(view->isVisible());
            const QRect cell = view->visualRect(view->model()->index(people->findText(wanted), 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        }
        if (!wanted.isEmpty())
            QCOMPARE(people->currentText(), wanted);
        QCOMPARE(descriptions(), shown);
        QCOMPARE(find<QLabel>("Label1")->text(), total);
        // All of it in sight, beside the hours per person.
        auto* sum = find<ElidedLabel>("Label1");
        QVERIFY(!sum->elided());
        QVERIFY(sum->parentWidget()->rect().contains(sum->geometry()));
        QCOMPARE(find<QLabel>("PersonTotals")->isVisible(), !perPerson.isEmpty());
        if (!perPerson.isEmpty())
            QCOMPARE(find<QLabel>("PersonTotals")->text(), perPerson);
        QCOMPARE(find<QTableView>("DBGrid3")->isColumnHidden(6), perPerson.isEmpty());
        QCOMPARE(exportFile(), gridAsCsv(!perPerson.isEmpty()));
    }
};

QTEST_MAIN(TestTeamBrowsing)
#include "tst_teambrowsing.moc"
