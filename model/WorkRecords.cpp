#include "model/WorkRecords.h"

#include "model/Records.h"
#include "platform/Error.h"

#include <cmath>

using namespace platform;

const SchemaDescription& WorkRecords::schema() {
    static const SchemaDescription description{
        {QStringLiteral("SEP_Usek"), QStringLiteral("SEP_UsekHistorie"),
         QStringLiteral("SEP_PovolenyUzivatel"), QStringLiteral("SEP_TypPrace"),
         QStringLiteral("SEP_ProvedenaPrace")},
        QStringLiteral(":/schema/sqlite.sql"),
        QStringLiteral(":/schema/postgresql.sql"),
        {QStringLiteral("DatumPrace"), QStringLiteral("Vytvoreno")}};
    return description;
}

WorkRecords::WorkRecords(const QString& connectionString)
    : activities_(&connection_), projects_(&connection_), recordInsert_(&connection_) {
    connection_.connectionString = connectionString;
    connection_.connectionTimeout = 90;
    connection_.loginPrompt = false;
    connection_.keepConnection = false;
    connection_.schema = schema();
    activities_.tableName = QStringLiteral("SEP_TypPrace");
    projects_.sql = QStringLiteral("SELECT id_Usek as id, NazevUseku as nazev FROM "
                                   "view_SEP_ZjistiVsechnyMojePovoleneUseky ORDER BY 2");
    declareWorkRecordInsert(recordInsert_);
}

WorkRecords::~WorkRecords() = default;

void WorkRecords::openLists() {
    ++listUsers_;
    activities_.open();
    projects_.open();
}

void WorkRecords::closeLists() {
    if (listUsers_ > 0)
        --listUsers_;
    if (!held_)
        closeIfUnused();
}

void WorkRecords::holdLists(bool held) {
    held_ = held;
    if (!held)
        closeIfUnused();
}

void WorkRecords::reloadLists() {
    for (DataSet* list : {&activities_, &projects_}) {
        if (!list->active())
            continue;
        list->close();
        list->open();
    }
}

void WorkRecords::closeIfUnused() {
    if (listUsers_ > 0)
        return;
    activities_.close();
    projects_.close();
    // Not from under the records a window still browses.
    if (!connection_.hasOpenDatasets())
        connection_.close();
}

DbConnection::Contents WorkRecords::probe(const QString& connectionString, int timeoutSeconds) {
    DbConnection c;
    c.schema = schema();
    c.connectionString = connectionString;
    c.connectionTimeout = timeoutSeconds;
    return c.inspect();
}

void WorkRecords::prepare(const QString& connectionString, int timeoutSeconds) {
    DbConnection c;
    c.schema = schema();
    c.connectionString = connectionString;
    c.connectionTimeout = timeoutSeconds;
    c.open();
    c.close();
}

void WorkRecords::useConnection(const QString& connectionString) {
    connection_.close();
    person_.reset();
    connection_.connectionString = connectionString;
}

// ---------------------------------------------------------------------------------------
// Who books

