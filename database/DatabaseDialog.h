#pragma once

#include "platform/Ado.h"

#include <QDialog>

#include <functional>

class ConnectionEditor;
class TEditBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;
class TDateTimePicker;
class TDBLookupComboBox;

// The "Database" dialog: the booked records with filters, total and CSV export; the
// projects and activities; emptying the database.
class TSetup : public QDialog {
    Q_OBJECT
public:
    explicit TSetup(platform::TADOConnection* connection, QWidget* parent = nullptr);
    ~TSetup() override;

    platform::TADODataSet ADOQuery1, ADOQuery2, ADOQuery3, ADOQuery4;
    platform::TDataSetModel *DataSource1, *DataSource2, *DataSource3;

    QTabWidget* PageControl1;
    QWidget *TabSheet4, *TabSheet5, *TabSheet1;
    TDateTimePicker *DateTimePicker1, *DateTimePicker2;
    TDBLookupComboBox *DBLookupComboBox1, *DBLookupComboBox2;
    QPushButton* Button8;
    QTableView* DBGrid3;
    QLabel* Label1;
    QListWidget *ListBox1, *ListBox2;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6, *Button9, *Button7;

    // Shows the dialog, or only brings it forward when it is shown already.
    void Open();
    void FormShow();
    void FormClose();
    void UpdateFilterAndTotal();
    void Button8Click(); // export
    void LoadProjects();
    void LoadActivities();
    void Button1Click(); // add activity
    void Button3Click(); // rename activity
    void Button2Click(); // delete activity
    void Button4Click(); // add project
    void Button5Click(); // rename project
    void Button6Click(); // delete project
    void Button9Click(); // clear database

    // Tries the connection the "Settings" page shows and says how it went.
    void testConnection();
    // Switches to the connection the page shows once it is known to work; the one in use
    // stays when it does not.
    void applyConnection();
    // Whether another database may be chosen now (not while a booking is open); the
    // reason goes into the message otherwise.
    std::function<bool()> mayChangeConnection;
    // The new connection is in use: keep it with the settings.
    std::function<void(const QString&)> onConnectionChanged;

    static QString SqlDateLiteral(const QDate& date);
    static QString CsvQuote(const QString& text);
    QString lastExportName() const { return exportName_; }
    // The box that asks for a project or activity name.
    TEditBox* nameBox() const { return nameBox_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildRecordsPage();
    void buildAdministrationPage();
    void buildSettingsPage();
    void reloadFilterLists();
    // Runs statements in one transaction; a failure rolls all of them back.
    void inTransaction(const std::function<void()>& work);

    platform::TADOConnection* connection_;
    ConnectionEditor* connectionEditor_ = nullptr;
    TEditBox* nameBox_;
    QString exportName_ = QStringLiteral("Korvan");
};
