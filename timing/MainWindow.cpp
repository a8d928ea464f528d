#include "timing/MainWindow.h"

#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "platform/Centre.h"
#include "platform/Error.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "timing/DescriptionForm.h"
#include "timing/EditDialog.h"
#include "timing/TaskGridModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

using platform::guarded;
using platform::messageBox;
using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {
template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* button(const char* name, const QString& caption) {
    return named(new QPushButton(caption), name);
}

QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

bool parseInteger(const QString& text, qint32& value) {
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = parsed;
    return ok;
}

TForm1::TForm1(TaskList& tasks, QWidget* parent) : QWidget(parent), Tasks(tasks) {
    platform::initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvan 1.5"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    resize(352, 399);
    setMinimumSize(352, 378);
    buildControls();
    buildMenu();

    // The tray icon as the window design configures it.
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setCycleInterval(0);
    TrayIcon1->setHint(QStringLiteral("Korvan"));
    // The idle stopwatch, or the running one (a green sector and a red hand) while a task
    // runs.
    for (int size : {16, 22, 24, 32, 48, 64}) {
        idleImage_.addFile(QStringLiteral(":/icons/korvan-idle-%1.png").arg(size));
        runningImage_.addFile(QStringLiteral(":/icons/korvan-running-%1.png").arg(size));
    }
    TrayIcon1->setIcon(idleImage_);
    TrayIcon1->setIconVisible(true);
    TrayIcon1->setIconIndex(0);
    TrayIcon1->setPopupMenu(PopupMenu1);
    TrayIcon1->MinimizeToTray = true;
    TrayIcon1->OnDblClick = [this](QObject*) { guarded([this] { TrayIcon1DblClick(); }); };
    TrayIcon1->OnBalloonHintClick = [this](QObject*) {
        guarded([this] { TrayIcon1BalloonClick(); });
    };
    TrayIcon1->Loaded();

    followTasks();
    guarded([this] { FormCreate(); });
    // With no notification area a few seconds after start, nothing of Korvan would be on
    // screen: the main window shows instead (the icon still comes if a tray appears later).
    trayCheck_ = new QTimer(this);
    trayCheck_->setObjectName(QStringLiteral("TrayCheckTimer"));
    trayCheck_->setSingleShot(true);
    trayCheck_->setInterval(5000);
    connect(trayCheck_, &QTimer::timeout, this, [this] {
        if (!TrayIcon1->IconShown())
            TrayIcon1->RestoreMainWindow();
    });
    trayCheck_->start();
    // An item host may show the exported menu before it ever asks for a refresh.
    if (TrayIcon1->ItemHost())
        RefreshMenu();
}

TForm1::~TForm1() {
    guarded([this] { FormDestroy(); });
    Tasks.disconnect(this);
}

// The grid, the tray menu's entries and the icon follow the task list.
void TForm1::followTasks() {
    connect(&Tasks, &TaskList::added, this, [this](TProject* task) { addEntry(task); });
    connect(&Tasks, &TaskList::aboutToRemove, this, [this](TProject* task) {
        const auto it = menuEntries_.find(task);
        if (it == menuEntries_.end())
            return;
        PopupMenu1->removeAction(it->second);
        delete it->second;
        menuEntries_.erase(it);
    });
    connect(&Tasks, &TaskList::started, this, [this](TProject* task) {
        refreshEntry(task);
        setTrayHint((QStringLiteral("Active task: ") + task->Name).left(255));
        runningChanged();
        requestDescriptionFor(task);
    });
    connect(&Tasks, &TaskList::stopped, this, [this](TProject* task) {
        refreshEntry(task);
        setTrayHint(QStringLiteral("No active project"));
        runningChanged();
    });
    connect(&Tasks, &TaskList::changed, this, [this](TProject* task) { refreshEntry(task); });
    connect(&Tasks, &TaskList::runningChanged, this, [this] { runningChanged(); });
}

namespace {
const char kCaptionProperty[] = "korvanCaption";
} // namespace

// A new task's entry goes to the top of the menu, as the menu has always done; sorting
// moves it into place.
void TForm1::addEntry(TProject* task) {
    auto* entry = new QAction(PopupMenu1);
    entry->setCheckable(true);
    entry->setData(kTaskMenuTag);
    menuEntries_[task] = entry;
    refreshEntry(task);
    const quint64 id = task->Id();
    connect(entry, &QAction::triggered, this, [this, id] {
        guarded([this, id] {
            if (TProject* chosen = Tasks.byId(id)) {
                Tasks.choose(chosen);
                RefreshGrid();
            }
        });
    });
    const QList<QAction*> items = PopupMenu1->actions();
    PopupMenu1->insertAction(items.isEmpty() ? nullptr : items.first(), entry);
}

void TForm1::refreshEntry(const TProject* task) {
    QAction* entry = menuEntry(task);
    if (!entry)
        return;
    const QString caption = task->EntryCaption();
    entry->setProperty(kCaptionProperty, caption);
    QString shown = caption;
    entry->setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
    entry->setChecked(task->Running);
}

QAction* TForm1::menuEntry(const TProject* task) const {
    const auto it = menuEntries_.find(task);
    return it == menuEntries_.end() ? nullptr : it->second;
}

QString TForm1::entryCaption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

void TForm1::buildControls() {
    StringGrid1 = named(new QTableView, "StringGrid1");
    gridModel_ = new TaskGridModel(Tasks, this);
    StringGrid1->setModel(gridModel_);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setShowGrid(true);
    // A double-click anywhere in the grid, also below the last row, edits the selected task.
    StringGrid1->viewport()->installEventFilter(this);

    Button2 = button("Button2", QStringLiteral("&Add"));
    Button3 = button("Button3", QStringLiteral("&Edit"));
    Button4 = button("Button4", QStringLiteral("&Remove"));
    Button5 = button("Button5", QStringLiteral("&Start"));
    Button6 = button("Button6", QStringLiteral("S&top"));
    Button7 = button("Button7", QStringLiteral("&Reset"));
    Button8 = button("Button8", QStringLiteral("Reset A&ll"));
    Button9 = button("Button9", QStringLiteral("Sa&ve to DB"));
    Button10 = button("Button10", QStringLiteral("&Database"));
    Button1 = button("Button1", QStringLiteral("&Close"));
    Button1->setDefault(true);

    const std::pair<QPushButton*, void (TForm1::*)()> handlers[] = {
        {Button1, &TForm1::Button1Click}, {Button2, &TForm1::Button2Click},
        {Button3, &TForm1::Button3Click}, {Button4, &TForm1::Button4Click},
        {Button5, &TForm1::Button5Click}, {Button6, &TForm1::Button6Click},
        {Button7, &TForm1::Button7Click}, {Button8, &TForm1::Button8Click},
        {Button9, &TForm1::Button9Click}, {Button10, &TForm1::Button10Click},
    };
    for (const auto& [b, handler] : handlers) {
        const auto h = handler;
        connect(b, &QPushButton::clicked, this,
                [this, h] { guarded([this, h] { (this->*h)(); }); });
    }

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {Button2, Button3, Button4, Button5, Button6, Button7, Button8})
        buttons->addWidget(b);
    buttons->addWidget(separator());
    buttons->addWidget(Button9);
    buttons->addWidget(Button10);
    buttons->addWidget(separator());
    buttons->addStretch();
    buttons->addWidget(Button1);

    CheckBox1 = named(new QCheckBox(QStringLiteral("Automatically save time every")), "CheckBox1");
    Edit2 = named(new QLineEdit(QStringLiteral("5")), "Edit2");
    StaticText1 = named(new QLabel(QStringLiteral("minute(s)")), "StaticText1");
    CheckBox2 = named(new QCheckBox(QStringLiteral("Display popup reminder every")), "CheckBox2");
    Edit3 = named(new QLineEdit(QStringLiteral("15")), "Edit3");
    StaticText2 = named(new QLabel(QStringLiteral("minute(s)")), "StaticText2");
    CheckBox3 =
        named(new QCheckBox(QStringLiteral("Automatically start application when OS starts")),
              "CheckBox3");
    CheckBox4 = named(new QCheckBox(QStringLiteral("Request for description when switching task")),
                      "CheckBox4");
    for (QLineEdit* edit : {Edit2, Edit3}) {
        edit->setMaximumWidth(40);
        edit->installEventFilter(this);
    }
    connect(CheckBox1, &QCheckBox::clicked, this,
            [this] { guarded([this] { CheckBox1Click(); }); });
    connect(CheckBox2, &QCheckBox::clicked, this,
            [this] { guarded([this] { CheckBox2Click(); }); });
    connect(CheckBox3, &QCheckBox::clicked, this,
            [this] { guarded([this] { CheckBox3Click(); }); });
    connect(CheckBox4, &QCheckBox::clicked, this,
            [this] { guarded([this] { CheckBox4Click(); }); });

    auto* options = new QGridLayout;
    options->addWidget(CheckBox1, 0, 0);
    options->addWidget(Edit2, 0, 1);
    options->addWidget(StaticText1, 0, 2);
    options->addWidget(CheckBox2, 1, 0);
    options->addWidget(Edit3, 1, 1);
    options->addWidget(StaticText2, 1, 2);
    options->addWidget(CheckBox3, 2, 0, 1, 3);
    options->addWidget(CheckBox4, 3, 0, 1, 3);

    auto* top = new QHBoxLayout;
    top->addWidget(StringGrid1, 1);
    top->addLayout(buttons);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(top, 1);
    whole->addLayout(options);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    Timer2 = named(new QTimer(this), "Timer2");
    Timer3 = named(new QTimer(this), "Timer3");
    connect(Timer1, &QTimer::timeout, this, [this] { guarded([this] { Timer1Timer(); }); });
    connect(Timer2, &QTimer::timeout, this, [this] { guarded([this] { Timer2Timer(); }); });
    connect(Timer3, &QTimer::timeout, this, [this] { guarded([this] { Timer3Timer(); }); });
}

