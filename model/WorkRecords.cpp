#include "model/WorkRecords.h"

#include "model/Records.h"

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
    connection_.ConnectionString = connectionString;
    connection_.ConnectionTimeout = 90;
    connection_.LoginPrompt = false;
    connection_.KeepConnection = false;
    connection_.Schema = schema();
    activities_.TableName = QStringLiteral("SEP_TypPrace");
    projects_.SQL = QStringLiteral("SELECT id_Usek as id, NazevUseku as nazev FROM "
                                   "view_SEP_ZjistiVsechnyMojePovoleneUseky ORDER BY 2");
    activityModel_ = new TDataSetModel(&activities_);
    activityModel_->setObjectName(QStringLiteral("DataSource1"));
    projectModel_ = new TDataSetModel(&projects_);
    projectModel_->setObjectName(QStringLiteral("DataSource2"));
    DeclareWorkRecordInsert(recordInsert_);
}

WorkRecords::~WorkRecords() {
    activities_.onChanged = nullptr;
    projects_.onChanged = nullptr;
    delete activityModel_;
    delete projectModel_;
}

void WorkRecords::openLists() {
    ++listUsers_;
    activities_.Open();
    projects_.Open();
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

void WorkRecords::closeIfUnused() {
    if (listUsers_ > 0)
        return;
    activities_.Close();
    projects_.Close();
    connection_.Close();
}
