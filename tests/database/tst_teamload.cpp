#include "model/WorkRecords.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "support/Team.h"
#include "support/TeamLoad.h"

#include <QApplication>
#include <QSet>
#include <QtTest>

// A team database is shared by everyone at once; only PostgreSQL is one.
class TestTeamLoad : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Twenty people, each in a program of their own, save fifty bookings at the same moment,
    // while the administrators among them add projects: every booking is stored once, in its
    // person's name, and every project has an id of its own, is there and is the
    // administrator's to book on.
    void manyPeopleAtOnce();
};

void TestTeamLoad::manyPeopleAtOnce() {
    constexpr int kProcesses = 20, kBookings = 50, kProjectEvery = 5;
    TestDatabases dbs;
    KORVAN_REQUIRE_POSTGRES(dbs);
    TeamDatabase team(dbs);
    int project = 0, activity = 0;
    QStringList logins, connections;
    {
        Fixture f;
        WorkRecords& boss = f.records();
        boss.connection().connectionString = team.as(QStringLiteral("boss"));
        activity = boss.addActivity(QStringLiteral("Load"));
        project = boss.addProject(QStringLiteral("Shared"));
        boss.setPermissions(
            project, {QStringLiteral("alice"), QStringLiteral("bob"), QStringLiteral("boss")});
        boss.connection().close();
    }
    for (int p = 0; p < kProcesses; ++p) {
        logins << QString::fromLatin1(p % 5 == 0 ? "boss" : p % 2 ? "alice" : "bob");
        connections << team.as(logins.last());
    }

    const teamload::Outcome run =
        teamload::run(connections, kBookings, project, activity, kProjectEvery);
    QVERIFY2(run.error.isEmpty(), qPrintable(run.error));
    QCOMPARE(run.latenciesMs.size(), size_t(kProcesses * kBookings));
    qInfo("%d bookings in %.0f ms: %.0f a second; 99th percentile of one booking %.1f ms",
          kProcesses * kBookings, run.wallMs, kProcesses * kBookings * 1000 / run.wallMs,
          teamload::percentile(run.latenciesMs, 99));

    QStringList expected;
    for (int p = 0; p < kProcesses; ++p)
        for (int n = 0; n < kBookings; ++n)
            expected << QStringLiteral("p%1-%2 %3 %3").arg(p).arg(n).arg(logins[p]);
    // What the server holds, a line a row, in order.
    const auto sortedRows = [&team](const char* sql) {
        const TeamDatabase::Psql p =
            team.psql(QStringLiteral("postgres"), QString::fromLatin1(sql));
        QStringList rows = p.exitCode == 0 ? p.out.split(QLatin1Char('\n')) : QStringList{p.err};
        rows.sort();
        return rows;
    };
    const QStringList rows = sortedRows("SELECT r.Popis || ' ' || u.Login || ' ' || r.Vytvoril "
                                        "FROM SEP_ProvedenaPrace r JOIN SEP_Uzivatel u ON "
                                        "u.id_UzivatelSEP = r.id_UzivatelSEP");
    expected.sort();
    QCOMPARE(rows.size(), expected.size());
    QCOMPARE(rows, expected);

    QCOMPARE(run.projects.size(), kProcesses / 5 * kBookings / kProjectEvery);
    QSet<int> ids;
    QStringList made;
    for (const teamload::Project& p : run.projects) {
        ids.insert(p.id);
        made << QStringLiteral("%1 %2").arg(p.id).arg(p.name);
    }
    QCOMPARE(ids.size(), run.projects.size());
    made.sort();
    QCOMPARE(sortedRows("SELECT v.id_Usek || ' ' || v.NazevUseku FROM view_SEP_Useky v "
                        "JOIN SEP_PovolenyUzivatel p ON p.id_Usek = v.id_Usek "
                        "JOIN SEP_Uzivatel u ON u.id_UzivatelSEP = p.id_UzivatelSEP "
                        "WHERE u.Login = 'boss' AND v.NazevUseku <> 'Shared'"),
             made);
}

// The test's own binary is also each of the people: started again with the word to.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (teamload::isChild())
        return teamload::childMain();
    TestTeamLoad test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_teamload.moc"