void TForm1::buildMenu() {
    PopupMenu1 = named(new TPopupMenu(this), "PopupMenu1");
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    About1 = PopupMenu1->addAction(QStringLiteral("&About"));
    About1->setObjectName(QStringLiteral("About1"));
    Add1 = PopupMenu1->addAction(QStringLiteral("&Open"));
    Add1->setObjectName(QStringLiteral("Add1"));
    PopupMenu1->setDefaultAction(Add1);
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Exit1 = PopupMenu1->addAction(QStringLiteral("E&xit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    connect(About1, &QAction::triggered, this, [this] { guarded([this] { About1Click(); }); });
    connect(Add1, &QAction::triggered, this, [this] { guarded([this] { Add1Click(); }); });
    connect(Exit1, &QAction::triggered, this, [this] { guarded([this] { Exit1Click(); }); });
    connect(PopupMenu1, &QMenu::aboutToShow, this,
            [this] { guarded([this] { PopupMenu1Popup(); }); });
}

// ---------------------------------------------------------------------------------------
// Life cycle

void TForm1::FormCreate() {
    Tasks.clear();
    StringGrid1->setColumnWidth(1, 70);
    StringGrid1->setColumnWidth(2, 50);
    StringGrid1->setColumnWidth(0, qMax(40, StringGrid1->width() - 127));
    LoadSettings();
    setUpAutoSaveControls();
    setUpReminderControls();
    CheckBox3->setChecked(AutoStart);
    CheckBox4->setChecked(RequestDescription);
    RefreshGrid();
}

void TForm1::FormDestroy() {
    SaveSettings();
    Tasks.clear();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TForm1::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormHide(); });
}

