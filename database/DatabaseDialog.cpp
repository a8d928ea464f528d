#include "database/DatabaseDialog.h"

#include "database/AdministrationPage.h"
#include "database/ConnectionEditor.h"
#include "database/InputBox.h"
#include "database/PersonChooser.h"
#include "database/RecordChart.h"
#include "database/RecordCorrector.h"
#include "model/CsvExport.h"
#include "model/Records.h"
#include "platform/AtomicFile.h"
#include "platform/Centre.h"
#include "platform/Clock.h"
#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/Services.h"
#include "widgets/BusyCursor.h"
#include "widgets/DataSetModel.h"
#include "widgets/DatePicker.h"
#include "widgets/ElidedLabel.h"
#include "widgets/FileDialog.h"
#include "widgets/LookupComboBox.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QIODevice>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace platform;

namespace {
// Where the grid shows the description: after the date, project, time and activity.
constexpr int kDescriptionColumn = 4;
// Typing in the text filter narrows the records once the user pauses: a million records are
// not searched again for every key.
constexpr int kTypingPauseMs = 300;

QString dateCell(const QVariant& v) {
    return v.isNull() ? QString() : recordDateText(v.toDateTime());
}
QString hoursCell(const QVariant& v) {
    return v.isNull() ? QString() : hoursText(v.toDouble());
}

// The file the export writes, seen as a device: nothing of it replaces the old file until
// it is committed whole.
class AtomicFileDevice : public QIODevice {
public:
    explicit AtomicFileDevice(AtomicFileWriter& file) : file_(file) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        return file_.write(QByteArray::fromRawData(data, size)) ? size : -1;
    }

private:
    AtomicFileWriter& file_;
};
} // namespace

