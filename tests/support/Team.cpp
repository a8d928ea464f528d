#include "support/Team.h"

#include "support/Databases.h"

#include "platform/ConnectionString.h"

#include <QProcess>
#include <QTest>

namespace {
QString passwordOf(const QString& login) {
    return login + QStringLiteral("-secret");
}

QString sourceDir() {
    return qEnvironmentVariable("KORVAN_SOURCE_DIR", QStringLiteral(KORVAN_TEST_SOURCE_DIR));
}
} // namespace

TeamDatabase::TeamDatabase(TestDatabases& dbs, bool setUpNow) {
    singleUser_ = dbs.fresh(QStringLiteral("postgresql"));
    database_ =
        platform::ConnectionString::parse(singleUser_).value(QStringLiteral("Initial Catalog"));
    // Roles belong to the server, not to one database: made once, the logins granted their
    // group and their password every time.
    QString sql;
    const auto role = [&sql](const QString& name, const QString& then) {
        sql += QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                              "'%1') THEN CREATE ROLE %1; END IF; END $$;\n%2")
                   .arg(name, then);
    };
    role(QStringLiteral("korvan_member"), {});
    role(QStringLiteral("korvan_admin"), {});
    for (const QString login : {"boss", "alice", "bob"})
        role(login, QStringLiteral("ALTER ROLE %1 LOGIN PASSWORD '%2';\nGRANT %3 TO %1;\n")
                        .arg(login, passwordOf(login),
                             login == QLatin1String("boss") ? QStringLiteral("korvan_admin")
                                                            : QStringLiteral("korvan_member")));
    const Psql made = psql(QStringLiteral("postgres"), sql);
    if (made.exitCode != 0)
        qFatal("cannot make the logins: %s", qPrintable(made.err));
    if (setUpNow && !setUp())
        qFatal("the team set-up failed: %s", qPrintable(error_));
}

bool TeamDatabase::setUp() {
    QProcess p;
    p.start(QStringLiteral("psql"),
            {qEnvironmentVariable("KORVAN_TEST_PG_ADMIN") + QStringLiteral(" dbname=") + database_,
             QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-f"),
             sourceDir() + QStringLiteral("/resources/schema/postgresql-team.sql")});
    p.waitForFinished(60000);
    error_ = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString TeamDatabase::as(const QString& login) const {
    if (login == QLatin1String("korvan"))
        return singleUser_;
    QString cs = singleUser_;
    cs.replace(QStringLiteral("User ID=korvan;Password=korvan-test"),
               QStringLiteral("User ID=%1;Password=%2").arg(login, passwordOf(login)));
    return cs;
}

TeamDatabase::Psql TeamDatabase::psql(const QString& login, const QString& sql) const {
    QString conninfo = qEnvironmentVariable("KORVAN_TEST_PG_ADMIN");
    if (login != QLatin1String("postgres")) {
        conninfo.replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + login);
        conninfo +=
            QStringLiteral(" password=") +
            (login == QLatin1String("korvan") ? QStringLiteral("korvan-test") : passwordOf(login));
    }
    QProcess p;
    p.start(QStringLiteral("psql"),
            {conninfo + QStringLiteral(" dbname=") + database_, QStringLiteral("-X"),
             QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"), sql});
    p.waitForFinished(60000);
    Psql result;
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    result.err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return result;
}
