#include "SummaryTest.h"
#include "model/Booking.h"
#include "platform/Error.h"
#include "support/Team.h"
#include "widgets/LookupComboBox.h"

// A team on one PostgreSQL server: each person books in their own name, on the projects they
// may book on, and the server itself keeps the others' records out of their reach, whatever
// program they connect with.
class TestTeam : public SummaryTest {
    Q_OBJECT

    // Projects and an activity made by the administrator as the program makes them; the
    // first permitted to alice and bob, the second to bob alone.
    static void seedAsBoss(const TeamDatabase& team) {
        WorkRecords boss(team.as(QStringLiteral("boss")));
        const int shared = boss.addProject(QStringLiteral("Shared"));
        const int secret = boss.addProject(QStringLiteral("Bob's"));
        boss.addActivity(QStringLiteral("Coding"));
        boss.setPermissions(shared, {QStringLiteral("alice"), QStringLiteral("bob")});
        boss.setPermissions(secret, {QStringLiteral("bob")});
    }
    static QStringList listed(LookupComboBox* box) {
        QStringList names;
        for (int i = 0; i < box->count(); ++i)
            names << box->itemText(i);
        return names;
    }

    // What the boxes shown warned of.
    QString troubles() const {
        QStringList texts;
        for (const auto& box : f_->boxes.shown)
            if (box.icon == MsgIcon::Error || box.icon == MsgIcon::Warning)
                texts << box.text;
        return texts.join(QLatin1Char('\n'));
    }

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void init() {
        KORVAN_REQUIRE_POSTGRES(*dbs_);
        setUp();
    }
    void cleanup() { tearDown(); }