DatabaseDialog::DatabaseDialog(WorkRecords& records, QWidget* parent)
    : Deferred(parent), records_(records), browser_(records) {
    setObjectName(QStringLiteral("Setup"));
    setWindowTitle(QStringLiteral("Database"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    // Smaller on a small screen: the grid and lists give up the room, the buttons stay.
    resize(platform::sizeOnScreen(this, QSize(720, 480)));
    using Column = RecordBrowser::Column;
    recordsModel_ = new DataSetModel(&browser_.records(), this);
    recordsModel_->setColumns({
        {RecordBrowser::fieldName(Column::Date), QStringLiteral("Date"), dateCell},
        {RecordBrowser::fieldName(Column::Project), QStringLiteral("Project"), {}},
        {RecordBrowser::fieldName(Column::Hours), QStringLiteral("Time"), hoursCell,
         Qt::AlignCenter},
        {RecordBrowser::fieldName(Column::Activity), QStringLiteral("Activity"), {}},
        {RecordBrowser::fieldName(Column::Description), QStringLiteral("Description"), {}},
        {RecordBrowser::fieldName(Column::BugNumber), QStringLiteral("Bug"), {}, Qt::AlignCenter},
        // Shown only while everyone's records are: whose each one is.
        {RecordBrowser::fieldName(Column::Person), QStringLiteral("Person"), {}},
    });
}

void DatabaseDialog::buildControls() {
    pages_ = new QTabWidget;
    pages_->setObjectName(QStringLiteral("PageControl1"));
    pages_->setAccessibleName(QStringLiteral("Pages"));
    buildRecordsPage();
    administration_ = new AdministrationPage(records_, browser_);
    pages_->addTab(administration_, QStringLiteral("Pro&jects && Activities"));
    buildSettingsPage();
    closeButton_ = button("Button7", QStringLiteral("&Close"));
    connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(bottom);
    // Owned by this dialog, so that closing it gives the focus back here; made last, so
    // that a search by name finds this dialog's own controls first.
    nameBox_ = new InputBox(this);
    administration_->setNameBox(nameBox_);
}

DatabaseDialog::~DatabaseDialog() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

void DatabaseDialog::buildRecordsPage() {
    recordsPage_ = new QWidget;
    recordsPage_->setObjectName(QStringLiteral("TabSheet4"));
    fromPicker_ = new DatePicker;
    fromPicker_->setObjectName(QStringLiteral("DateTimePicker1"));
    toPicker_ = new DatePicker;
    toPicker_->setObjectName(QStringLiteral("DateTimePicker2"));
    projectFilter_ = new LookupComboBox;
    projectFilter_->setObjectName(QStringLiteral("DBLookupComboBox1"));
    projectFilter_->setListSource(browser_.projectList());
    activityFilter_ = new LookupComboBox;
    activityFilter_->setObjectName(QStringLiteral("DBLookupComboBox2"));
    activityFilter_->setListSource(browser_.activityList());
    people_ = new PersonChooser(this);
    exportButton_ = button("Button8", QStringLiteral("&Export"));
    recordsGrid_ = new QTableView;
    recordsGrid_->setObjectName(QStringLiteral("DBGrid3"));
    recordsGrid_->setModel(recordsModel_);
    recordsGrid_->setAccessibleName(QStringLiteral("Recorded times"));
    // Tab leaves the grid; the arrow keys move in it.
    recordsGrid_->setTabKeyNavigation(false);
    recordsGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    recordsGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    recordsGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    recordsGrid_->verticalHeader()->hide();
    // The description takes the room left; the bug number after it needs little.
    recordsGrid_->horizontalHeader()->setSectionResizeMode(kDescriptionColumn,
                                                           QHeaderView::Stretch);
    // By date as the database gives them; a click on a header sorts by that column, a
    // second click the other way round.
    recordsGrid_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    recordsGrid_->setSortingEnabled(true);
    // Hours booked before they were checked (1e300) show cut, never widening the window.
    totalLabel_ = new ElidedLabel;
    totalLabel_->setObjectName(QStringLiteral("Label1"));
    totalLabel_->setText(QStringLiteral("0 h"));
    // Its room is its own: a width the layout could share out left it past the page's edge.
    totalLabel_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    totalLabel_->setFixedWidth(
        totalLabel_->fontMetrics().horizontalAdvance(QStringLiteral("000000.00 h")));
    loadNote_ = label("LoadNote", QString());
    loadNote_->setWordWrap(true);
    loadNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    loadNote_->hide();
    chartButton_ = button("ChartButton", QStringLiteral("C&hart"));
    chartButton_->setCheckable(true);
    connect(chartButton_, &QPushButton::toggled, this,
            [this](bool on) { guarded([this, on] { showChart(on); }); });
    textFilter_ = named(new QLineEdit, "TextFilter");
    textFilter_->setPlaceholderText(QStringLiteral("Description or bug number"));
    textFilter_->setAccessibleName(QStringLiteral("Find in description or bug number"));
    textFilter_->setClearButtonEnabled(true);
    textFilter_->installEventFilter(this);
    textTimer_ = new QTimer(this);
    textTimer_->setObjectName(QStringLiteral("TextFilterTimer"));
    textTimer_->setSingleShot(true);
    textTimer_->setInterval(kTypingPauseMs);
    connect(textFilter_, &QLineEdit::textChanged, textTimer_, qOverload<>(&QTimer::start));
    connect(textTimer_, &QTimer::timeout, this,
            [this] { guarded([this] { updateFilterAndTotal(); }); });
    corrector_ = new RecordCorrector(records_, browser_, recordsGrid_);
    corrector_->reread = [this] { updateFilterAndTotal(); };

    for (DatePicker* picker : {fromPicker_, toPicker_})
        connect(picker, &DatePicker::change, this,
                [this] { guarded([this] { updateFilterAndTotal(); }); });
    // The filter follows the choice itself, not the closing of the list (which comes
    // before the choice is known).
    for (LookupComboBox* box : {projectFilter_, activityFilter_})
        connect(box, &LookupComboBox::keyChanged, this,
                [this] { guarded([this] { updateFilterAndTotal(); }); });
    connect(people_, &PersonChooser::changed, this,
            [this] { guarded([this] { updateFilterAndTotal(); }); });
    connect(exportButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { exportClicked(); }); });

    // A date filter is a box to tick and the date: both are named, as the drop-downs are
    // (whose labels also take the focus to them with their keys).
    fromPicker_->checkBox()->setAccessibleName(QStringLiteral("Filter from a date"));
    fromPicker_->dateEdit()->setAccessibleName(QStringLiteral("Date from"));
    toPicker_->checkBox()->setAccessibleName(QStringLiteral("Filter to a date"));
    toPicker_->dateEdit()->setAccessibleName(QStringLiteral("Date to"));
    projectFilter_->setAccessibleName(QStringLiteral("Project filter"));
    activityFilter_->setAccessibleName(QStringLiteral("Activity filter"));
    auto* filters = new QGridLayout;
    // Each label's key takes the focus to its filter (a date filter's to the date).
    const auto labelled = [filters](const char* name, const QString& text, QWidget* field,
                                    QWidget* focus, int row, int column) {
        QLabel* caption = label(name, text);
        caption->setBuddy(focus);
        filters->addWidget(caption, row, column);
        filters->addWidget(field, row, column + 1);
    };
    labelled("StaticText1", QStringLiteral("Date &from:"), fromPicker_, fromPicker_->dateEdit(), 0,
             0);
    labelled("StaticText2", QStringLiteral("&to:"), toPicker_, toPicker_->dateEdit(), 0, 2);
    labelled("StaticText3", QStringLiteral("&Project:"), projectFilter_, projectFilter_, 1, 0);
    labelled("StaticText4", QStringLiteral("&Activity:"), activityFilter_, activityFilter_, 1, 2);
    QLabel* find = label("StaticText7", QStringLiteral("Fi&nd:"));
    find->setBuddy(textFilter_);
    filters->addWidget(find, 2, 0);
    filters->addWidget(textFilter_, 2, 1, 1, 3);
    filters->addWidget(exportButton_, 0, 4, 2, 1);
    filters->addWidget(people_->caption(), 3, 0);
    filters->addWidget(people_->list(), 3, 1);
    auto* total = new QHBoxLayout;
    total->addWidget(chartButton_);
    total->addWidget(corrector_->editButton());
    total->addWidget(corrector_->deleteButton());
    total->addStretch();
    total->addWidget(people_->totals(), 1);
    total->addWidget(label("StaticText5", QStringLiteral("Total:")));
    total->addWidget(totalLabel_);
    auto* layout = new QVBoxLayout(recordsPage_);
    layout->addLayout(filters);
    layout->addWidget(loadNote_);
    recordsSplit_ = new QSplitter(Qt::Vertical);
    recordsSplit_->setChildrenCollapsible(false);
    recordsSplit_->addWidget(recordsGrid_);
    layout->addWidget(recordsSplit_, 1);
    layout->addLayout(total);
    pages_->addTab(recordsPage_, QStringLiteral("&Recorded times"));
    // Tab goes through the filters as they are laid out: the person's below the text's.
    setTabOrder(textFilter_, people_->list());
}

