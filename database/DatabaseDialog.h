#pragma once

#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"

#include "platform/Deferred.h"

#include <QDialog>

#include <functional>

class AdministrationPage;
class ConnectionEditor;
class DataSetModel;
class InputBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QSplitter;
class QTimer;
class RecordChart;
class RecordCorrector;
class DatePicker;
class LookupComboBox;
class PersonChooser;

// The "Database" dialog: the booked records with filters, total and CSV export, each record
// to correct or delete; the projects and activities; emptying the database.
class DatabaseDialog : public Deferred<QDialog> {
    Q_OBJECT
public:
    explicit DatabaseDialog(WorkRecords& records, QWidget* parent = nullptr);
    ~DatabaseDialog() override;

    // The records the grid shows, with the filter in force.
    const platform::DataSet& shownRecords() const { return browser_.records(); }

    // Shows the dialog, or only brings it forward when it is shown already.
    void openDialog();
    void updateFilterAndTotal();

    // Tries the connection the "Settings" page shows and says how it went.
    void testConnection();
    // Switches to the connection the page shows once it is known to work, after asking
    // before it creates a database file or tables; the one in use stays otherwise.
    void applyConnection();
    // Whether another database may be chosen now (not while a booking is open); the
    // reason goes into the message otherwise.
    std::function<bool()> mayChangeConnection;
    // The new connection is in use: keep it with the settings. What comes back is told with
    // the confirmation (what the switch changed besides); empty: nothing.
    std::function<QString(const QString&)> onConnectionChanged;

    QString lastExportName() const { return exportName_; }
    // The box that asks for a project or activity name.
    InputBox* nameBox() const {
        ensurePolished();
        return nameBox_;
    }

protected:
    void buildControls() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onShown();
    void showChart(bool on);
    void onClosed();
    // A load that failed shows no figures at all, and why, until the next one works.
    void showLoadFailure(const QString& reason);
    void exportClicked();
    void clearClicked();

    // Object names as the tests find them: PageControl1 with TabSheet4 (records), TabSheet5
    // (projects and activities) and TabSheet1 (settings); DateTimePicker1/2 (from, to),
    // DBLookupComboBox1/2 (project, activity filter), DBGrid3, Label1 (the total), Button8
    // (export), ChartButton with the chart beside the grid, LoadNote (why the records could
    // not be read, shown only then); the AdministrationPage; Button9 (clear); Button7 (close);
    // TextFilter (with TextFilterTimer); the RecordCorrector's buttons below the grid; in a
    // team database the PersonChooser's PersonFilter and PersonTotals.
    WorkRecords& records_;
    RecordBrowser browser_;
    DataSetModel* recordsModel_;
    QTabWidget* pages_;
    QWidget *recordsPage_, *settingsPage_;
    AdministrationPage* administration_;
    DatePicker *fromPicker_, *toPicker_;
    LookupComboBox *projectFilter_, *activityFilter_;
    PersonChooser* people_;
    QPushButton* exportButton_;
    QTableView* recordsGrid_;
    QSplitter* recordsSplit_;
    QPushButton* chartButton_;
    RecordChart* chart_ = nullptr;
    bool shareChart_ = false;
    QLabel* totalLabel_;
    QLabel* loadNote_;
    QLineEdit* textFilter_;
    QTimer* textTimer_;
    RecordCorrector* corrector_ = nullptr;
    QPushButton *clearButton_, *closeButton_;

    void buildRecordsPage();
    void buildSettingsPage();

    ConnectionEditor* connectionEditor_ = nullptr;
    InputBox* nameBox_;
    QString exportName_ = QStringLiteral("Korvan");
};
