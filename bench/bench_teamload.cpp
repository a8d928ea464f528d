// A team database on PostgreSQL (KORVAN_TEST_PG, its superuser in KORVAN_TEST_PG_ADMIN), each
// figure beside psql doing the same work:
// - twenty people saving fifty bookings each at the same moment, each in a program of their
//   own (copies of this one, through Korvan's Booking), against twenty psql at once running
//   fifty single-row INSERT transactions each of the same rows, as the same logins;
// - a member opening the Database dialog on a team database of 10,000,000 records of fifty
//   people, against psql running the dialog's statements as that member; and what the
//   server's row-level security costs: the member's own records selected as the member and
//   as the superuser, whom it does not hold.
// The big database is made once on the server (korvan_bench_team) and found there again.
#include "BenchUtil.h"
#include "database/DatabaseDialog.h"
#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"
#include "platform/ConnectionString.h"
#include "platform/SqlDialect.h"
#include "support/Databases.h"
#include "support/Fixture.h"
#include "support/Team.h"
#include "support/TeamLoad.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>
#include <memory>

using namespace platform;

namespace {
constexpr int kProcesses = 20, kBookings = 50;
constexpr long long kTeamRecords = 10000000;
constexpr int kPeople = 50;
const QString kTeamDatabase = QStringLiteral("korvan_bench_team");

QString passwordOf(const QString& login) {
    return login + QStringLiteral("-secret"); // as the test logins have them
}

// psql's connection as a login ("postgres": the superuser) to a database.
QStringList psqlArguments(const QString& login, const QString& database) {
    QString conninfo = qEnvironmentVariable("KORVAN_TEST_PG_ADMIN");
    if (login != QLatin1String("postgres")) {
        conninfo.replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + login);
        conninfo += QStringLiteral(" password=") + passwordOf(login);
    }
    return {conninfo + QStringLiteral(" dbname=") + database,
            QStringLiteral("-X"),
            QStringLiteral("-q"),
            QStringLiteral("-A"),
            QStringLiteral("-t"),
            QStringLiteral("-v"),
            QStringLiteral("ON_ERROR_STOP=1")};
}