void DatabaseDialog::buildSettingsPage() {
    settingsPage_ = new QWidget;
    settingsPage_->setObjectName(QStringLiteral("TabSheet1"));
    clearButton_ = button("Button9", QStringLiteral("C&lear DB"));
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
    // In a team database only an administrator may clear it.
    layout->addWidget(administration_->offerOnlyToAdministrators(clearButton_));
    layout->addStretch();
    pages_->addTab(settingsPage_, QStringLiteral("&Settings"));
}

// ---------------------------------------------------------------------------------------
// The connection

namespace {
// Long enough for a server across a slow network, short enough to be waited for.
constexpr int kProbeTimeoutSeconds = 10;

// Looks at the database the connection reaches, changing nothing; throws Error with the
// reason when it cannot be used.
DbConnection::Contents probe(const QString& connection) {
    BusyCursor busy;
    return WorkRecords::probe(connection, kProbeTimeoutSeconds);
}

QString databaseFile(const QString& connection) {
    return QFileInfo(ConnectionString::parse(connection).value(QStringLiteral("Data Source")))
        .absoluteFilePath();
}
} // namespace

void DatabaseDialog::testConnection() {
    ensurePolished();
    const QString connection = connectionEditor_->connection();
    QString text = QStringLiteral("Connection succeeded.");
    MsgIcon icon = MsgIcon::Warning;
    try {
        switch (probe(connection)) {
        case DbConnection::Contents::Schema:
            icon = MsgIcon::Information;
            break;
        case DbConnection::Contents::NoFile:
            text = QStringLiteral("The database file %1 does not exist. Apply offers to create "
                                  "it.")
                       .arg(databaseFile(connection));
            break;
        case DbConnection::Contents::NoTables:
            text = QStringLiteral("The database can be reached but holds no Korvan tables. "
                                  "Apply offers to create them.");
            break;
        }
    } catch (const Error& e) {
        text = e.message();
    }
    messageBox(text, QStringLiteral("Test connection"), icon, MsgButtons::Ok, this);
}

