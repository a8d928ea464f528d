#include "database/DatabaseDialog.h"

#include "database/ConnectionEditor.h"
#include "database/EditBox.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/AtomicFile.h"
#include "platform/BusyCursor.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/FileDialog.h"
#include "platform/LocaleText.h"
#include "platform/MessageBox.h"
#include "platform/Services.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupComboBox.h"
#include "widgets/Named.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

using namespace platform;

namespace {
QString dateCell(const QVariant& v) {
    return v.isNull() ? QString() : recordDateText(v.toDateTime());
}
QString hoursCell(const QVariant& v) {
    return v.isNull() ? QString() : hoursText(v.toDouble());
}

constexpr int kIdRole = Qt::UserRole;
} // namespace

QString TSetup::SqlDateLiteral(const QDate& date) {
    return QStringLiteral("#%1/%2/%3#")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString TSetup::CsvQuote(const QString& text) {
    QString s = text;
    return QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

TSetup::TSetup(TADOConnection* connection, QWidget* parent)
    : QDialog(parent), records_(connection), projectList_(connection), activityList_(connection),
      totalQuery_(connection), connection_(connection) {
    setObjectName(QStringLiteral("Setup"));
    setWindowTitle(QStringLiteral("Database"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    records_.SQL = QStringLiteral("SELECT * FROM view_SEP_prace");
    // "< All >" (id -1) first, then the entries in the order they were made, on every
    // engine (a UNION alone has no order on PostgreSQL).
    projectList_.SQL =
        QStringLiteral("SELECT -1 AS id_Usek, '< All >' AS NazevUseku FROM view_SEP_Useky\r\n"
                       "UNION\r\nSELECT id_Usek, NazevUseku FROM view_SEP_Useky\r\nORDER BY 1, 2");
    activityList_.SQL =
        QStringLiteral("SELECT -1 AS id_TypPrace, '< All >' AS TypPrace FROM SEP_TypPrace\r\n"
                       "UNION\r\nSELECT id_TypPrace, TypPrace FROM SEP_TypPrace\r\nORDER BY 1, 2");
    recordsModel_ = new TDataSetModel(&records_, this);
    recordsModel_->setColumns({
        {QStringLiteral("DatumPrace"), QStringLiteral("Date"), dateCell},
        {QStringLiteral("Nazev"), QStringLiteral("Project"), {}},
        {QStringLiteral("Cas"), QStringLiteral("Time"), hoursCell, Qt::AlignCenter},
        {QStringLiteral("TypPrace"), QStringLiteral("Activity"), {}},
        {QStringLiteral("Popis"), QStringLiteral("Description"), {}},
    });
    projectListModel_ = new TDataSetModel(&projectList_, this);
    activityListModel_ = new TDataSetModel(&activityList_, this);

    pages_ = new QTabWidget;
    pages_->setObjectName(QStringLiteral("PageControl1"));
    buildRecordsPage();
    buildAdministrationPage();
    buildSettingsPage();
    closeButton_ = button("Button7", QStringLiteral("&Close"));
    connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(bottom);
    resize(720, 480);
    // Owned by this dialog, so that closing it gives the focus back here; made last, so
    // that a search by name finds this dialog's own controls first.
    nameBox_ = new TEditBox(this);
}

TSetup::~TSetup() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
    records_.onChanged = nullptr;
    projectList_.onChanged = nullptr;
    activityList_.onChanged = nullptr;
}

void TSetup::buildRecordsPage() {
    recordsPage_ = new QWidget;
    recordsPage_->setObjectName(QStringLiteral("TabSheet4"));
    fromPicker_ = new TDateTimePicker;
    fromPicker_->setObjectName(QStringLiteral("DateTimePicker1"));
    toPicker_ = new TDateTimePicker;
    toPicker_->setObjectName(QStringLiteral("DateTimePicker2"));
    projectFilter_ = new TDBLookupComboBox;
    projectFilter_->setObjectName(QStringLiteral("DBLookupComboBox1"));
    projectFilter_->setListSource(&projectList_, projectListModel_, QStringLiteral("id_Usek"),
                                  QStringLiteral("NazevUseku"));
    activityFilter_ = new TDBLookupComboBox;
    activityFilter_->setObjectName(QStringLiteral("DBLookupComboBox2"));
    activityFilter_->setListSource(&activityList_, activityListModel_,
                                   QStringLiteral("id_TypPrace"), QStringLiteral("TypPrace"));
    exportButton_ = button("Button8", QStringLiteral("&Export"));
    recordsGrid_ = new QTableView;
    recordsGrid_->setObjectName(QStringLiteral("DBGrid3"));
    recordsGrid_->setModel(recordsModel_);
    recordsGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    recordsGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    recordsGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    recordsGrid_->verticalHeader()->hide();
    recordsGrid_->horizontalHeader()->setStretchLastSection(true);
    totalLabel_ = label("Label1", QStringLiteral("0 h"));

    for (TDateTimePicker* picker : {fromPicker_, toPicker_})
        connect(picker, &TDateTimePicker::Change, this,
                [this] { guarded([this] { UpdateFilterAndTotal(); }); });
    // The filter follows the choice itself, not the closing of the list (which comes
    // before the choice is known).
    for (TDBLookupComboBox* box : {projectFilter_, activityFilter_})
        connect(box, &TDBLookupComboBox::KeyChanged, this,
                [this] { guarded([this] { UpdateFilterAndTotal(); }); });
    connect(exportButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { exportClicked(); }); });

    auto* filters = new QGridLayout;
    filters->addWidget(label("StaticText1", QStringLiteral("Date from:")), 0, 0);
    filters->addWidget(fromPicker_, 0, 1);
    filters->addWidget(label("StaticText2", QStringLiteral("to:")), 0, 2);
    filters->addWidget(toPicker_, 0, 3);
    filters->addWidget(label("StaticText3", QStringLiteral("Project:")), 1, 0);
    filters->addWidget(projectFilter_, 1, 1);
    filters->addWidget(label("StaticText4", QStringLiteral("Activity:")), 1, 2);
    filters->addWidget(activityFilter_, 1, 3);
    filters->addWidget(exportButton_, 0, 4, 2, 1);
    auto* total = new QHBoxLayout;
    total->addStretch();
    total->addWidget(label("StaticText5", QStringLiteral("Total:")));
    total->addWidget(totalLabel_);
    auto* layout = new QVBoxLayout(recordsPage_);
    layout->addLayout(filters);
    layout->addWidget(recordsGrid_, 1);
    layout->addLayout(total);
    pages_->addTab(recordsPage_, QStringLiteral("Recorded times"));
}

void TSetup::buildAdministrationPage() {
    administrationPage_ = new QWidget;
    administrationPage_->setObjectName(QStringLiteral("TabSheet5"));
    projectsList_ = new QListWidget;
    projectsList_->setObjectName(QStringLiteral("ListBox1"));
    activitiesList_ = new QListWidget;
    activitiesList_->setObjectName(QStringLiteral("ListBox2"));
    addProjectButton_ = button("Button4", QStringLiteral("Add"));
    editProjectButton_ = button("Button5", QStringLiteral("Edit"));
    deleteProjectButton_ = button("Button6", QStringLiteral("Delete"));
    addActivityButton_ = button("Button1", QStringLiteral("Add"));
    editActivityButton_ = button("Button3", QStringLiteral("Edit"));
    deleteActivityButton_ = button("Button2", QStringLiteral("Delete"));
    onClicks(this, {{addActivityButton_, &TSetup::addActivityClicked},
                    {deleteActivityButton_, &TSetup::deleteActivityClicked},
                    {editActivityButton_, &TSetup::renameActivityClicked},
                    {addProjectButton_, &TSetup::addProjectClicked},
                    {editProjectButton_, &TSetup::renameProjectClicked},
                    {deleteProjectButton_, &TSetup::deleteProjectClicked}});
    const auto group = [](const char* name, const QString& title, QListWidget* list,
                          std::initializer_list<QPushButton*> buttons) {
        auto* box = new QGroupBox(title);
        box->setObjectName(QLatin1String(name));
        auto* column = new QVBoxLayout;
        for (QPushButton* b : buttons)
            column->addWidget(b);
        column->addStretch();
        auto* row = new QHBoxLayout(box);
        row->addWidget(list, 1);
        row->addLayout(column);
        return box;
    };
    auto* layout = new QHBoxLayout(administrationPage_);
    layout->addWidget(group("GroupBox2", QStringLiteral(" Projects "), projectsList_,
                            {addProjectButton_, editProjectButton_, deleteProjectButton_}));
    layout->addWidget(group("GroupBox1", QStringLiteral(" Activities "), activitiesList_,
                            {addActivityButton_, editActivityButton_, deleteActivityButton_}));
    // Keyboard order: each list, then its buttons.
    QWidget* order[] = {projectsList_,        addProjectButton_,    editProjectButton_,
                        deleteProjectButton_, activitiesList_,      addActivityButton_,
                        editActivityButton_,  deleteActivityButton_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    pages_->addTab(administrationPage_, QStringLiteral("Projects && Activities"));
}

void TSetup::buildSettingsPage() {
    settingsPage_ = new QWidget;
    settingsPage_->setObjectName(QStringLiteral("TabSheet1"));
    clearButton_ = button("Button9", QStringLiteral("Clear DB"));
    connect(clearButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { clearClicked(); }); });
    auto* box = new QGroupBox(QStringLiteral(" Database cleanup "));
    box->setObjectName(QStringLiteral("GroupBox3"));
    auto* text =
        label("StaticText6",
              QStringLiteral("Press the Clear DB button when you would like to clear all "
                             "records from the database. The database will remain empty."));
    text->setWordWrap(true);
    auto* row = new QHBoxLayout(box);
    row->addWidget(clearButton_);
    row->addWidget(text, 1);
    connectionEditor_ = new ConnectionEditor;
    connect(connectionEditor_->testButton(), &QPushButton::clicked, this,
            [this] { guarded([this] { testConnection(); }); });
    connect(connectionEditor_->applyButton(), &QPushButton::clicked, this,
            [this] { guarded([this] { applyConnection(); }); });
    auto* layout = new QVBoxLayout(settingsPage_);
    layout->addWidget(connectionEditor_);
    layout->addWidget(box);
    layout->addStretch();
    pages_->addTab(settingsPage_, QStringLiteral("Settings"));
}