// Runs psql to its end; its output (or, with output, into that file), or a note of its
// failure.
QString psql(const QString& login, const QString& database, const QStringList& more,
             const QString& output = {}) {
    QProcess p;
    if (!output.isEmpty())
        p.setStandardOutputFile(output);
    p.start(QStringLiteral("psql"), psqlArguments(login, database) + more);
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        std::printf("  psql failed: %s\n", p.readAllStandardError().constData());
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The reference of the load: a psql per process, all connected first, then all given their
// INSERTs at once; each INSERT is its own transaction. The wall time from then until the
// last ends, the CPU time of the psql processes less that of connecting alone, and each
// INSERT's time as psql's \timing tells it.
struct Reference {
    Cost cost;
    std::vector<double> latenciesMs;
};
Reference psqlLoad(const QStringList& logins, const QString& database,
                   const std::function<QString(int, int)>& insert) {
    const auto once = [&](bool inserting) {
        std::vector<std::unique_ptr<QProcess>> processes;
        const double cpu0 = childrenCpuMs();
        for (const QString& login : logins) {
            processes.push_back(std::make_unique<QProcess>());
            processes.back()->start(QStringLiteral("psql"), psqlArguments(login, database));
            processes.back()->write("\\echo ready\n");
        }
        for (auto& p : processes)
            while (!p->canReadLine() && p->waitForReadyRead(60000)) {
            }
        QElapsedTimer wall;
        wall.start();
        for (size_t i = 0; i < processes.size(); ++i) {
            QByteArray script = "\\timing on\n";
            for (int n = 0; inserting && n < kBookings; ++n)
                script += insert(static_cast<int>(i), n).toUtf8() + ";\n";
            // Written out now: a process's pipe is otherwise served only while it is waited for.
            processes[i]->write(script);
            processes[i]->waitForBytesWritten(60000);
            processes[i]->closeWriteChannel();
        }
        Reference r;
        for (auto& p : processes)
            if (!p->waitForFinished(-1) || p->exitCode() != 0)
                std::printf("  psql failed: %s\n", p->readAllStandardError().constData());
        r.cost = {static_cast<double>(wall.nsecsElapsed()) / 1e6, childrenCpuMs() - cpu0};
        static const QRegularExpression time(QStringLiteral("^Time: ([0-9.]+) ms"),
                                             QRegularExpression::MultilineOption);
        for (auto& p : processes) {
            auto it = time.globalMatch(QString::fromLocal8Bit(p->readAllStandardOutput()));
            while (it.hasNext())
                r.latenciesMs.push_back(it.next().captured(1).toDouble());
        }
        return r;
    };
    const Reference connecting = once(false);
    Reference r = once(true);
    r.cost.cpuMs -= connecting.cost.cpuMs;
    return r;
}

void benchLoad(TestDatabases& dbs) {
    TeamDatabase team(dbs);
    Fixture f;
    WorkRecords& boss = f.records();
    boss.connection().connectionString = team.as(QStringLiteral("boss"));
    const int activity = boss.addActivity(QStringLiteral("Load"));
    const int project = boss.addProject(QStringLiteral("Shared"));
    boss.setPermissions(project,
                        {QStringLiteral("alice"), QStringLiteral("bob"), QStringLiteral("boss")});
    boss.connection().close();
    QStringList logins, connections;
    for (int p = 0; p < kProcesses; ++p) {
        logins << QString::fromLatin1(p % 5 == 0 ? "boss" : p % 2 ? "alice" : "bob");
        connections << team.as(logins.last());
    }
    const teamload::Outcome korvan = teamload::run(connections, kBookings, project, activity, 0);
    if (!korvan.error.isEmpty()) {
        std::printf("  the load failed: %s\n", qPrintable(korvan.error));
        return;
    }
    const auto count = [&] {
        return team
            .psql(QStringLiteral("postgres"),
                  QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace"))
            .out;
    };
    std::printf("  (%s records booked)\n", qPrintable(count()));

    // The same rows again, as the booking writes them.
    team.psql(QStringLiteral("postgres"), QStringLiteral("TRUNCATE SEP_ProvedenaPrace"));
    QHash<QString, QString> ids;
    for (const QString& line :
         team.psql(QStringLiteral("postgres"),
                   QStringLiteral("SELECT Login || ' ' || id_UzivatelSEP FROM SEP_Uzivatel"))
             .out.split(QLatin1Char('\n')))
        ids.insert(line.section(QLatin1Char(' '), 0, 0), line.section(QLatin1Char(' '), 1));
    const QString database = platform::ConnectionString::parse(team.as(QStringLiteral("boss")))
                                 .value(QStringLiteral("Initial Catalog"));
    const Reference plain = psqlLoad(logins, database, [&](int p, int n) {
        return QStringLiteral("INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_Chyba, "
                              "id_UzivatelSEP, Cas, Popis, DatumPrace, Aktivni, Vytvoreno, "
                              "Vytvoril) VALUES (%1, %2, NULL, %3, 0.25, 'p%4-%5', "
                              "'2026-12-07 00:00:00', 1, now(), '%6')")
            .arg(project)
            .arg(activity)
            .arg(ids.value(logins[p]))
            .arg(p)
            .arg(n)
            .arg(logins[p]);
    });
    std::printf("  (%s records inserted by psql)\n\n", qPrintable(count()));

    const int total = kProcesses * kBookings;
    const Cost ours{korvan.wallMs, korvan.cpuMs};
    const double wall = ours.wallMs / plain.cost.wallMs, cpu = ours.cpuMs / plain.cost.cpuMs;
    std::printf("%-44s wall %9.1f | cpu %9.1f ms   %-28s wall %9.1f | cpu %9.1f ms   %5.2fx | "
                "%5.2fx (no goal set)\n",
                "20 x 50 bookings at once, Booking", ours.wallMs, ours.cpuMs,
                "20 psql x 50 INSERTs at once", plain.cost.wallMs, plain.cost.cpuMs, wall, cpu);
    std::printf("%-44s %9.0f /s   %-28s %9.0f /s   %5.2fx\n", "  throughput",
                total * 1e3 / ours.wallMs, "psql", total * 1e3 / plain.cost.wallMs,
                plain.cost.wallMs / ours.wallMs);
    std::printf("%-44s %9.1f ms   %-28s %9.1f ms   (median %.1f | %.1f ms)\n",
                "  99th percentile of one booking", teamload::percentile(korvan.latenciesMs, 99),
                "one INSERT (psql \\timing)", teamload::percentile(plain.latenciesMs, 99),
                median(korvan.latenciesMs), median(plain.latenciesMs));
    std::printf("  (CPU: the booking programs' own while booking; psql's less its connecting)\n");
}

// The program's connection as a login to the big team database.
QString bigTeamAs(const QString& login) {
    QString cs = qEnvironmentVariable("KORVAN_TEST_PG");
    cs.replace(QStringLiteral("User ID=korvan;Password=korvan-test"),
               QStringLiteral("User ID=%1;Password=%2").arg(login, passwordOf(login)));
    cs.replace(QStringLiteral("Initial Catalog=postgres"),
               QStringLiteral("Initial Catalog=") + kTeamDatabase);
    return cs;
}

// Ten million records of fifty people (alice, id 2, is one of them), twenty projects open
// to all and twenty activities, days over five and a half years; filled by the server
// itself, as the team set-up's superuser. A database that has them already is kept: the
// table's comment says so once it is complete.
void makeBigTeam() {
    const QString done = QStringLiteral("%1 records of %2 people").arg(kTeamRecords).arg(kPeople);
    const QString postgres = QStringLiteral("postgres");
    if (psql(postgres, postgres,
             {QStringLiteral("-c"), QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'")
                                        .arg(kTeamDatabase)}) == QLatin1String("1") &&
        psql(postgres, kTeamDatabase,
             {QStringLiteral("-c"),
              QStringLiteral("SELECT obj_description('sep_provedenaprace'::regclass)")}) == done) {
        std::printf("  (the team database of %s is there already)\n", qPrintable(done));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    psql(postgres, postgres,
         {QStringLiteral("-c"), QStringLiteral("DROP DATABASE IF EXISTS ") + kTeamDatabase,
          QStringLiteral("-c"), QStringLiteral("CREATE DATABASE ") + kTeamDatabase});
    psql(postgres, kTeamDatabase,
         {QStringLiteral("-f"),
          qEnvironmentVariable("KORVAN_SOURCE_DIR", QStringLiteral(KORVAN_SOURCE)) +
              QStringLiteral("/resources/schema/postgresql-team.sql")});
    psql(postgres, kTeamDatabase,
         {QStringLiteral("-c"),
          QStringLiteral(
              "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'alice') THEN "
              "CREATE ROLE alice LOGIN PASSWORD '%1'; END IF; END $$; "
              "GRANT korvan_member TO alice")
              .arg(passwordOf(QStringLiteral("alice"))),
          QStringLiteral("-c"),
          QStringLiteral(
              "INSERT INTO SEP_Uzivatel (id_UzivatelSEP, Login) SELECT i, CASE i WHEN 2 THEN "
              "'alice' ELSE 'person' || i END FROM generate_series(2, %1) AS n(i); "
              "INSERT INTO SEP_Usek (Vytvoril) SELECT 'boss' FROM generate_series(1, 20); "
              "INSERT INTO SEP_UsekHistorie (id_Usek, Nazev, Aktivni) SELECT i, 'Project ' || "
              "i, 1 FROM generate_series(1, 20) AS n(i); "
              "INSERT INTO SEP_TypPrace (TypPrace) SELECT 'Activity ' || i FROM "
              "generate_series(1, 20) AS n(i); "
              "INSERT INTO SEP_PovolenyUzivatel (id_UzivatelSEP, id_Usek) SELECT u, p FROM "
              "generate_series(2, %1) AS a(u), generate_series(1, 20) AS b(p)")
              .arg(kPeople + 1),
          QStringLiteral("-c"),
          QStringLiteral(
              // Ten million references checked at the commit would queue as many checks:
              // the rows are made to fit, and the checks are left out.
              "SET session_replication_role = replica; "
              "INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, Cas, "
              "Popis, DatumPrace, Aktivni, Vytvoreno, Vytvoril) SELECT 1 + i % 20, 1 + i % 7, "
              "2 + i % %1, (i % 16) * 0.25, 'Record ' || i, TIMESTAMP '2020-01-01' + (i / %1 "
              "% 2000) * INTERVAL '1 day', 1, TIMESTAMP '2024-01-01', CASE i % %1 WHEN 0 THEN "
              "'alice' ELSE 'person' || (2 + i % %1) END FROM generate_series(1, %2) AS n(i)")
              .arg(kPeople)
              .arg(kTeamRecords),
          QStringLiteral("-c"), QStringLiteral("VACUUM ANALYZE"), QStringLiteral("-c"),
          QStringLiteral("COMMENT ON TABLE SEP_ProvedenaPrace IS '%1'").arg(done)});
    std::printf("  (the team database of %s made in %.0f s)\n", qPrintable(done),
                static_cast<double>(clock.elapsed()) / 1e3);
}

// Two costs of psql's work side by side, without a goal.
void compareClients(const char* what, Cost ours, const char* reference, Cost theirs) {
    std::printf("%-44s wall %9.1f | cpu %9.1f ms   %-28s wall %9.1f | cpu %9.1f ms   %5.2fx | "
                "%5.2fx (no goal set)\n",
                what, ours.wallMs, ours.cpuMs, reference, theirs.wallMs, theirs.cpuMs,
                ours.wallMs / theirs.wallMs, ours.cpuMs / theirs.cpuMs);
}

void benchBrowser() {
    makeBigTeam();
    constexpr int kRounds = 5;
    const QString alice = QStringLiteral("alice"), postgres = QStringLiteral("postgres");
    Fixture f;
    f.records().connection().connectionString = bigTeamAs(alice);
    const qint32 me = f.records().person().id;

    // The dialog as alice opens it: the statements as the program has them, her records
    // alone by the server's row-level security.
    DatabaseDialog dialog(f.records());
    dialog.resize(900, 600);
    const auto openDialog = [&] {
        dialog.hide();
        dialog.open();
        QCoreApplication::processEvents();
        dialog.grab();
    };
    openDialog(); // a first, untimed round
    const auto statementsOf = [](RecordBrowser& browser, const QString& id) {
        browser.records().open();
        QStringList sql{toEngineSql(browser.records().keysStatement(), SqlEngine::PostgreSQL),
                        toEngineSql(browser.totalStatement(), SqlEngine::PostgreSQL)};
        browser.close();
        sql.replaceInStrings(QStringLiteral("?"), id);
        return QStringList{QStringLiteral("-c"), sql[0], QStringLiteral("-c"), sql[1]};
    };
    RecordBrowser shipped(f.records());
    const QStringList asShipped = statementsOf(shipped, {});
    // Her own records by their person, as the browser's person filter will choose them.
    RecordBrowser mine(f.records());
    mine.records().sql += QStringLiteral("\r\nWHERE p.id_UzivatelSEP = ?");
    mine.records().parameters = {me};
    const QStringList filtered = statementsOf(mine, QString::number(me));
    std::printf("  the open's statements, filtered to her:\n    %s;\n    %s;\n",
                qPrintable(filtered[1].simplified()), qPrintable(filtered[3].simplified()));
    const auto client = [&](const QString& login, const QStringList& statements) {
        return [&, login, statements] {
            psql(login, kTeamDatabase, statements, QStringLiteral("/dev/null"));
        };
    };

    const auto [open, select] = medianCostsInTurn(kRounds, openDialog, client(alice, asShipped));
    std::printf("  (%d records in alice's grid)\n\n",
                child<QTableView>(&dialog, "DBGrid3")->model()->rowCount());
    compareCost("open the Database dialog as alice", open, "psql as alice: keys; SUM", select, 1.2,
                true);
    const auto [mineOpen, mineSelect] = medianCostsInTurn(
        kRounds,
        [&] {
            mine.records().close();
            mine.records().open();
            mine.total();
        },
        client(alice, filtered));
    compareCost("her records and total, filtered to her id", mineOpen, "psql as alice, the same",
                mineSelect, 1.2, true);
    mine.close();
    dialog.hide();

    // What row-level security costs: her records as alice, and as the superuser, whom it
    // does not hold, by the same condition.
    const Cost superuser = medianCost(kRounds, client(postgres, filtered), {}, true);
    compareClients("psql as alice, filtered to her id", mineSelect, "as superuser, the same",
                   superuser);
    compareClients("psql as alice, the dialog's (no filter)", select, "as superuser, filtered",
                   superuser);
    std::printf("\n");
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (teamload::isChild())
        return teamload::childMain();
    TestDatabases dbs;
    if (!dbs.postgresAvailable()) {
        std::printf("team database: skipped (no KORVAN_TEST_PG)\n");
        return 0;
    }
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only.isEmpty() || only == QLatin1String("load")) {
        std::printf("%d people booking at once, %d bookings each\n", kProcesses, kBookings);
        benchLoad(dbs);
        std::printf("\n");
    }
    if (only.isEmpty() || only == QLatin1String("browse")) {
        std::printf("a member's records among %lld of %d people\n", kTeamRecords, kPeople);
        benchBrowser();
    }
    return 0;
}