namespace {
// The server says no in these words when a privilege or a row rule forbids a statement.
bool refusedByServer(const QString& text) {
    return text.contains(QLatin1String("permission denied"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String("row-level security"), Qt::CaseInsensitive);
}

// The server's own line, without its severity and the driver's words after it.
QString serverReason(const QString& text) {
    QString reason = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (reason.startsWith(QLatin1String("ERROR:")))
        reason = reason.mid(6).trimmed();
    const qsizetype driver = reason.indexOf(QLatin1String(" QPSQL:"));
    return driver < 0 ? reason : reason.left(driver).trimmed();
}
} // namespace

const WorkRecords::Person& WorkRecords::person() {
    if (person_)
        return *person_;
    connection_.ready();
    Person person;
    // The team set-up adds its functions; a database without them is one person's.
    if (connection_.engine() == SqlEngine::PostgreSQL &&
        scalar(QStringLiteral("SELECT to_regproc('korvan_join') IS NOT NULL"), {}).toBool()) {
        DataSet query(&connection_);
        query.sql = QStringLiteral("SELECT korvan_join(), CAST(session_user AS TEXT), "
                                   "pg_has_role('korvan_admin', 'MEMBER'), (SELECT rolsuper "
                                   "FROM pg_roles WHERE rolname = session_user)");
        try {
            query.open();
        } catch (const Error& e) {
            // The set-up's own words for a login without a Korvan role.
            if (e.message().contains(QLatin1String("may not use Korvan's team database")))
                throw Error(serverReason(e.message()) + QLatin1Char('.'));
            if (!refusedByServer(e.message()))
                throw;
            throw Error(
                QStringLiteral("The login \"%1\" may not use Korvan's team database: "
                               "its administrator grants it korvan_member or "
                               "korvan_admin (%2).")
                    .arg(scalar(QStringLiteral("SELECT CAST(session_user AS TEXT)"), {}).toString(),
                         serverReason(e.message())));
        }
        person.team = true;
        person.id = query.value(0, 0).toInt();
        person.name = query.value(0, 1).toString();
        person.admin = query.value(0, 2).toBool();
        person.superuser = query.value(0, 3).toBool();
        query.close();
    }
    person_ = person;
    return *person_;
}

QList<WorkRecords::Entry> WorkRecords::people() {
    if (!person().team)
        return {};
    return entries(QStringLiteral("SELECT id_UzivatelSEP, Login FROM SEP_Uzivatel ORDER BY 2"), 1,
                   0);
}

QList<WorkRecords::Permission> WorkRecords::permissions(int projectId) {
    QList<Permission> result;
    if (!person().team)
        return result;
    DataSet query(&connection_);
    query.sql = QStringLiteral(
        "SELECT k.Login, EXISTS (SELECT 1 FROM SEP_PovolenyUzivatel p JOIN SEP_Uzivatel u ON "
        "u.id_UzivatelSEP = p.id_UzivatelSEP WHERE u.Login = k.Login AND p.id_Usek = ?) "
        "FROM korvan_people k ORDER BY 1");
    query.parameters = {projectId};
    query.open();
    for (int r = 0; r < query.recordCount(); ++r)
        result.append({query.value(r, 0).toString(), query.value(r, 1).toBool()});
    query.close();
    return result;
}

void WorkRecords::setPermissions(int projectId, const QStringList& logins) {
    administer([&] {
        connection_.execute(QStringLiteral("DELETE FROM SEP_PovolenyUzivatel WHERE id_Usek = ?"),
                            {projectId});
        // A login that has not used Korvan yet becomes one of the team's people here.
        for (const QString& login : logins)
            connection_.execute(QStringLiteral("INSERT INTO SEP_PovolenyUzivatel(id_UzivatelSEP, "
                                               "id_Usek) VALUES(korvan_person(?), ?)"),
                                {login, projectId});
    });
    reloadLists();
}

QString WorkRecords::administrationRefusal() {
    const Person& me = person();
    if (me.admin)
        return {};
    return QStringLiteral("Only an administrator of the team database (korvan_admin) may change "
                          "projects, activities and permissions or clear the database; %1 is a "
                          "member.")
        .arg(me.name);
}

void WorkRecords::administer(const std::function<void()>& work) {
    try {
        inTransaction(work);
    } catch (const Error& e) {
        // A member's program may offer what the server then forbids (an older copy, or a
        // role taken away meanwhile): said as what it is, not in the server's terms alone.
        if (!refusedByServer(e.message()))
            throw;
        throw Error(QStringLiteral("The database server refused this: only an administrator of "
                                   "the team database may change projects, activities and "
                                   "permissions or clear the database (%1). Nothing was changed.")
                        .arg(serverReason(e.message())));
    }
}

// ---------------------------------------------------------------------------------------
// Projects and activities

QList<WorkRecords::Entry> WorkRecords::entries(const QString& sql, int nameField, int idField) {
    DataSet query(&connection_);
    query.sql = sql;
    query.open();
    QList<Entry> result;
    for (int r = 0; r < query.recordCount(); ++r)
        result.append({query.value(r, idField).toInt(), query.value(r, nameField).toString()});
    query.close();
    return result;
}

QList<WorkRecords::Entry> WorkRecords::activeProjects() {
    return entries(QStringLiteral("SELECT * FROM view_SEP_Useky WHERE Aktivni = 1"), 5, 1);
}

QList<WorkRecords::Entry> WorkRecords::allActivities() {
    return entries(QStringLiteral("SELECT * FROM SEP_TypPrace"), 1, 0);
}

void WorkRecords::inTransaction(const std::function<void()>& work) {
    // Within a transaction of the caller's the change is part of it: the caller commits or
    // rolls back the whole.
    if (connection_.inTransaction()) {
        work();
        return;
    }
    if (!connection_.connected())
        connection_.open();
    connection_.beginTrans();
    try {
        work();
        connection_.commitTrans();
    } catch (...) {
        try {
            connection_.rollbackTrans();
        } catch (...) {
        }
        throw;
    }
}

int WorkRecords::addActivity(const QString& name) {
    int id = 0;
    administer([&] {
        id = static_cast<int>(
            connection_.insert(QStringLiteral("INSERT INTO SEP_TypPrace(TypPrace) VALUES(?)"),
                               {name}, QStringLiteral("id_TypPrace")));
    });
    reloadLists();
    return id;
}

void WorkRecords::renameActivity(int id, const QString& name) {
    administer([&] {
        connection_.execute(
            QStringLiteral("UPDATE SEP_TypPrace SET TypPrace = ? WHERE id_TypPrace = ?"),
            {name, id});
    });
    reloadLists();
}

void WorkRecords::deleteActivity(int id) {
    administer([&] {
        connection_.execute(QStringLiteral("DELETE FROM SEP_ProvedenaPrace WHERE id_TypPrace = ?"),
                            {id});
        connection_.execute(QStringLiteral("DELETE FROM SEP_TypPrace WHERE id_TypPrace = ?"), {id});
    });
    reloadLists();
}

int WorkRecords::addProject(const QString& name) {
    int id = 0;
    const Person& me = person();
    administer([&] {
        id = static_cast<int>(connection_.insert(
            QStringLiteral("INSERT INTO SEP_Usek(Vytvoril) VALUES(?)"),
            {me.team ? me.name : QStringLiteral("System")}, QStringLiteral("id_Usek")));
        connection_.execute(
            QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, Aktivni) VALUES(?, ?, 1)"),
            {id, name});
        connection_.execute(
            QStringLiteral(
                "INSERT INTO SEP_PovolenyUzivatel(id_UzivatelSEP, id_Usek) VALUES(?, ?)"),
            {me.id, id});
    });
    reloadLists();
    return id;
}

