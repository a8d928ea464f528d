#pragma once

#include "model/RecordBrowser.h"
#include "model/WorkRecords.h"

#include "platform/Deferred.h"

#include <QDialog>

#include <functional>

class ConnectionEditor;
class DataSetModel;
class InputBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;
class QSplitter;
class RecordChart;
class DatePicker;
class LookupComboBox;

// The "Database" dialog: the booked records with filters, total and CSV export; the
// projects and activities; emptying the database.
class DatabaseDialog : public Deferred<QDialog> {
    Q_OBJECT
public:
    explicit DatabaseDialog(WorkRecords& records, QWidget* parent = nullptr);
    ~DatabaseDialog() override;

    // The records the grid shows, with the filter in force.
    const platform::DataSet& shownRecords() const { return browser_.records(); }

    // Shows the dialog, or only brings it forward when it is shown already.
    void Open();
    void UpdateFilterAndTotal();
    void LoadProjects();
    void LoadActivities();

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

    static QString CsvQuote(const QString& text);
    // Rows the export reads with one statement and writes at once: a few megabytes. Fewer,
    // larger batches read faster (the engine finds more of a batch's rows on each page it
    // reads); larger ones would only cost memory.
    static constexpr int ExportBatchRows = 5000;
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

private:
    void onShown();
    void showChart(bool on);
    void onClosed();
    void exportClicked();
    void addActivityClicked();
    void renameActivityClicked();
    void deleteActivityClicked();
    void addProjectClicked();
    void renameProjectClicked();
    void deleteProjectClicked();
    void clearClicked();

    // Object names as the tests find them: PageControl1 with TabSheet4 (records), TabSheet5
    // (projects and activities) and TabSheet1 (settings); DateTimePicker1/2 (from, to),
    // DBLookupComboBox1/2 (project, activity filter), DBGrid3, Label1 (the total), Button8
    // (export), ChartButton with the chart beside the grid; ListBox1 (projects) with Button4/5/6
    // (add, edit, delete), ListBox2 (activities) with Button1/3/2; Button9 (clear); Button7
    // (close).
    WorkRecords& records_;
    RecordBrowser browser_;
    DataSetModel* recordsModel_;
    QTabWidget* pages_;
    QWidget *recordsPage_, *administrationPage_, *settingsPage_;
    DatePicker *fromPicker_, *toPicker_;
    LookupComboBox *projectFilter_, *activityFilter_;
    QPushButton* exportButton_;
    QTableView* recordsGrid_;
    QSplitter* recordsSplit_;
    QPushButton* chartButton_;
    RecordChart* chart_ = nullptr;
    bool shareChart_ = false;
    QLabel* totalLabel_;
    QListWidget *projectsList_, *activitiesList_;
    QPushButton *addActivityButton_, *deleteActivityButton_, *editActivityButton_,
        *addProjectButton_, *editProjectButton_, *deleteProjectButton_, *clearButton_,
        *closeButton_;

    void buildRecordsPage();
    void buildAdministrationPage();
    void buildSettingsPage();
    // Fills a list with the entries: the name of each, its id kept with it.
    void fillList(QListWidget* list, const QList<WorkRecords::Entry>& entries);

    ConnectionEditor* connectionEditor_ = nullptr;
    InputBox* nameBox_;
    QString exportName_ = QStringLiteral("Korvan");
};