void DatabaseDialog::applyConnection() {
    ensurePolished();
    const QString connection = connectionEditor_->connection();
    if (!passwordSurvivesScrambling(connectionForStore(connection))) {
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
        // A typing error in a path or a name must not quietly start an empty database in
        // which the user's records seem gone: creating one is a choice.
        const DbConnection::Contents found = probe(connection);
        if (found != DbConnection::Contents::Schema) {
            const QString question =
                found == DbConnection::Contents::NoFile
                    ? QStringLiteral("The database file %1 does not exist.\n\nCreate it as a "
                                     "new, empty database and record to it from now on?")
                          .arg(databaseFile(connection))
                    : QStringLiteral("The database holds no Korvan tables.\n\nCreate them and "
                                     "record to this database from now on?");
            if (messageBox(question, QStringLiteral("Database connection"), MsgIcon::Question,
                           MsgButtons::YesNoDefaultNo, this) != MsgAnswer::Yes)
                return;
            BusyCursor busy;
            WorkRecords::prepare(connection, kProbeTimeoutSeconds);
        }
    } catch (const Error& e) {
        messageBox(QStringLiteral("Korvan keeps the database it uses: the new one cannot be "
                                  "used.\n\n") +
                       e.message(),
                   QStringLiteral("Database connection"), MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    onClosed();
    records_.useConnection(connection);
    const QString besides = onConnectionChanged ? onConnectionChanged(connection) : QString();
    onShown();
    messageBox(QStringLiteral("Korvan now records to this database.") +
                   (besides.isEmpty() ? QString() : QStringLiteral("\n\n") + besides),
               QStringLiteral("Database connection"), MsgIcon::Information, MsgButtons::Ok, this);
}

// ---------------------------------------------------------------------------------------
// Showing and closing

void DatabaseDialog::openDialog() {
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void DatabaseDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { onShown(); });
}

void DatabaseDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { onClosed(); });
}

void DatabaseDialog::onShown() {
    connectionEditor_->setConnection(records_.connectionString());
    // The filters as new without a load for each: the one below reads everything.
    projectFilter_->setKeyValue(-1);
    activityFilter_->setKeyValue(-1);
    people_->reset();
    for (DatePicker* picker : {fromPicker_, toPicker_}) {
        const QSignalBlocker quiet(picker);
        picker->setDate(platform::today());
        picker->setChecked(false);
    }
    {
        const QSignalBlocker quiet(textFilter_);
        textFilter_->clear();
    }
    updateFilterAndTotal();
}

void DatabaseDialog::onClosed() {
    if (corrector_)
        corrector_->closeEditor();
    browser_.close();
}

// ---------------------------------------------------------------------------------------
// Recorded times

void DatabaseDialog::updateFilterAndTotal() {
    ensurePolished();
    BusyCursor busy;
    RecordBrowser::Filter filter;
    if (fromPicker_->checked())
        filter.from = fromPicker_->date();
    if (toPicker_->checked())
        filter.to = toPicker_->date();
    const QVariant project = projectFilter_->keyValue();
    if (!project.isNull())
        filter.project = project.toLongLong();
    const QVariant activity = activityFilter_->keyValue();
    if (!activity.isNull())
        filter.activity = activity.toLongLong();
    textTimer_->stop();
    filter.text = textFilter_->text();
    // The grid, the total and the chart from one load, or none of them: also when another
    // page shows, where the chart does not show either (a cleared or another database).
    std::optional<double> sum;
    std::vector<RecordBrowser::PersonTotal> perPerson;
    try {
        // A first load, or again after one that failed: the lists as well.
        const platform::ConnectionKept once(records_.connection());
        if (!browser_.records().active()) {
            administration_->load();
            browser_.projects().open();
            browser_.activities().open();
            people_->load(records_);
        }
        filter.person = people_->person();
        const bool changed = browser_.setFilter(filter);
        browser_.records().open();
        if (changed && recordsModel_->rowCount() > 0)
            recordsGrid_->setCurrentIndex(recordsModel_->index(0, 0));
        sum = browser_.total();
        if (people_->everyone())
            perPerson = browser_.totalsByPerson();
        if (chart_ && chartButton_->isChecked())
            chart_->refresh();
    } catch (const Error& e) {
        showLoadFailure(e.message());
        return;
    }
    loadNote_->hide();
    recordsGrid_->setColumnHidden(recordsModel_->columnCount() - 1, !people_->everyone());
    people_->showTotals(perPerson);
    totalLabel_->setText(sum ? hoursText(*sum) + QStringLiteral(" h") : QStringLiteral("0 h"));
}

