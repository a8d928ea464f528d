#include "DialogTest.h"
#include "database/DatabaseDialog.h"
#include "database/InputBox.h"
#include "model/WorkRecords.h"
#include "platform/Error.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "support/Team.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace platform;

namespace {
// Changes only an administrator may make, as a member's program might still try them.
const std::pair<const char*, void (*)(WorkRecords&)> kMemberTries[] = {
    {"clear", [](WorkRecords& r) { r.clear(); }},
    {"add project", [](WorkRecords& r) { r.addProject(QStringLiteral("Mine")); }},
    {"rename activity", [](WorkRecords& r) { r.renameActivity(1, QStringLiteral("Mine")); }},
    {"delete activity", [](WorkRecords& r) { r.deleteActivity(1); }},
    {"retire project", [](WorkRecords& r) { r.retireProject(1, QStringLiteral("Site")); }},
    {"permissions", [](WorkRecords& r) { r.setPermissions(1, {QStringLiteral("alice")}); }},
};
} // namespace

// Administration of a team database in the "Database" dialog: what a member is offered and
// told, what the server refuses, who may book on what.
class TestTeamAdmin : public DialogTest {
    Q_OBJECT
    std::unique_ptr<TeamDatabase> team_;

    void openAs(const QString& login) {
        f_->records().useConnection(team_->as(login));
        setup_->show();
    }
    QString asBoss(const QString& sql) const {
        return team_->psql(QStringLiteral("boss"), sql).out;
    }
    // Every table as boss reads it: rows of projects, names, activities, permissions and
    // records, then the activities' names.
    QString tables() const {
        return asBoss(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM SEP_Usek), (SELECT COUNT(*) FROM SEP_UsekHistorie), "
            "(SELECT COUNT(*) FROM SEP_TypPrace), (SELECT COUNT(*) FROM SEP_PovolenyUzivatel), "
            "(SELECT COUNT(*) FROM SEP_ProvedenaPrace), (SELECT string_agg(TypPrace, ',') FROM "
            "SEP_TypPrace)"));
    }
    // The projects a login's booking offers.
    QString bookable(const char* login) const {
        return team_
            ->psql(QLatin1String(login), QStringLiteral("SELECT string_agg(NazevUseku, ',') FROM "
                                                        "view_SEP_ZjistiVsechnyMojePovoleneUseky"))
            .out;
    }
    // Adds a project or activity with that button, as the user types its name.
    void addNamed(const char* add, const QString& name) {
        QTimer::singleShot(0, this, [this, name] {
            QTest::keyClicks(child<QLineEdit>(setup_->nameBox(), "Edit1"), name);
            QTest::keyClick(child<QLineEdit>(setup_->nameBox(), "Edit1"), Qt::Key_Return);
        });
        QTest::mouseClick(child<QPushButton>(setup_.get(), add), Qt::LeftButton);
    }
    // 2 h of the login's own on project 1, activity 1.
    int book(const char* login) const {
        return team_
            ->psql(QLatin1String(login),
                   QStringLiteral("INSERT INTO SEP_ProvedenaPrace(id_Usek, id_TypPrace, "
                                  "id_UzivatelSEP, Cas, DatumPrace, Vytvoril) VALUES(1, 1, "
                                  "korvan_me(), 2, now(), session_user)"))
            .exitCode;
    }
    // Boss's project "Site" for boss and bob, the activity "Coding", and a record of bob's.
    void seedTeam() {
        team_ = std::make_unique<TeamDatabase>(*dbs_);
        WorkRecords boss(team_->as(QStringLiteral("boss")));
        const int site = boss.addProject(QStringLiteral("Site"));
        boss.addActivity(QStringLiteral("Coding"));
        boss.setPermissions(site, {QStringLiteral("boss"), QStringLiteral("bob")});
        QCOMPARE(book("bob"), 0);
        QCOMPARE(tables(), QStringLiteral("1|1|1|2|1|Coding"));
    }

