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
    // Logins belong to the server, not to one database: made once, granted every time.
    const Psql made = psql(QStringLiteral("postgres"),
                           QStringLiteral("DO $$ BEGIN\n"
                                          "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                                          "'korvan_member') THEN CREATE ROLE korvan_member; END "
                                          "IF;\n"
                                          "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                                          "'korvan_admin') THEN CREATE ROLE korvan_admin; END IF;\n"
                                          "END $$;\n"));
    if (made.exitCode != 0)
        qFatal("cannot make the roles: %s", qPrintable(made.err));
    for (const QString login : {"boss", "alice", "bob"}) {
        const QString role = login == QLatin1String("boss") ? QStringLiteral("korvan_admin")
                                                            : QStringLiteral("korvan_member");
        const Psql p =
            psql(QStringLiteral("postgres"),
                 QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                                "'%1') THEN CREATE ROLE %1; END IF; END $$;\n"
                                "ALTER ROLE %1 LOGIN PASSWORD '%2';\nGRANT %3 TO %1;")
                     .arg(login, passwordOf(login), role));
        if (p.exitCode != 0)
            qFatal("cannot make the login %s: %s", qPrintable(login), qPrintable(p.err));
    }
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