void DatabaseDialog::showLoadFailure(const QString& reason) {
    browser_.records().close();
    totalLabel_->clear();
    people_->showTotals({});
    if (chart_)
        chart_->clear();
    loadNote_->setText(QStringLiteral("The records could not be read: ") + reason);
    loadNote_->show();
}

// Made when first asked for: most visits to the dialog never look at it.
void DatabaseDialog::showChart(bool on) {
    if (on && !chart_) {
        chart_ = new RecordChart(browser_);
        recordsSplit_->addWidget(chart_);
        recordsSplit_->setStretchFactor(0, 1);
        recordsSplit_->setStretchFactor(1, 2);
        shareChart_ = true;
    }
    if (!chart_)
        return;
    chart_->setVisible(on);
    if (!on)
        return;
    // Hidden, it was not drawn again; nothing to draw when the last load failed.
    if (browser_.records().active())
        chart_->refresh();
    else
        chart_->clear();
    if (shareChart_) {
        // The first time, most of the height to the chart: its labels need the room more
        // than the grid, which scrolls.
        shareChart_ = false;
        QTimer::singleShot(0, this, [this] {
            const int total = recordsSplit_->height();
            recordsSplit_->setSizes({total / 3, total - total / 3});
        });
    }
    // Room for the chart below the grid, as far as the screen allows.
    const int wanted = chart_->minimumSizeHint().height() + 80;
    if (recordsGrid_->height() >= wanted * 2)
        return;
    resize(platform::sizeOnScreen(this, QSize(width(), height() + wanted)));
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (frameGeometry().bottom() > available.bottom())
            move(x(),
                 std::max(available.top(), y() - (frameGeometry().bottom() - available.bottom())));
    }
}

void DatabaseDialog::exportClicked() {
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
    // Written whole or not at all, as it is read: a batch of rows at a time goes to a
    // temporary file that replaces the old one only once complete, so a failed export leaves
    // no partial file behind and a million records never sit in memory at once. Created as
    // any file of the user's; an existing file keeps its mode (a private 0600 file is not
    // opened up).
    AtomicFileWriter out(file, kModeAsUsual);
    QString error;
    if (!out.open(&error))
        throw Error(error);
    AtomicFileDevice device(out);
    // A failed write skips the rest; commit() tells why.
    CsvExport::write(device, browser_);
    const int rows = browser_.records().recordCount();
    if (rows > 0)
        recordsGrid_->setCurrentIndex(recordsModel_->index(rows - 1, 0));
    if (!out.commit(&error))
        throw Error(error);
    messageBox(QStringLiteral("Selected data exported successfully."), QStringLiteral("Export"),
               MsgIcon::Information, MsgButtons::Ok, this);
}

void DatabaseDialog::clearClicked() {
    if (messageBox(
            QStringLiteral("All data in the database will be permanently deleted. \n\r\n\r"
                           "This operation cannot be undone. \n\r\n\rDo you wish to continue ?"),
            QStringLiteral("Clear database"), MsgIcon::Warning, MsgButtons::YesNoDefaultNo,
            this) != MsgAnswer::Yes)
        return;
    BusyCursor busy;
    onClosed();
    try {
        records_.clear();
    } catch (const Error&) {
        // The database as it is now, also when nothing was emptied.
        onShown();
        throw;
    }
    onShown();
    messageBox(QStringLiteral("Database cleared successfuly."), QStringLiteral("Clear database"),
               MsgIcon::Information, MsgButtons::Ok, this);
}

// Enter belongs to the text filter it is typed in, not to a default button of the dialog.
bool DatabaseDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == textFilter_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded([this] { updateFilterAndTotal(); });
            return true;
        }
    }
    return Deferred::eventFilter(watched, event);
}