// ---------------------------------------------------------------------------------------
// The connection

namespace {
// Long enough for a server across a slow network, short enough to be waited for.
constexpr int kProbeTimeoutSeconds = 10;

// Opens a connection to see that it works (creating the tables in an empty database, as
// the first use would); throws Error with the reason when it does not.
void probe(const QString& connection) {
    BusyCursor busy;
    TADOConnection c;
    c.Schema = WorkRecords::schema();
    c.ConnectionString = connection;
    c.ConnectionTimeout = kProbeTimeoutSeconds;
    c.Open();
    c.Close();
}
} // namespace

void TSetup::testConnection() {
    try {
        probe(connectionEditor_->connection());
    } catch (const Error& e) {
        messageBox(e.message(), QStringLiteral("Test connection"), MsgIcon::Warning, MsgButtons::Ok,
                   this);
        return;
    }
    messageBox(QStringLiteral("Connection succeeded."), QStringLiteral("Test connection"),
               MsgIcon::Information, MsgButtons::Ok, this);
}

void TSetup::applyConnection() {
    const QString connection = connectionEditor_->connection();
    if (!PasswordSurvivesScrambling(ConnectionForStore(connection))) {
        messageBox(QStringLiteral("The password holds a character that the settings cannot "
                                  "keep. Choose another password."),
                   QStringLiteral("Database connection"), MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    if (mayChangeConnection && !mayChangeConnection()) {
        messageBox(QStringLiteral("Close \"Summary\" and \"Edit task\" before choosing "
                                  "another database."),
                   QStringLiteral("Database connection"), MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    try {
        probe(connection);
    } catch (const Error& e) {
        messageBox(QStringLiteral("Korvan keeps the database it uses: the new one cannot be "
                                  "used.\n\n") +
                       e.message(),
                   QStringLiteral("Database connection"), MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    onClosed();
    connection_->Close();
    connection_->ConnectionString = connection;
    if (onConnectionChanged)
        onConnectionChanged(connection);
    onShown();
    messageBox(QStringLiteral("Korvan now records to this database."),
               QStringLiteral("Database connection"), MsgIcon::Information, MsgButtons::Ok, this);
}

// ---------------------------------------------------------------------------------------
// Showing and closing

void TSetup::Open() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { onShown(); });
}

void TSetup::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { onClosed(); });
}

void TSetup::onShown() {
    connectionEditor_->setConnection(connection_->ConnectionString);
    {
        BusyCursor busy;
        LoadProjects();
        LoadActivities();
        records_.Open();
        projectList_.Open();
        projectFilter_->setKeyValue(-1);
        activityList_.Open();
        activityFilter_->setKeyValue(-1);
        for (TDateTimePicker* picker : {fromPicker_, toPicker_}) {
            picker->setDate(platform::today());
            picker->setChecked(false);
        }
    }
    UpdateFilterAndTotal();
}

void TSetup::onClosed() {
    records_.Close();
    projectList_.Close();
    activityList_.Close();
}

// ---------------------------------------------------------------------------------------
// Recorded times

void TSetup::UpdateFilterAndTotal() {
    BusyCursor busy;
    QString filter, joiner;
    QStringList total{QStringLiteral("SELECT SUM(Cas) FROM view_SEP_Prace WHERE 1 = 1 ")};
    const auto add = [&](const QString& part, const QString& line) {
        filter += joiner + part;
        total << line;
        joiner = QStringLiteral(" and ");
    };
    if (fromPicker_->Checked())
        add(QStringLiteral("DatumPrace >= '") + shortDateText(fromPicker_->Date()) +
                QLatin1Char('\''),
            QStringLiteral(" and DatumPrace >= ") + SqlDateLiteral(fromPicker_->Date()));
    if (toPicker_->Checked())
        add(QStringLiteral(" DatumPrace <= '") + shortDateText(toPicker_->Date()) +
                QLatin1Char('\''),
            QStringLiteral(" and DatumPrace <= ") + SqlDateLiteral(toPicker_->Date()));
    const QVariant project = projectFilter_->KeyValue();
    if (!project.isNull() && project.toLongLong() != -1)
        add(QStringLiteral(" id_Usek = %1").arg(project.toLongLong()),
            QStringLiteral(" and id_Usek = %1").arg(project.toLongLong()));
    const QVariant activity = activityFilter_->KeyValue();
    if (!activity.isNull() && activity.toLongLong() != -1)
        add(QStringLiteral(" id_TypPrace = %1").arg(activity.toLongLong()),
            QStringLiteral(" and id_TypPrace = %1").arg(activity.toLongLong()));
    const bool changed = filter != records_.Filter();
    records_.setFilter(filter);
    if (changed && recordsModel_->rowCount() > 0)
        recordsGrid_->setCurrentIndex(recordsModel_->index(0, 0));
    totalQuery_.Close();
    totalQuery_.SQL = total.join(QStringLiteral("\r\n"));
    totalQuery_.Open();
    const QVariant sum = totalQuery_.RecordCount() > 0 ? totalQuery_.Value(0, 0) : QVariant();
    totalLabel_->setText(sum.isNull() ? QStringLiteral("0 h")
                                      : hoursText(sum.toDouble()) + QStringLiteral(" h"));
    totalQuery_.Close();
}

void TSetup::exportClicked() {
    SaveFileRequest request;
    request.title = QStringLiteral("Export data");
    request.proposedName = exportName_;
    request.defaultSuffix = QStringLiteral("csv");
    request.filters = QStringLiteral("All files (*.*)|*.*|Comma separated (*.csv)|*.csv");
    request.selectedFilter = 1;
    const QString file = services().saveFileDialog->getSaveFileName(this, request);
    if (file.isEmpty())
        return;
    exportName_ = file;
    BusyCursor busy;
    QString text =
        QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n");
    const int rows = records_.RecordCount();
    for (int r = 0; r < rows; ++r) {
        const auto cell = [&](int position) { return records_.Value(r, position); };
        text += CsvQuote(dateCell(cell(0))) + QLatin1Char(';') + CsvQuote(cell(1).toString()) +
                QLatin1Char(';') + CsvQuote(hoursCell(cell(2))) + QLatin1Char(';') +
                CsvQuote(cell(6).toString()) + QLatin1Char(';') + CsvQuote(cell(3).toString()) +
                QStringLiteral(";\r\n");
    }
    if (rows > 0)
        recordsGrid_->setCurrentIndex(recordsModel_->index(rows - 1, 0));
    QStringEncoder encode(QStringEncoder::System);
    const QByteArray bytes = encode(text);
    // Written whole or not at all: a failed export leaves no partial file behind.
    QString error;
    // Created as any file of the user's; an existing file keeps its mode (a private 0600
    // file is not opened up).
    if (!writeFileAtomically(file, bytes, kModeAsUsual, &error))
        throw Error(error);
    messageBox(QStringLiteral("Selected data exported successfully."), QStringLiteral("Export"),
               MsgIcon::Information, MsgButtons::Ok, this);
}

// ---------------------------------------------------------------------------------------
// Projects and activities

namespace {
// After a delete nothing is selected: a second Delete must not act on an entry the user
// never picked.
void unselect(QListWidget* list) {
    list->clearSelection();
    list->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
}
} // namespace

void TSetup::inTransaction(const std::function<void()>& work) {
    if (!connection_->Connected())
        connection_->Open();
    connection_->BeginTrans();
    try {
        work();
        connection_->CommitTrans();
    } catch (...) {
        try {
            connection_->RollbackTrans();
        } catch (...) {
        }
        throw;
    }
}

void TSetup::reloadFilterLists() {
    for (TADODataSet* list : {&projectList_, &activityList_}) {
        list->Close();
        list->Open();
    }
}

void TSetup::fillList(QListWidget* list, const QString& sql, int nameField, int idField) {
    totalQuery_.Close();
    totalQuery_.SQL = sql;
    totalQuery_.Open();
    list->clear();
    for (int r = 0; r < totalQuery_.RecordCount(); ++r) {
        auto* item = new QListWidgetItem(totalQuery_.Value(r, nameField).toString());
        item->setData(kIdRole, totalQuery_.Value(r, idField).toInt());
        list->addItem(item);
    }
    totalQuery_.Close();
}

void TSetup::LoadProjects() {
    fillList(projectsList_, QStringLiteral("SELECT * FROM view_SEP_Useky WHERE Aktivni = 1"), 5, 1);
}

void TSetup::LoadActivities() {
    fillList(activitiesList_, QStringLiteral("SELECT * FROM SEP_TypPrace"), 1, 0);
}

void TSetup::addActivityClicked() {
    QString name;
    if (!nameBox_->Ask(QStringLiteral("New activity"), QStringLiteral("Activity name:"), QString(),
                       name))
        return;
    BusyCursor busy;
    totalQuery_.Close();
    const int id = static_cast<int>(
        connection_->Insert(QStringLiteral("INSERT INTO SEP_TypPrace(TypPrace) VALUES(?)"), {name},
                            QStringLiteral("id_TypPrace")));
    auto* item = new QListWidgetItem(name);
    item->setData(kIdRole, id);
    activitiesList_->addItem(item);
    reloadFilterLists();
}

void TSetup::renameActivityClicked() {
    QListWidgetItem* item = activitiesList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No activity was selected."), QStringLiteral("Edit Activity"),
                   MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    QString name;
    if (!nameBox_->Ask(QStringLiteral("Edit activity"), QStringLiteral("Activity name:"),
                       item->text(), name))
        return;
    BusyCursor busy;
    totalQuery_.Close();
    connection_->Execute(
        QStringLiteral("UPDATE SEP_TypPrace SET TypPrace = ? WHERE id_TypPrace = ?"),
        {name, item->data(kIdRole).toInt()});
    item->setText(name);
    reloadFilterLists();
}

void TSetup::deleteActivityClicked() {
    QListWidgetItem* item = activitiesList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No activity was selected."), QStringLiteral("Delete activity"),
                   MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    if (messageBox(QStringLiteral("When you delete activity all associated recorded project times "
                                  "will be deleted too.\n\r\n\rAre you sure to continue anyway ?"),
                   QStringLiteral("Delete activity"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    BusyCursor busy;
    totalQuery_.Close();
    const int id = item->data(kIdRole).toInt();
    inTransaction([&] {
        connection_->Execute(QStringLiteral("DELETE FROM SEP_ProvedenaPrace WHERE id_TypPrace = ?"),
                             {id});
        connection_->Execute(QStringLiteral("DELETE FROM SEP_TypPrace WHERE id_TypPrace = ?"),
                             {id});
    });
    reloadFilterLists();
    delete item;
    unselect(activitiesList_);
}

void TSetup::addProjectClicked() {
    QString name;
    if (!nameBox_->Ask(QStringLiteral("New project"), QStringLiteral("Project name:"), QString(),
                       name))
        return;
    BusyCursor busy;
    totalQuery_.Close();
    int id = 0;
    inTransaction([&] {
        id = static_cast<int>(
            connection_->Insert(QStringLiteral("INSERT INTO SEP_Usek(Vytvoril) VALUES(?)"),
                                {QStringLiteral("System")}, QStringLiteral("id_Usek")));
        connection_->Execute(
            QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, Aktivni) VALUES(?, ?, 1)"),
            {id, name});
        connection_->Execute(
            QStringLiteral(
                "INSERT INTO SEP_PovolenyUzivatel(id_UzivatelSEP, id_Usek) VALUES(1, ?)"),
            {id});
    });
    auto* item = new QListWidgetItem(name);
    item->setData(kIdRole, id);
    projectsList_->addItem(item);
    reloadFilterLists();
}

void TSetup::renameProjectClicked() {
    QListWidgetItem* item = projectsList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No project was selected."), QStringLiteral("Edit project"),
                   MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    QString name;
    if (!nameBox_->Ask(QStringLiteral("Edit project"), QStringLiteral("Project name:"),
                       item->text(), name))
        return;
    BusyCursor busy;
    totalQuery_.Close();
    connection_->Execute(
        QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, Aktivni) VALUES(?, ?, 1)"),
        {item->data(kIdRole).toInt(), name});
    item->setText(name);
    reloadFilterLists();
}

void TSetup::deleteProjectClicked() {
    QListWidgetItem* item = projectsList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No project was selected."), QStringLiteral("Delete project"),
                   MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    const MsgAnswer answer = messageBox(
        QStringLiteral(
            "Are you sure to delete selected project and all its recorded times ?\n\r\n\r"
            "[Yes] - delete the project and all its recorded times\n\r[No] - delete the "
            "project only \n\r[Cancel] - cancel the operation\n\r\n\rPress the button of "
            "your choice."),
        QStringLiteral("Delete project"), MsgIcon::Question, MsgButtons::YesNoCancelDefaultCancel,
        this);
    if (answer != MsgAnswer::Yes && answer != MsgAnswer::No)
        return;
    BusyCursor busy;
    totalQuery_.Close();
    const int id = item->data(kIdRole).toInt();
    if (answer == MsgAnswer::No) {
        connection_->Execute(
            QStringLiteral("INSERT INTO SEP_UsekHistorie(id_Usek, Nazev, Aktivni) VALUES(?, ?, 0)"),
            {id, item->text()});
    } else {
        inTransaction([&] {
            for (const char* table :
                 {"SEP_ProvedenaPrace", "SEP_UsekHistorie", "SEP_Usek", "SEP_PovolenyUzivatel"})
                connection_->Execute(
                    QStringLiteral("DELETE FROM %1 WHERE id_Usek = ?").arg(QLatin1String(table)),
                    {id});
        });
    }
    reloadFilterLists();
    delete item;
    unselect(projectsList_);
}

void TSetup::clearClicked() {
    if (messageBox(
            QStringLiteral("All data in the database will be permanently deleted. \n\r\n\r"
                           "This operation cannot be undone. \n\r\n\rDo you wish to continue ?"),
            QStringLiteral("Clear database"), MsgIcon::Warning, MsgButtons::YesNoDefaultNo,
            this) != MsgAnswer::Yes)
        return;
    BusyCursor busy;
    onClosed();
    inTransaction([&] {
        for (const char* table : {"SEP_ProvedenaPrace", "SEP_PovolenyUzivatel", "SEP_TypPrace",
                                  "SEP_UsekHistorie", "SEP_Usek"})
            connection_->Execute(QStringLiteral("DELETE FROM ") + QLatin1String(table));
    });
    onShown();
    messageBox(QStringLiteral("Database cleared successfuly."), QStringLiteral("Clear database"),
               MsgIcon::Information, MsgButtons::Ok, this);
}