    void membersOwnTheirHours() {
        const TeamDatabase team(*dbs_);
        seedAsBoss(team);
        f_->records().connection().connectionString = team.as(QStringLiteral("alice"));
        task(QStringLiteral("design"), 2, 1, 1, QStringLiteral("sketches"));
        summary_->showSummary();
        // Alice is offered the projects she may book on, not bob's.
        auto* project = child<LookupComboBox>(frame(0), "DBLookupComboBox2");
        QCOMPARE(listed(project), QStringList{QStringLiteral("Shared")});
        save();
        QVERIFY2(troubles().isEmpty(), qPrintable(troubles()));
        QCOMPARE(
            team.psql(QStringLiteral("boss"),
                      QStringLiteral("SELECT u.Login || ' ' || p.Vytvoril || ' ' || p.Cas FROM "
                                     "SEP_ProvedenaPrace p JOIN SEP_Uzivatel u USING "
                                     "(id_UzivatelSEP)"))
                .out,
            QStringLiteral("alice alice 2"));

        // Bob, with psql: none of alice's records to see, change or delete, nothing in her
        // name, no project and no activity of his own making.
        const auto bob = [&](const QString& sql) { return team.psql(QStringLiteral("bob"), sql); };
        QCOMPARE(bob(QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace")).out,
                 QStringLiteral("0"));
        QCOMPARE(bob(QStringLiteral("SELECT COUNT(*) FROM view_SEP_prace")).out,
                 QStringLiteral("0"));
        // Nor by a table of people of his own, that would make him alice.
        QCOMPARE(bob(QStringLiteral("CREATE TEMP TABLE sep_uzivatel AS SELECT id_UzivatelSEP, "
                                    "'bob' AS Login FROM public.SEP_Uzivatel WHERE Login = "
                                    "'alice'; SELECT COUNT(*) FROM SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("0"));
        QCOMPARE(bob(QStringLiteral("WITH c AS (UPDATE SEP_ProvedenaPrace SET Cas = 99 RETURNING "
                                    "1) SELECT COUNT(*) FROM c"))
                     .out,
                 QStringLiteral("0"));
        QCOMPARE(bob(QStringLiteral("WITH c AS (DELETE FROM SEP_ProvedenaPrace RETURNING 1) "
                                    "SELECT COUNT(*) FROM c"))
                     .out,
                 QStringLiteral("0"));
        const struct {
            const char* sql;
            const char* refusal;
        } refused[] = {
            {"INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, Cas, "
             "DatumPrace, Vytvoril) SELECT 1, 1, id_UzivatelSEP, 8, now(), 'alice' FROM "
             "SEP_Uzivatel WHERE Login = 'alice'",
             "row-level security"},
            {"INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, Cas, "
             "DatumPrace, Vytvoril) VALUES (1, 1, korvan_me(), 8, now(), 'alice')",
             "row-level security"},
            {"INSERT INTO SEP_Usek (Vytvoril) VALUES ('bob')", "permission denied"},
            {"INSERT INTO SEP_PovolenyUzivatel VALUES (korvan_me(), 2)", "permission denied"},
            {"DELETE FROM SEP_TypPrace", "permission denied"},
            {"SELECT korvan_adopt('bob')", "permission denied"},
        };
        for (const auto& r : refused) {
            const TeamDatabase::Psql p = bob(QString::fromLatin1(r.sql));
            QVERIFY2(p.exitCode != 0 && p.err.contains(QLatin1String(r.refusal)), r.sql);
        }
        // His own booking on his own project goes in, in his name.
        QCOMPARE(bob(QStringLiteral("INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, "
                                    "id_UzivatelSEP, Cas, DatumPrace, Vytvoril) VALUES (2, 1, "
                                    "korvan_me(), 1, now(), 'bob')"))
                     .exitCode,
                 0);
        // Nobody books on a project that is not there, not even an administrator.
        const TeamDatabase::Psql orphan = team.psql(
            QStringLiteral("boss"),
            QStringLiteral("INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_UzivatelSEP, "
                           "Cas, DatumPrace, Vytvoril) VALUES (99, 1, korvan_me(), 1, now(), "
                           "'boss')"));
        QVERIFY2(orphan.err.contains(QLatin1String("foreign key")), qPrintable(orphan.err));
        QCOMPARE(team.psql(QStringLiteral("boss"),
                           QStringLiteral("SELECT string_agg(Vytvoril || ' ' || Cas, ', ' ORDER "
                                          "BY Vytvoril) FROM SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("alice 2, bob 1"));
        // A day's hours are the person's own, also for an administrator who sees them all.
        const QDate day = QDate::fromString(
            team.psql(QStringLiteral("alice"),
                      QStringLiteral("SELECT to_char(DatumPrace, 'YYYY-MM-DD') FROM "
                                     "SEP_ProvedenaPrace"))
                .out,
            Qt::ISODate);
        QCOMPARE(f_->records().hoursBookedOn(day), 2.0);
        QCOMPARE(WorkRecords(team.as(QStringLiteral("boss"))).hoursBookedOn(day), 0.0);
        // The references hold at the commit: a project goes with its records and permissions.
        WorkRecords(team.as(QStringLiteral("boss"))).deleteProject(2);
        QCOMPARE(team.psql(QStringLiteral("boss"),
                           QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace UNION ALL "
                                          "SELECT COUNT(*) FROM SEP_PovolenyUzivatel"))
                     .out,
                 QStringLiteral("1\n2"));
    }

    // A member the administrator has not let book on anything yet is told so, not asked to
    // choose from an empty list.
    void memberWithoutProjectsIsToldWhy() {
        const TeamDatabase team(*dbs_);
        WorkRecords boss(team.as(QStringLiteral("boss")));
        boss.addProject(QStringLiteral("Closed"));
        boss.addActivity(QStringLiteral("Coding"));
        f_->records().connection().connectionString = team.as(QStringLiteral("alice"));
        task(QStringLiteral("design"), 2, 1, 1, QStringLiteral("sketches"));
        summary_->showSummary();
        save();
        QVERIFY2(troubles().contains(QLatin1String("lets alice book on no project yet")),
                 qPrintable(troubles()));
        QCOMPARE(team.psql(QStringLiteral("boss"),
                           QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("0"));
    }

    // A database one person used alone becomes a team's: the set-up keeps every record, can
    // run again, and the administrator gives the records to one login.
    void singleUserDatabaseMovesToTeam() {
        TeamDatabase team(*dbs_, false);
        {
            WorkRecords alone(team.singleUser());
            alone.addActivity(QStringLiteral("Coding"));
            alone.addProject(QStringLiteral("Mine"));
            bookRecord(alone.recordInsert(), 1, 1, 3, QDate(2026, 12, 1), QStringLiteral("old"));
            QCOMPARE(alone.person().team, false);
        }
        QVERIFY2(team.setUp(), qPrintable(team.error()));
        QVERIFY2(team.setUp(), qPrintable(team.error()));
        // The one person still owns the database, and the administrator is told what to do.
        QVERIFY2(team.error().contains(QLatin1String("belongs to \"korvan\"")) &&
                     team.error().contains(QLatin1String("OWNER TO postgres")),
                 qPrintable(team.error()));
        // Until adopted the records are nobody's: alice sees none and may book on nothing.
        QCOMPARE(team.psql(QStringLiteral("alice"),
                           QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("0"));
        QCOMPARE(
            team.psql(QStringLiteral("postgres"), QStringLiteral("SELECT korvan_adopt('alice')"))
                .out,
            QStringLiteral("1"));
        QCOMPARE(
            team.psql(QStringLiteral("postgres"), QStringLiteral("SELECT korvan_adopt('alice')"))
                .out,
            QStringLiteral("1"));
        QVERIFY(team.psql(QStringLiteral("postgres"), QStringLiteral("SELECT korvan_adopt('bob')"))
                    .err.contains(QLatin1String("belong to \"alice\"")));

        f_->records().connection().connectionString = team.as(QStringLiteral("alice"));
        const WorkRecords::Person& alice = f_->records().person();
        QVERIFY(alice.team);
        QCOMPARE(alice.id, 1);
        QCOMPARE(alice.name, QStringLiteral("alice"));
        QVERIFY(!alice.admin);
        task(QStringLiteral("more"), 1.5, 1, 1, QStringLiteral("new"));
        summary_->showSummary();
        save();
        QVERIFY2(troubles().isEmpty(), qPrintable(troubles()));
        QCOMPARE(team.psql(QStringLiteral("alice"),
                           QStringLiteral("SELECT string_agg(Popis || ' ' || Vytvoril || ' ' || "
                                          "id_UzivatelSEP, ', ' ORDER BY Popis) FROM "
                                          "SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("new alice 1, old alice 1"));
        QCOMPARE(team.psql(QStringLiteral("bob"),
                           QStringLiteral("SELECT COUNT(*) FROM SEP_ProvedenaPrace"))
                     .out,
                 QStringLiteral("0"));

        // The login that owned the database alone has no part in the team until granted one:
        // it is told so, reads nothing and owns nothing that would let it switch the rules off.
        WorkRecords owner(team.as(QStringLiteral("korvan")));
        try {
            owner.person();
            QFAIL("a login without a role was let in");
        } catch (const platform::Error& e) {
            QVERIFY2(e.message().contains(QLatin1String("korvan_member")), qPrintable(e.message()));
        }
        const auto korvan = [&](const char* sql) {
            return team.psql(QStringLiteral("korvan"), QString::fromLatin1(sql)).err;
        };
        QVERIFY(korvan("SELECT COUNT(*) FROM SEP_ProvedenaPrace").contains("permission denied"));
        QVERIFY(korvan("ALTER TABLE SEP_ProvedenaPrace NO FORCE ROW LEVEL SECURITY")
                    .contains("must be owner"));
    }
};

QTEST_MAIN(TestTeam)
#include "tst_team.moc"