// A project's name and state are its latest history row.
void WorkRecords::renameProject(int id, const QString& name) {
    administer([&] {
        connection_.execute(QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, "
                                           "Aktivni) VALUES(?, ?, 1)"),
                            {id, name});
    });
    reloadLists();
}

void WorkRecords::retireProject(int id, const QString& name) {
    administer([&] {
        connection_.execute(QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, "
                                           "Aktivni) VALUES(?, ?, 0)"),
                            {id, name});
    });
    reloadLists();
}

void WorkRecords::deleteProject(int id) {
    administer([&] {
        for (const char* table :
             {"SEP_ProvedenaPrace", "SEP_UsekHistorie", "SEP_Usek", "SEP_PovolenyUzivatel"})
            connection_.execute(
                QStringLiteral("DELETE FROM %1 WHERE id_Usek = ?").arg(QLatin1String(table)), {id});
    });
    reloadLists();
}

void WorkRecords::clear() {
    administer([&] {
        for (const char* table : {"SEP_ProvedenaPrace", "SEP_PovolenyUzivatel", "SEP_TypPrace",
                                  "SEP_UsekHistorie", "SEP_Usek"})
            connection_.execute(QStringLiteral("DELETE FROM ") + QLatin1String(table));
    });
    reloadLists();
}

// ---------------------------------------------------------------------------------------
// What a booking checks

QVariant WorkRecords::scalar(const QString& sql, const QVariantList& values) {
    DataSet query(&connection_);
    query.sql = sql;
    query.parameters = values;
    query.open();
    QVariant value = query.recordCount() > 0 ? query.value(0, 0) : QVariant();
    query.close();
    return value;
}

