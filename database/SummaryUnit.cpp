#include "database/SummaryUnit.h"

using namespace platform;

TSummary* Summary = nullptr;

TSummary::TSummary(const QString& connectionString, QWidget* parent)
    : QDialog(parent), ADOTable1(&ADOConnection1), ADOQuery1(&ADOConnection1),
      ADOCommand1(&ADOConnection1) {
    setObjectName(QStringLiteral("Summary"));
    setWindowTitle(QStringLiteral("Summary"));
    ADOConnection1.ConnectionString = connectionString;
    ADOConnection1.ConnectionTimeout = 90;
    ADOConnection1.LoginPrompt = false;
    ADOConnection1.KeepConnection = false;
    ADOTable1.TableName = QStringLiteral("SEP_TypPrace");
    ADOQuery1.SQL = QStringLiteral("SELECT id_Usek as id, NazevUseku as nazev FROM "
                                   "view_SEP_ZjistiVsechnyMojePovoleneUseky ORDER BY 2");
    DataSource1 = new TDataSetModel(&ADOTable1, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource2 = new TDataSetModel(&ADOQuery1, this);
    DataSource2->setObjectName(QStringLiteral("DataSource2"));
}

TSummary::~TSummary() {
    ADOTable1.onChanged = nullptr;
    ADOQuery1.onChanged = nullptr;
    if (Summary == this)
        Summary = nullptr;
}

void TSummary::OpenLists() {
    ADOTable1.Open();
    ADOQuery1.Open();
}

void TSummary::CloseLists() {
    ADOTable1.Close();
    ADOQuery1.Close();
    ADOConnection1.Close();
}