void TForm1::FormShow() {
    if (firstShow_) {
        // The grid has its real width only once the window is laid out.
        firstShow_ = false;
        platform::centreOnScreen(this);
        StringGrid1->setColumnWidth(0, qMax(40, StringGrid1->viewport()->width() - 127 + 4));
    }
    RefreshGrid();
    Timer1->start();
}

void TForm1::FormHide() {
    Timer1->stop();
    captureSettings();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program; the window itself stays until then.
    event->ignore();
    guarded([this] {
        if (isVisible() &&
            messageBox(QStringLiteral("Do you really want to shutdown this application ?"),
                       QStringLiteral("Confirm"), MsgIcon::Question, MsgButtons::YesNo,
                       this) != MsgAnswer::Yes)
            return;
        QCoreApplication::exit(0);
    });
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
            focused->click();
        else
            Button1->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------
// Grid and menu

void TForm1::RefreshGrid() {
    SetTaskButtons(!Tasks.empty());
    // The list is nearly always in order already; the grid ticks every second.
    Tasks.sort([](const TProject* a, const TProject* b) { return CompareByName(a, b) < 0; });
    gridModel_->refresh();
}

void TForm1::RefreshMenu() {
    for (const TProject* task : Tasks)
        refreshEntry(task);
    SortMenuEntries(PopupMenu1);
}

void TForm1::SortMenuEntries(TPopupMenu* menu) {
    const QList<QAction*> items = menu->actions();
    int n = 0;
    while (n < items.size() && items.at(n)->data().toInt() == kTaskMenuTag)
        ++n;
    if (n < 2)
        return;
    QList<QAction*> current = items.mid(0, n);
    QList<QString> captions;
    captions.reserve(n);
    for (QAction* a : current)
        captions.append(entryCaption(a));
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return CompareNames(captions.at(a), captions.at(b)) < 0;
    });
    std::vector<int> rank(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        rank[static_cast<size_t>(order[static_cast<size_t>(r)])] = r;

    // Keep the longest run of entries already in order where they are and move only the
    // others: a new entry at the top costs one move, not a rebuild of the whole menu.
    std::vector<int> tails, tailIndex, previous(static_cast<size_t>(n), -1);
    for (int i = 0; i < n; ++i) {
        const int r = rank[static_cast<size_t>(i)];
        const auto pos = std::lower_bound(tails.begin(), tails.end(), r) - tails.begin();
        if (pos > 0)
            previous[static_cast<size_t>(i)] = tailIndex[static_cast<size_t>(pos - 1)];
        if (pos == static_cast<long>(tails.size())) {
            tails.push_back(r);
            tailIndex.push_back(i);
        } else {
            tails[static_cast<size_t>(pos)] = r;
            tailIndex[static_cast<size_t>(pos)] = i;
        }
    }
    if (static_cast<int>(tails.size()) == n)
        return;
    std::vector<bool> staying(static_cast<size_t>(n), false);
    for (int i = tailIndex.empty() ? -1 : tailIndex.back(); i >= 0;
         i = previous[static_cast<size_t>(i)])
        staying[static_cast<size_t>(i)] = true;
    QAction* after = items.at(n); // the first fixed entry
    for (int r = n - 1; r >= 0; --r) {
        const int i = order[static_cast<size_t>(r)];
        QAction* action = current.at(i);
        if (!staying[static_cast<size_t>(i)]) {
            menu->removeAction(action);
            menu->insertAction(after, action);
        }
        after = action;
    }
}