bool WorkRecords::projectBookable(const QVariant& id) {
    return !id.isNull() &&
           scalar(QStringLiteral("SELECT COUNT(*) FROM view_SEP_ZjistiVsechnyMojePovoleneUseky "
                                 "WHERE id_Usek = ?"),
                  {id})
                   .toInt() > 0;
}

bool WorkRecords::activityExists(const QVariant& id) {
    return !id.isNull() &&
           scalar(QStringLiteral("SELECT COUNT(*) FROM SEP_TypPrace WHERE id_TypPrace = ?"), {id})
                   .toInt() > 0;
}

double WorkRecords::hoursBookedOn(const QDate& day) {
    const auto start = [](const QDate& date) {
        return QVariant(sqlDateTimeText(wallClock(date, QTime(0, 0))));
    };
    // In a team, the person's own day: an administrator sees the others' as well.
    const Person& me = person();
    QString sql = QStringLiteral(
        "SELECT SUM(Cas) FROM SEP_ProvedenaPrace WHERE DatumPrace >= ? AND DatumPrace < ?");
    QVariantList values{start(day), start(day.addDays(1))};
    if (me.team) {
        sql += QStringLiteral(" AND id_UzivatelSEP = ?");
        values << me.id;
    }
    return scalar(sql, values).toDouble();
}

// ---------------------------------------------------------------------------------------
// Correcting booked records

namespace {
QString recordGone() {
    return QStringLiteral("The record no longer exists: it was deleted meanwhile. Nothing was "
                          "changed.");
}
} // namespace

QString WorkRecords::hoursProblem(double hours) {
    if (!std::isfinite(hours))
        return QStringLiteral("The hours must be a number.");
    if (hours <= 0)
        return QStringLiteral("The hours must be more than 0. A record without hours is deleted "
                              "instead.");
    if (hours > kMostHours)
        return QStringLiteral("One record cannot have more than %1 hours.").arg(kMostHours);
    return {};
}

bool WorkRecords::exists(const QString& sql, qint64 id) {
    DataSet query(&connection_);
    query.sql = sql;
    query.parameters = {id};
    query.open();
    const bool found = query.recordCount() > 0;
    query.close();
    return found;
}

void WorkRecords::updateRecord(const BookedRecord& record) {
    const QString problem = hoursProblem(record.hours);
    if (!problem.isEmpty())
        throw Error(problem);
    if (record.description.size() > kDescriptionLimit)
        throw Error(QStringLiteral("The description cannot be longer than %1 characters.")
                        .arg(kDescriptionLimit));
    // Typed nulls: PostgreSQL is told the column's kind even for no value.
    const QVariant bug = record.bugNumber.isNull() ? QVariant(QMetaType::fromType<int>())
                                                   : QVariant(record.bugNumber.toInt());
    const QVariant description = record.description.isEmpty()
                                     ? QVariant(QMetaType::fromType<QString>())
                                     : QVariant(record.description);
    inTransaction([&] {
        // Nothing points a record at a project or activity deleted meanwhile.
        if (!exists(QStringLiteral("SELECT id_Usek FROM SEP_Usek WHERE id_Usek = ?"),
                    record.projectId))
            throw Error(QStringLiteral("The project was deleted meanwhile. Nothing was changed."));
        if (!exists(QStringLiteral("SELECT id_TypPrace FROM SEP_TypPrace WHERE id_TypPrace = ?"),
                    record.activityId))
            throw Error(QStringLiteral("The activity was deleted meanwhile. Nothing was changed."));
        const int changed = connection_.execute(
            QStringLiteral("UPDATE SEP_ProvedenaPrace SET DatumPrace = ?, id_Usek = ?, "
                           "id_TypPrace = ?, Cas = ?, id_Chyba = ?, Popis = ? "
                           "WHERE id_ProvedenaPrace = ?"),
            {sqlDateTimeText(record.workDate), record.projectId, record.activityId, record.hours,
             bug, description, record.id});
        if (changed != 1)
            throw Error(recordGone());
    });
}

void WorkRecords::deleteRecord(qint64 id) {
    inTransaction([&] {
        if (connection_.execute(
                QStringLiteral("DELETE FROM SEP_ProvedenaPrace WHERE id_ProvedenaPrace = ?"),
                {id}) != 1)
            throw Error(recordGone());
    });
}
