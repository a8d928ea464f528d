#pragma once

#include <QString>
#include <QStringList>

class TestDatabases;

// A team database on the test PostgreSQL server, set up as the README tells an administrator
// to: the shipped team set-up run with psql as the server's superuser, and three logins with
// their own passwords, "boss" (korvan_admin), "alice" and "bob" (korvan_member).
class TeamDatabase {
public:
    // Takes the test's fresh PostgreSQL database and, with setUp, runs the team set-up in it;
    // without, the database can be used by one person first ("korvan", as singleUser()).
    // The logins exist once per server and are granted their roles again.
    explicit TeamDatabase(TestDatabases& dbs, bool setUp = true);
    // The database before the team set-up: what the program's user "korvan" connects to.
    QString singleUser() const { return singleUser_; }
    // Runs the team set-up (again); false with psql's complaint in error().
    bool setUp();
    // The connection string the program uses for that login.
    QString as(const QString& login) const;

    struct Psql {
        int exitCode = -1;
        QString out, err;
    };
    // SQL run by psql as that login ("postgres": the superuser), unaligned and without
    // headings; ON_ERROR_STOP, so a refused statement ends it with exit code 3.
    Psql psql(const QString& login, const QString& sql) const;
    QString error() const { return error_; }

private:
    QString database_, singleUser_, error_;
};