void TForm1::StopAll() {
    Tasks.stopAll();
}

void TForm1::SetTaskButtons(bool enabled) {
    for (QPushButton* b : {Button3, Button4, Button5, Button6, Button7, Button8})
        b->setEnabled(enabled);
}

TProject* TForm1::selectedTask() const {
    const int row = StringGrid1->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(Tasks.size()))
        return nullptr;
    return Tasks[static_cast<size_t>(row)];
}

void TForm1::selectTaskRow(int index) {
    if (index < 0 || index >= gridModel_->rowCount())
        return;
    StringGrid1->setCurrentIndex(gridModel_->index(index, 0));
}

void TForm1::setTrayHint(const QString& hint) {
    TrayIcon1->setHint(hint);
}

void TForm1::requestDescriptionFor(TProject* task) {
    if (RequestDescription && descriptionPrompt_)
        descriptionPrompt_->Prompt(task);
}

QString TForm1::runningTaskName() const {
    for (const TProject* task : Tasks)
        if (task->Running)
            return task->Name;
    return {};
}

void TForm1::runningChanged() {
    const bool running =
        std::any_of(Tasks.begin(), Tasks.end(), [](const TProject* task) { return task->Running; });
    if (running != trayShowsRunning_) {
        trayShowsRunning_ = running;
        TrayIcon1->setIcon(running ? runningImage_ : idleImage_);
    }
    // An item host shows the exported menu without asking first: keep it current.
    if (TrayIcon1->ItemHost())
        RefreshMenu();
}