private Q_SLOTS:
    void initTestCase() { startRun(); }
    void cleanupTestCase() { endRun(); }
    void init() { startTest(); }
    void cleanup() {
        endTest();
        team_.reset();
    }

    // Each change for everyone is offered, or disabled with the reason beside it and on
    // it; who may book on what only in a team database. A login the team does not know is
    // told why, in place.
    void whatIsOffered_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("login"); // empty: a database of one person
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("note"); // the refusal, unless given
        const auto row = [](const char* tag, const char* engine, const char* login,
                            const char* refusal, const char* note = nullptr) {
            QTest::newRow(tag) << QString(engine) << QString(login) << QString(refusal)
                               << QString(note ? note : refusal);
        };
        row("sqlite", "sqlite", "", "");
        row("postgresql", "postgresql", "", "");
        row("administrator", "postgresql", "boss", "");
        row("member", "postgresql", "bob",
            "Only an administrator of the team database (korvan_admin) may change projects, "
            "activities and permissions or clear the database; bob is a member.");
        row("no role", "postgresql", "korvan",
            "Korvan offers no change here: it cannot tell what you may do in this database. The "
            "login \"korvan\" may not use Korvan's team database: its administrator grants it "
            "korvan_member or korvan_admin.");
        row("superuser", "postgresql", "postgres", "",
            "Connected as the server's superuser \"postgres\": the team's rules do not hold for "
            "it, and what it books is nobody's own. Connect with your own login.");
    }
    void whatIsOffered() {
        QFETCH(QString, login);
        QFETCH(QString, refusal);
        QFETCH(QString, note);
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        if (login.isEmpty()) {
            f_->records().useConnection(cs);
            setup_->show();
        } else {
            team_ = std::make_unique<TeamDatabase>(*dbs_);
            openAs(login);
        }
        QVERIFY(f_->boxes.shown.isEmpty());
        for (const char* name :
             {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6", "Button9"}) {
            QPushButton* b = child<QPushButton>(setup_.get(), name);
            QCOMPARE(b->isEnabled(), refusal.isEmpty());
            QCOMPARE(b->toolTip().left(refusal.size()), refusal);
        }
        QPushButton* people = child<QPushButton>(setup_.get(), "PeopleButton");
        QCOMPARE(people->isHidden(), login.isEmpty());
        QCOMPARE(people->isEnabled(), refusal.isEmpty());
        for (const char* page : {"TabSheet5", "TabSheet1"}) {
            QLabel* shown = child<QLabel>(child<QWidget>(setup_.get(), page), "AdminNote");
            QCOMPARE(shown->isHidden(), note.isEmpty());
            QCOMPARE(shown->text().left(note.size()), note);
        }
    }

    // What a member's program still tries the server refuses; it is said so, and the
    // change stays undone as a whole (some would have deleted bob's own record first).
    void serverRefusesAMember_data() {
        QTest::addColumn<int>("change");
        for (int i = 0; i < int(std::size(kMemberTries)); ++i)
            QTest::newRow(kMemberTries[i].first) << i;
    }
    void serverRefusesAMember() {
        QFETCH(int, change);
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        seedTeam();
        WorkRecords bob(team_->as(QStringLiteral("bob")));
        try {
            kMemberTries[change].second(bob);
            QFAIL("not refused");
        } catch (const Error& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral(
                         "The database server refused this: only an administrator of the team "
                         "database may change projects, activities and permissions or clear the "
                         "database (permission denied for ")) &&
                         e.message().endsWith(QStringLiteral("). Nothing was changed.")),
                     qPrintable(e.message()));
        }
        QCOMPARE(tables(), QStringLiteral("1|1|1|2|1|Coding"));
    }

    // Boss adds a project (his, permitted to him) and ticks alice for it by keyboard: her
    // booking offers it, bob's does not; Cancel keeps what was stored. Clearing (after the
    // question) empties everyone's records.
    void bossChoosesWhoBooksAndClears() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        team_ = std::make_unique<TeamDatabase>(*dbs_);
        openAs(QStringLiteral("boss"));
        addNamed("Button4", QStringLiteral("Site"));
        QCOMPARE(asBoss(QStringLiteral("SELECT Vytvoril FROM SEP_Usek")), QStringLiteral("boss"));
        QCOMPARE(bookable("boss"), QStringLiteral("Site"));
        child<QListWidget>(setup_.get(), "ListBox1")->setCurrentRow(0);
        QStringList ticked;
        const auto tickAliceAnd = [&](Qt::Key close) {
            QTimer::singleShot(0, this, [&, close] {
                auto* people = setup_->findChild<QDialog*>(QStringLiteral("PeopleDialog"));
                for (QCheckBox* box : people->findChildren<QCheckBox*>())
                    if (box->isChecked())
                        ticked << box->text();
                QCheckBox* alice = child<QCheckBox>(people, "Login_alice");
                alice->setFocus();
                QTest::keyClick(alice, Qt::Key_Space);
                QTest::keyClick(alice, close);
            });
            QTest::mouseClick(child<QPushButton>(setup_.get(), "PeopleButton"), Qt::LeftButton);
        };
        tickAliceAnd(Qt::Key_Return);
        QCOMPARE(bookable("alice"), QStringLiteral("Site"));
        QCOMPARE(bookable("bob"), QString());
        tickAliceAnd(Qt::Key_Escape);
        QCOMPARE(ticked, QStringList({"boss", "alice", "boss"}));
        QCOMPARE(bookable("alice"), QStringLiteral("Site"));
        QVERIFY(f_->boxes.shown.isEmpty());
        addNamed("Button1", QStringLiteral("Coding"));
        QCOMPARE(book("alice"), 0);
        f_->boxes.answer(MsgAnswer::Yes);
        QTest::mouseClick(child<QPushButton>(setup_.get(), "Button9"), Qt::LeftButton);
        QCOMPARE(f_->boxes.last().text, QStringLiteral("Database cleared successfuly."));
        QCOMPARE(tables(), QStringLiteral("0|0|0|0|0|"));
    }

    // Two administrators add a project at the same moment, each inside an open transaction
    // of its own: each gets a project of its own.
    void adminsAddAtOnce() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        team_ = std::make_unique<TeamDatabase>(*dbs_);
        WorkRecords first(team_->as(QStringLiteral("boss")));
        WorkRecords second(team_->as(QStringLiteral("boss")));
        // Each program knows its person before it changes anything, as it does once connected.
        first.person();
        second.person();
        first.connection().beginTrans();
        second.connection().beginTrans();
        const int a = first.addProject(QStringLiteral("A"));
        const int b = second.addProject(QStringLiteral("B"));
        second.connection().commitTrans();
        first.connection().commitTrans();
        QVERIFY(a != b);
        QCOMPARE(asBoss(QStringLiteral("SELECT string_agg(id_Usek || NazevUseku || Vytvoril, ',' "
                                       "ORDER BY NazevUseku) FROM view_SEP_Useky")),
                 QStringLiteral("%1Aboss,%2Bboss").arg(a).arg(b));
    }
};

QTEST_MAIN(TestTeamAdmin)
#include "tst_teamadmin.moc"