void TForm1::PopupMenu1Popup() {
    RefreshMenu();
}

// ---------------------------------------------------------------------------------------
// Commands

void TForm1::Timer1Timer() {
    RefreshGrid();
}

void TForm1::Timer2Timer() {
    SaveSettings();
}

void TForm1::Timer3Timer() {
    QString title = QStringLiteral("No activity");
    for (TProject* task : Tasks) {
        if (task->ActiveMark() == QLatin1String("A")) {
            title = task->Name.left(255);
            break;
        }
    }
    TrayIcon1->ShowBalloon(title,
                           QStringLiteral("Are you still working on this task ?\r"
                                          "Click here to change active task."),
                           bkInfo, 10);
}

void TForm1::Button1Click() {
    TrayIcon1->HideMainWindow();
}

void TForm1::Button2Click() {
    if (!editDialog_)
        return;
    editDialog_->NewTask();
    TProject* created = editDialog_->EditedTask;
    if (!created)
        return;
    // The dialog may have left the list unsorted (an invalid time); sort before selecting.
    RefreshGrid();
    const auto it = std::find(Tasks.begin(), Tasks.end(), created);
    if (it != Tasks.end())
        selectTaskRow(static_cast<int>(it - Tasks.begin()));
}

void TForm1::Button3Click() {
    if (editDialog_ && selectedTask())
        editDialog_->EditTask(selectedTask());
}

void TForm1::StringGrid1DblClick() {
    if (!Tasks.empty())
        Button3Click();
}

void TForm1::Button4Click() {
    TProject* task = selectedTask();
    if (!task)
        return;
    if (messageBox(QStringLiteral("Are you sure to remove selected task ?"),
                   QStringLiteral("Remove task"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    Tasks.remove(task);
    RefreshGrid();
    RefreshMenu();
}

void TForm1::Button5Click() {
    TProject* task = selectedTask();
    StopAll();
    if (task)
        task->Start();
    RefreshGrid();
}

void TForm1::Button6Click() {
    StopAll();
    RefreshGrid();
}

void TForm1::Button7Click() {
    TProject* task = selectedTask();
    if (!task)
        return;
    if (messageBox(
            QStringLiteral(
                "Are you sure to reset recorded time and description of the selected task ?"),
            QStringLiteral("Reset"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
            this) != MsgAnswer::Yes)
        return;
    task->Reset();
    RefreshGrid();
}

void TForm1::Button8Click() {
    if (messageBox(QStringLiteral("Are you sure to reset all recorded times and all "
                                  "descriptions of all tasks ?"),
                   QStringLiteral("Reset All"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    for (TProject* task : Tasks)
        task->Reset();
    RefreshGrid();
    RefreshMenu();
}

void TForm1::Button9Click() {
    if (openSaveToDb)
        openSaveToDb();
}

void TForm1::Button10Click() {
    if (openDatabase)
        openDatabase();
}

void TForm1::TrayIcon1DblClick() {
    TrayIcon1->RestoreMainWindow();
}

// The reminder invites a click to change the active task: open the menu for it.
// An item host cannot open the program's menu on request: there the main window opens.
void TForm1::TrayIcon1BalloonClick() {
    if (TrayIcon1->ItemHost())
        TrayIcon1->RestoreMainWindow();
    else
        TrayIcon1->OpenTrayMenu();
}

void TForm1::Add1Click() {
    TrayIcon1->RestoreMainWindow();
}

void TForm1::About1Click() {
    if (openAbout)
        openAbout();
}

void TForm1::Exit1Click() {
    QCoreApplication::exit(0);
}

// ---------------------------------------------------------------------------------------
// Options

namespace {
qint32 minutesOf(QLineEdit* edit) {
    qint32 value = 0;
    if (!parseInteger(edit->text(), value))
        throw platform::Error(QLatin1Char('\'') + edit->text() +
                              QStringLiteral("' is not a valid integer value"));
    return value;
}

// A period in minutes as a timer interval; out-of-range values are clamped so that a
// large number never wraps into a short period.
int periodMs(qint32 minutes) {
    const qint64 ms = static_cast<qint64>(minutes) * 60000;
    return static_cast<int>(qBound<qint64>(qint64(0), ms, qint64(INT_MAX)));
}

// Runs the timer every so many minutes (0 or less means off: a zero period would fire
// without pause). A countdown already running with that period goes
// on: only a new period starts it again, so showing and hiding the window never postpones
// the auto-save or the reminder.
void runEvery(QTimer* timer, qint32 minutes) {
    if (minutes <= 0) {
        timer->stop();
        return;
    }
    if (timer->isActive() && timer->interval() == periodMs(minutes))
        return;
    timer->start(periodMs(minutes));
}

bool refuseNonInteger(QLineEdit* edit, QWidget* parent) {
    qint32 value = 0;
    if (parseInteger(edit->text(), value))
        return true;
    messageBox(QStringLiteral("Invalid integer value."), QStringLiteral("Wrong input"),
               MsgIcon::Warning, MsgButtons::Ok, parent);
    edit->setFocus();
    return false;
}
} // namespace

void TForm1::setUpAutoSaveControls() {
    if (AutoSaveMinutes <= 0) {
        CheckBox1->setChecked(false);
        Edit2->setEnabled(false);
        Edit2->setText(QStringLiteral("3"));
    } else {
        Edit2->setText(QString::number(AutoSaveMinutes));
        CheckBox1->setChecked(true);
        CheckBox1Click();
        runEvery(Timer2, AutoSaveMinutes);
    }
}

void TForm1::setUpReminderControls() {
    if (ReminderMinutes <= 0) {
        Timer3->stop();
        CheckBox2->setChecked(false);
        Edit3->setEnabled(false);
        Edit3->setText(QStringLiteral("15"));
    } else {
        Edit3->setText(QString::number(ReminderMinutes));
        CheckBox2->setChecked(true);
        CheckBox2Click();
        runEvery(Timer3, ReminderMinutes);
    }
}

void TForm1::CheckBox1Click() {
    Edit2->setEnabled(CheckBox1->isChecked());
    if (CheckBox1->isChecked())
        runEvery(Timer2, minutesOf(Edit2));
    else
        Timer2->stop();
}

void TForm1::CheckBox2Click() {
    Edit3->setEnabled(CheckBox2->isChecked());
    if (CheckBox2->isChecked())
        runEvery(Timer3, minutesOf(Edit3));
    else
        Timer3->stop();
}

void TForm1::CheckBox3Click() {
    AutoStart = CheckBox3->isChecked();
}

void TForm1::CheckBox4Click() {
    RequestDescription = CheckBox4->isChecked();
}

bool TForm1::Edit2Exit() {
    return refuseNonInteger(Edit2, this);
}

bool TForm1::Edit3Exit() {
    qint32 value = 0;
    if (!parseInteger(Edit3->text(), value))
        return refuseNonInteger(Edit3, this);
    ReminderMinutes = value;
    if (Timer3->isActive())
        runEvery(Timer3, value);
    else if (Timer3->interval() != periodMs(value))
        Timer3->setInterval(periodMs(value));
    return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StringGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        guarded([this] { StringGrid1DblClick(); });
        return true;
    }
    // The minute boxes are checked when the focus moves inside this window (Tab, a click),
    // not when the user turns to another window or the check's own message takes the focus;
    // one message at a time.
    if (event->type() == QEvent::FocusOut && !checkingMinutes_) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QWidget::eventFilter(watched, event);
        QScopedValueRollback<bool> checking(checkingMinutes_, true);
        if (watched == Edit2)
            guarded([this] { Edit2Exit(); });
        else if (watched == Edit3)
            guarded([this] { Edit3Exit(); });
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::captureSettings() {
    if (CheckBox1->isChecked()) {
        AutoSaveMinutes = minutesOf(Edit2);
        runEvery(Timer2, AutoSaveMinutes);
    } else {
        AutoSaveMinutes = 0;
        Timer2->stop();
    }
    if (CheckBox2->isChecked()) {
        ReminderMinutes = minutesOf(Edit3);
        runEvery(Timer3, ReminderMinutes);
    } else {
        ReminderMinutes = 0;
        Timer3->stop();
    }
    AutoStart = CheckBox3->isChecked();
}
