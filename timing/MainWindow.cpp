#include "timing/MainWindow.h"

#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "platform/Centre.h"
#include "platform/Display.h"
#include "platform/Error.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "platform/SizedIcon.h"
#include "timing/Countdown.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/TaskGridModel.h"
#include "widgets/Accessible.h"
#include "widgets/Named.h"

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
#include <QScreen>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

using platform::guarded;
using platform::messageBox;
using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {
const QList<int> kIconSizes = {16, 22, 24, 32, 48, 64};

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

MainWindow::MainWindow(TaskStore& store, QWidget* parent)
    : Deferred(parent), store_(store), tasks_(store.tasks()), settings_(store.settings()) {
    platform::initResources();
    announceAsWindow(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvan 1.5"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildMenu();

    // The tray icon as the window design configures it; first, so that it is on its way
    // to the notification area while the window's controls are made.
    trayIcon_ = new TrayIcon(this);
    trayIcon_->setObjectName(QStringLiteral("TrayIcon1"));
    trayIcon_->setCycleInterval(0);
    trayIcon_->setHint(QStringLiteral("Korvan"));
    // The idle stopwatch, or the running one (a green sector and a red hand) while a task
    // runs; each size is read when it is first drawn.
    idleImage_ = platform::sizedIcon(QStringLiteral(":/icons/korvan-idle-%1.png"), kIconSizes);
    runningImage_ =
        platform::sizedIcon(QStringLiteral(":/icons/korvan-running-%1.png"), kIconSizes);
    trayIcon_->setIcon(idleImage_);
    trayIcon_->setIconVisible(true);
    trayIcon_->setIconIndex(0);
    trayIcon_->setPopupMenu(trayMenu_);
    trayIcon_->MinimizeToTray = true;
    trayIcon_->OnDblClick = [this](QObject*) { guarded([this] { trayDoubleClicked(); }); };
    trayIcon_->OnBalloonHintClick = [this](QObject*) { guarded([this] { balloonClicked(); }); };
    trayIcon_->OnTrayChanged = [this](QObject*) { guarded([this] { trayChanged(); }); };
    trayIcon_->Loaded();
    // The program's icon for its windows, now that the tray icon is on its way: set before,
    // it was read and converted for the tray icon's own window first.
    QApplication::setWindowIcon(platform::sizedIcon(QStringLiteral(":/icons/korvan-%1.png"), {64}));

    // The grid, the buttons and the options are made when the window is first polished,
    // just before it first shows: most starts never open it, and making them (fonts, style)
    // would slow the way to the icon and hold memory for nothing.
    gridModel_ = new TaskGridModel(tasks_, this);
    buildTimers();
    followTasks();
    guarded([this] { setUp(); });
    // With no notification area a few seconds after start, or a few seconds after the area
    // went, nothing of Korvan would be on screen: the main window shows instead, and goes
    // back when an area takes the icon (see trayChanged()).
    trayCheck_ = new QTimer(this);
    trayCheck_->setObjectName(QStringLiteral("TrayCheckTimer"));
    trayCheck_->setSingleShot(true);
    trayCheck_->setInterval(5000);
    connect(trayCheck_, &QTimer::timeout, this, [this] {
        if (!trayIcon_->IconShown())
            trayIcon_->BringOutMainWindow();
    });
    trayCheck_->start();
    // An item host may show the exported menu before it ever asks for a refresh.
    if (trayIcon_->ItemHost())
        RefreshMenu();
}

MainWindow::~MainWindow() {
    guarded([this] { tearDown(); });
    tasks_.disconnect(this);
    for (const auto& [task, entry] : menuEntries_)
        delete entry;
}

// The grid, the tray menu's entries and the icon follow the task list.
void MainWindow::followTasks() {
    connect(&tasks_, &TaskList::added, this, [this](Task* task) { addEntry(task); });
    connect(&tasks_, &TaskList::aboutToRemove, this, [this](Task* task) { removeEntry(task); });
    connect(&tasks_, &TaskList::started, this, [this](Task* task) {
        refreshEntry(task);
        runningChanged();
        requestDescriptionFor(task);
    });
    connect(&tasks_, &TaskList::stopped, this, [this](Task* task) {
        refreshEntry(task);
        runningChanged();
    });
    connect(&tasks_, &TaskList::changed, this, [this](Task* task) {
        refreshEntry(task);
        if (task->running())
            updateTrayHint(); // a new name, or time taken back
    });
    connect(&tasks_, &TaskList::runningChanged, this, [this] { runningChanged(); });
}

namespace {
const char kCaptionProperty[] = "korvanCaption";
// More tasks than this, or than fit on the screen, go into the submenu "&Tasks": a longer
// flat menu is slow to search by eye and soon taller than the screen.
constexpr size_t kMaxTasksAtTop = 30;
} // namespace

// A new task's entry goes to the top of the menu, as the menu has always done; sorting
// moves it into place. With many tasks the menu takes it in when it next opens.
void MainWindow::addEntry(Task* task) {
    if (tasksMenuFilled_)
        renewTasksMenu();
    refreshItemHostSoon();
    if (tasksInSubmenu_ || tasks_.size() > kMaxTasksAtTop)
        return;
    QAction* entry = entryFor(task);
    const QList<QAction*> items = trayMenu_->actions();
    trayMenu_->insertAction(items.isEmpty() ? nullptr : items.first(), entry);
}

void MainWindow::removeEntry(Task* task) {
    const auto it = menuEntries_.find(task);
    if (it == menuEntries_.end())
        return;
    QAction* entry = it->second;
    menuEntries_.erase(it);
    // Taking one entry out of a long submenu is a pass over all of it: the submenu goes
    // once, and a whole list of tasks (clearing, closing) leaves in linear time.
    if (tasksMenuFilled_)
        renewTasksMenu();
    delete entry; // out of every menu that shows it
    refreshItemHostSoon();
}

// An item host shows the exported menu without asking first: once the list has changed
// (a whole list loaded or cleared at once, or one task), the menu follows.
void MainWindow::refreshItemHostSoon() {
    if (itemHostRefreshQueued_ || !trayIcon_ || !trayIcon_->ItemHost())
        return;
    itemHostRefreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        itemHostRefreshQueued_ = false;
        guarded([this] { RefreshMenu(); });
    });
}

// The entries have no parent: a parent with thousands of children would search its list
// for each one that goes.
QAction* MainWindow::entryFor(const Task* task) {
    if (QAction* existing = menuEntry(task))
        return existing;
    auto* entry = new QAction;
    entry->setCheckable(true);
    entry->setData(kTaskMenuTag);
    menuEntries_[task] = entry;
    refreshEntry(task);
    const quint64 id = task->Id();
    connect(entry, &QAction::triggered, this, [this, id] {
        guarded([this, id] {
            if (Task* chosen = tasks_.byId(id)) {
                tasks_.choose(chosen);
                RefreshGrid();
            }
        });
    });
    return entry;
}

void MainWindow::refreshEntry(const Task* task) {
    QAction* entry = menuEntry(task);
    if (!entry)
        return;
    const QString caption = task->EntryCaption();
    entry->setProperty(kCaptionProperty, caption);
    // A very long name is cut short in the menu, so that the time and the menu itself stay
    // on the screen; the grid and the dialogs show it whole.
    constexpr int kLongestName = 60;
    QString shown = caption;
    if (task->name().size() > kLongestName)
        shown =
            task->name().left(kLongestName - 1) + QChar(0x2026) + caption.mid(task->name().size());
    entry->setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
    entry->setChecked(task->running());
}

void MainWindow::showFromTray() {
    trayIcon_->RestoreMainWindow();
}

void MainWindow::hideToTray() {
    trayIcon_->HideMainWindow();
}

void MainWindow::setTrayMenuEnabled(bool enabled) {
    trayMenu_->AutoPopup = enabled;
}

void MainWindow::setRequestDescription(bool request) {
    settings_.requestDescription = request;
    if (controlsBuilt()) {
        const QSignalBlocker quiet(requestDescriptionBox_);
        requestDescriptionBox_->setChecked(request);
    }
    Q_EMIT optionsChanged();
}

QAction* MainWindow::menuEntry(const Task* task) const {
    const auto it = menuEntries_.find(task);
    return it == menuEntries_.end() ? nullptr : it->second;
}

QString MainWindow::entryCaption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

// Opens at the size its layout asks for: no smaller than the controls need.
void MainWindow::buildControls() {
    taskGrid_ = named(new QTableView, "StringGrid1");
    taskGrid_->setModel(gridModel_);
    taskGrid_->setAccessibleName(QStringLiteral("Tasks"));
    // Tab leaves the grid for the buttons; the arrow keys move between the tasks.
    taskGrid_->setTabKeyNavigation(false);
    taskGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    taskGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    taskGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    taskGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    taskGrid_->verticalHeader()->hide();
    taskGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    taskGrid_->verticalHeader()->setDefaultSectionSize(20);
    taskGrid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The names take the width the times leave them, also when the window grows; a long
    // name ends in an ellipsis on its one line, whole in its tooltip.
    taskGrid_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    taskGrid_->setWordWrap(false);
    taskGrid_->setTextElideMode(Qt::ElideRight);
    taskGrid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    taskGrid_->horizontalHeader()->setHighlightSections(false);
    taskGrid_->setShowGrid(true);
    // A double-click anywhere in the grid, also below the last row, edits the selected task.
    taskGrid_->viewport()->installEventFilter(this);

    addButton_ = button("Button2", QStringLiteral("&Add"));
    editButton_ = button("Button3", QStringLiteral("&Edit"));
    removeButton_ = button("Button4", QStringLiteral("Re&move"));
    startButton_ = button("Button5", QStringLiteral("&Start"));
    stopButton_ = button("Button6", QStringLiteral("S&top"));
    resetButton_ = button("Button7", QStringLiteral("&Reset"));
    resetAllButton_ = button("Button8", QStringLiteral("Reset A&ll"));
    bookButton_ = button("Button9", QStringLiteral("Sa&ve to DB"));
    databaseButton_ = button("Button10", QStringLiteral("&Database"));
    closeButton_ = button("Button1", QStringLiteral("&Close"));
    closeButton_->setDefault(true);

    onClicks(this, {{closeButton_, &MainWindow::closeClicked},
                    {addButton_, &MainWindow::addClicked},
                    {editButton_, &MainWindow::editClicked},
                    {removeButton_, &MainWindow::removeClicked},
                    {startButton_, &MainWindow::startClicked},
                    {stopButton_, &MainWindow::stopClicked},
                    {resetButton_, &MainWindow::resetClicked},
                    {resetAllButton_, &MainWindow::resetAllClicked},
                    {bookButton_, &MainWindow::bookClicked},
                    {databaseButton_, &MainWindow::databaseClicked}});

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {addButton_, editButton_, removeButton_, startButton_, stopButton_,
                           resetButton_, resetAllButton_})
        buttons->addWidget(b);
    buttons->addWidget(separator());
    buttons->addWidget(bookButton_);
    buttons->addWidget(databaseButton_);
    buttons->addStretch();

    autoSaveBox_ =
        named(new QCheckBox(QStringLiteral("Automatically save t&ime every")), "CheckBox1");
    autoSaveEdit_ = named(new QLineEdit(QStringLiteral("5")), "Edit2");
    autoSaveUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText1");
    reminderBox_ =
        named(new QCheckBox(QStringLiteral("Display &popup reminder every")), "CheckBox2");
    reminderEdit_ = named(new QLineEdit(QStringLiteral("15")), "Edit3");
    reminderUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText2");
    idleBox_ = named(new QCheckBox(QStringLiteral("Ask about time away from the &keyboard after")),
                     "CheckBox5");
    idleEdit_ = named(new QLineEdit(QStringLiteral("10")), "Edit4");
    idleUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText3");
    autoStartBox_ =
        named(new QCheckBox(QStringLiteral("Automatically start application when &OS starts")),
              "CheckBox3");
    requestDescriptionBox_ = named(
        new QCheckBox(QStringLiteral("Re&quest for description when switching task")), "CheckBox4");
    autoSaveEdit_->setAccessibleName(QStringLiteral("Minutes between automatic saves"));
    reminderEdit_->setAccessibleName(QStringLiteral("Minutes between reminders"));
    idleEdit_->setAccessibleName(QStringLiteral("Minutes away before asking"));
    for (QLineEdit* edit : {autoSaveEdit_, reminderEdit_, idleEdit_}) {
        edit->setMaximumWidth(40);
        edit->installEventFilter(this);
    }
    // However a box is toggled (a click, its key, a screen reader's action); where the
    // window sets a box itself, it blocks these.
    connect(autoSaveBox_, &QCheckBox::toggled, this,
            [this] { guarded([this] { autoSaveToggled(); }); });
    connect(reminderBox_, &QCheckBox::toggled, this,
            [this] { guarded([this] { reminderToggled(); }); });
    connect(idleBox_, &QCheckBox::toggled, this, [this] { guarded([this] { idleToggled(); }); });
    connect(autoStartBox_, &QCheckBox::toggled, this,
            [this] { guarded([this] { autoStartToggled(); }); });
    connect(requestDescriptionBox_, &QCheckBox::toggled, this,
            [this] { guarded([this] { requestDescriptionToggled(); }); });
    // Each box's change is kept with the tasks, after its handler has taken it in.
    for (QCheckBox* box :
         {autoSaveBox_, reminderBox_, idleBox_, autoStartBox_, requestDescriptionBox_})
        connect(box, &QCheckBox::toggled, this, &MainWindow::optionsChanged);
    // So is each number of minutes as it is typed; what is no number waits for the check
    // when the box is left.
    for (QLineEdit* edit : {autoSaveEdit_, reminderEdit_, idleEdit_})
        connect(edit, &QLineEdit::textEdited, this,
                [this, edit] { guarded([this, edit] { minutesTyped(edit); }); });

    auto* options = new QGridLayout;
    options->addWidget(autoSaveBox_, 0, 0);
    options->addWidget(autoSaveEdit_, 0, 1);
    options->addWidget(autoSaveUnit_, 0, 2);
    options->addWidget(reminderBox_, 1, 0);
    options->addWidget(reminderEdit_, 1, 1);
    options->addWidget(reminderUnit_, 1, 2);
    options->addWidget(idleBox_, 2, 0);
    options->addWidget(idleEdit_, 2, 1);
    options->addWidget(idleUnit_, 2, 2);
    options->addWidget(autoStartBox_, 3, 0, 1, 3);
    options->addWidget(requestDescriptionBox_, 4, 0, 1, 3);

    auto* top = new QHBoxLayout;
    top->addWidget(taskGrid_, 1);
    top->addLayout(buttons);
    // Close at the bottom right, beside the options rather than under the other buttons:
    // the window stays low enough for a small screen.
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(options);
    bottom->addStretch();
    bottom->addWidget(closeButton_, 0, Qt::AlignBottom);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(top, 1);
    whole->addLayout(bottom);

    // Tab goes as the eye does: the grid, the buttons beside it, the options, Close.
    QWidget* previous = taskGrid_;
    for (QWidget* next : std::initializer_list<QWidget*>{
             addButton_, editButton_, removeButton_, startButton_, stopButton_, resetButton_,
             resetAllButton_, bookButton_, databaseButton_, autoSaveBox_, autoSaveEdit_,
             reminderBox_, reminderEdit_, idleBox_, idleEdit_, autoStartBox_,
             requestDescriptionBox_, closeButton_}) {
        setTabOrder(previous, next);
        previous = next;
    }

    // The options as they were loaded, or as the user left them.
    taskGrid_->setColumnWidth(1, 70);
    taskGrid_->setColumnWidth(2, 50);
    setUpAutoSaveControls();
    setUpReminderControls();
    setUpIdleControls();
    for (const auto& [box, on] :
         {std::pair{autoStartBox_, settings_.autoStart},
          std::pair{requestDescriptionBox_, settings_.requestDescription}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
    SetTaskButtons(!tasks_.empty());
}

void MainWindow::buildTimers() {
    gridTimer_ = named(new QTimer(this), "Timer1");
    gridTimer_->setInterval(1000);
    autoSaveTimer_ = new Countdown("Timer2", this);
    reminderTimer_ = new Countdown("Timer3", this);
    connect(gridTimer_, &QTimer::timeout, this, [this] { guarded([this] { gridTick(); }); });
    connect(autoSaveTimer_, &Countdown::fired, this,
            [this] { guarded([this] { autoSaveTick(); }); });
    connect(reminderTimer_, &Countdown::fired, this,
            [this] { guarded([this] { reminderTick(); }); });
    // The tray's: the hint at each minute of the running task, and its menu entry every
    // second while the menu is open (a host of its own or the program's).
    hintTimer_ = named(new QTimer(this), "TrayHintTimer");
    hintTimer_->setSingleShot(true);
    connect(hintTimer_, &QTimer::timeout, this, [this] { guarded([this] { updateTrayHint(); }); });
    menuTimer_ = named(new QTimer(this), "MenuTimer");
    menuTimer_->setInterval(1000);
    connect(menuTimer_, &QTimer::timeout, this, [this] {
        guarded([this] {
            if (const Task* running = tasks_.running())
                refreshEntry(running);
        });
    });
}

void MainWindow::buildMenu() {
    trayMenu_ = named(new PopupMenu(this), "PopupMenu1");
    // In the menu only while the tasks are in its submenu.
    tasksEntry_ = new QAction(QStringLiteral("&Tasks"), trayMenu_);
    tasksEntry_->setObjectName(QStringLiteral("Tasks1"));
    renewTasksMenu();
    separator1_ = trayMenu_->addSeparator();
    separator1_->setObjectName(QStringLiteral("N1"));
    aboutEntry_ = trayMenu_->addAction(QStringLiteral("&About"));
    aboutEntry_->setObjectName(QStringLiteral("About1"));
    openEntry_ = trayMenu_->addAction(QStringLiteral("&Open"));
    openEntry_->setObjectName(QStringLiteral("Add1"));
    trayMenu_->setDefaultAction(openEntry_);
    separator2_ = trayMenu_->addSeparator();
    separator2_->setObjectName(QStringLiteral("N2"));
    exitEntry_ = trayMenu_->addAction(QStringLiteral("E&xit"));
    exitEntry_->setObjectName(QStringLiteral("Exit1"));
    connect(aboutEntry_, &QAction::triggered, this,
            [this] { guarded([this] { aboutEntryChosen(); }); });
    connect(openEntry_, &QAction::triggered, this,
            [this] { guarded([this] { addEntryChosen(); }); });
    connect(exitEntry_, &QAction::triggered, this,
            [this] { guarded([this] { exitEntryChosen(); }); });
    connect(trayMenu_, &QMenu::aboutToShow, this,
            [this] { guarded([this] { trayMenuAboutToShow(); }); });
    connect(trayMenu_, &QMenu::aboutToHide, this, [this] { menuTimer_->stop(); });
}

// ---------------------------------------------------------------------------------------
// Life cycle

void MainWindow::setUp() {
    LoadSettings();
    autoSaveTimer_->runEvery(settings_.autoSaveMinutes);
    reminderTimer_->runEvery(settings_.reminderMinutes);
    RefreshGrid();
}

void MainWindow::LoadSettings() {
    // Said once the event loop runs, not while the program is still being made: by then the
    // icon shows and the program answers on the bus while the user reads.
    tell(store_.load());
}

bool MainWindow::SaveSettings() {
    const TaskStore::Saved saved = store_.save();
    tell(saved.messages);
    return saved.written;
}

// A box opened inside the save held the journal back for as long as it was open.
void MainWindow::tell(const TaskStore::Messages& messages) {
    startupMessages_.insert(startupMessages_.end(), messages.begin(), messages.end());
    if (startupMessages_.empty() || messagesQueued_)
        return;
    messagesQueued_ = true;
    QTimer::singleShot(0, this, [this] { showStartupMessages(); });
}

void MainWindow::showStartupMessages() {
    messagesQueued_ = false;
    for (const auto& message : std::exchange(startupMessages_, {}))
        messageBox(message.text, message.caption, MsgIcon::Warning, MsgButtons::Ok);
}

void MainWindow::endSession() {
    store_.endSession();
    // Ended before the start could say it (a logout during start-up): not lost without a word.
    for (const auto& message : std::exchange(startupMessages_, {}))
        qWarning("%s", qPrintable(message.text));
}

void MainWindow::tearDown() {
    endSession();
    SaveSettings();
    tasks_.clear();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { onShown(); });
}

void MainWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { onHidden(); });
}

void MainWindow::onShown() {
    if (firstShow_) {
        firstShow_ = false;
        platform::centreOnScreen(this);
    }
    RefreshGrid();
    gridTimer_->start();
}

void MainWindow::onHidden() {
    gridTimer_->stop();
    captureSettings();
}

void MainWindow::closeEvent(QCloseEvent* event) {
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape sends the window to the tray, as "&Close" does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        closeButton_->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
            focused->click();
        else
            closeButton_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------
// Grid and menu

void MainWindow::RefreshGrid() {
    if (controlsBuilt())
        SetTaskButtons(!tasks_.empty());
    // The list is nearly always in order already; the grid ticks every second.
    tasks_.sort([](const Task* a, const Task* b) { return CompareByName(a, b) < 0; });
    gridModel_->refresh();
}

void MainWindow::RefreshMenu() {
    if (tasksMenuOutdated_)
        renewTasksMenu();
    bool inSubmenu = tasks_.size() > kMaxTasksAtTop;
    if (!inSubmenu) {
        placeTopEntries(true);
        for (const Task* task : tasks_)
            refreshEntry(task);
        SortMenuEntries(trayMenu_);
        inSubmenu = !topLevelFits();
    }
    if (inSubmenu) {
        placeTopEntries(false);
        if (const Task* running = tasks_.running())
            refreshEntry(running);
        // An item host shows the submenu without asking first.
        if (trayIcon_->ItemHost())
            fillTasksMenu();
    } else if (tasksMenuFilled_) {
        renewTasksMenu();
    }
    tasksInSubmenu_ = inSubmenu;
}

// The task entries at the top of the tray menu: every task's, or the running one's
// followed by the submenu with all of them.
void MainWindow::placeTopEntries(bool allTasks) {
    QList<QAction*> wanted;
    if (allTasks) {
        for (const Task* task : tasks_)
            wanted.append(entryFor(task));
    } else if (const Task* running = tasks_.running()) {
        wanted.append(entryFor(running));
    }
    const QList<QAction*> items = trayMenu_->actions();
    QList<QAction*> placed;
    for (QAction* item : items) {
        if (item->data().toInt() != kTaskMenuTag)
            break;
        placed.append(item);
    }
    for (QAction* item : placed)
        if (!wanted.contains(item))
            trayMenu_->removeAction(item);
    if (allTasks)
        trayMenu_->removeAction(tasksEntry_);
    else if (!items.contains(tasksEntry_))
        trayMenu_->insertAction(separator1_, tasksEntry_);
    for (QAction* item : wanted)
        if (!placed.contains(item))
            trayMenu_->insertAction(trayMenu_->actions().value(0), item);
}

bool MainWindow::topLevelFits() const {
    const QScreen* screen = trayMenu_->screen();
    return !screen || trayMenu_->sizeHint().height() <= screen->availableGeometry().height() - 4;
}

// The submenu's entries are made when it first opens, sorted before they go in: a menu
// takes each entry with a pass over those it has, so thousands are better added once
// than moved.
void MainWindow::fillTasksMenu() {
    // Qt lets a scrolling submenu reach a pixel past the screen's bottom edge.
    if (const QScreen* screen = trayMenu_->screen())
        tasksMenu_->setMaximumHeight(screen->availableGeometry().height() - 4);
    if (tasksMenuFilled_) {
        for (const Task* task : tasks_)
            refreshEntry(task);
        SortMenuEntries(tasksMenu_);
        return;
    }
    std::vector<std::pair<QString, QAction*>> entries;
    entries.reserve(tasks_.size());
    for (const Task* task : tasks_) {
        const bool known = menuEntry(task) != nullptr;
        QAction* entry = entryFor(task); // a new one has its caption
        if (known)
            refreshEntry(task);
        entries.emplace_back(entryCaption(entry), entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return CompareNames(a.first, b.first) < 0;
    });
    QList<QAction*> sorted;
    sorted.reserve(static_cast<qsizetype>(entries.size()));
    for (const auto& entry : entries)
        sorted.append(entry.second);
    tasksMenu_->addActions(sorted);
    tasksMenuFilled_ = true;
}

// A new, empty submenu in place of the old one: a menu lets go of all its entries in one
// pass when it is deleted, where taking them out one by one is a pass each.
void MainWindow::renewTasksMenu() {
    if (tasksMenu_ && (trayMenu_->isVisible() || tasksMenu_->isVisible())) {
        tasksMenuOutdated_ = true;
        return;
    }
    QMenu* old = tasksMenu_;
    tasksMenu_ = new QMenu(trayMenu_);
    tasksMenu_->setObjectName(QStringLiteral("TasksMenu"));
    scrollWhenTall(tasksMenu_);
    connect(tasksMenu_, &QMenu::aboutToShow, this,
            [this] { guarded([this] { fillTasksMenu(); }); });
    tasksEntry_->setMenu(tasksMenu_);
    delete old;
    tasksMenuFilled_ = false;
    tasksMenuOutdated_ = false;
}

void MainWindow::SortMenuEntries(QMenu* menu) {
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
    QAction* after = items.value(n); // the first fixed entry, none in a menu of tasks only
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

void MainWindow::StopAll() {
    tasks_.stopAll();
}

void MainWindow::SetTaskButtons(bool enabled) {
    for (QPushButton* b :
         {editButton_, removeButton_, startButton_, stopButton_, resetButton_, resetAllButton_})
        b->setEnabled(enabled);
}

Task* MainWindow::selectedTask() const {
    if (!controlsBuilt())
        return nullptr;
    const int row = taskGrid_->currentIndex().row();
    if (row < 0 || row >= static_cast<int>(tasks_.size()))
        return nullptr;
    return tasks_[static_cast<size_t>(row)];
}

void MainWindow::selectTaskRow(int index) {
    if (!controlsBuilt() || index < 0 || index >= gridModel_->rowCount())
        return;
    taskGrid_->setCurrentIndex(gridModel_->index(index, 0));
}

void MainWindow::setTrayHint(const QString& hint) {
    trayIcon_->setHint(hint);
}

void MainWindow::requestDescriptionFor(Task* task) {
    if (settings_.requestDescription && descriptionPrompt_)
        descriptionPrompt_->Prompt(task);
}

QString MainWindow::runningTaskName() const {
    for (const Task* task : tasks_)
        if (task->running())
            return task->name();
    return {};
}

// The hint names the running task and its time to the minute (the menu has the seconds),
// or that none runs: after every change of the running task (a start, a stop, a reset, a
// removal) and each minute of its time.
void MainWindow::updateTrayHint() {
    const Task* running = tasks_.running();
    if (!running) {
        hintTimer_->stop();
        if (trayIcon_->Hint() != QLatin1String("Korvan"))
            setTrayHint(QStringLiteral("No active project"));
        return;
    }
    const qint64 ms = std::max<qint64>(0, std::llround(running->CurrentTime() * 86400000.0));
    const QString time = FormatTime(running->CurrentTime()).chopped(3) + QStringLiteral(" h");
    const QString prefix = QStringLiteral("Active task: ");
    const QString suffix = QStringLiteral("  ") + time;
    // The tip has room for 127 characters: a long name gives way to the time.
    const qsizetype room = 127 - prefix.size() - suffix.size();
    QString name = running->name();
    if (name.size() > room)
        name = name.left(room - 1) + QChar(0x2026);
    setTrayHint(prefix + name + suffix);
    hintTimer_->start(static_cast<int>(60000 - ms % 60000) + 20);
}

void MainWindow::runningChanged() {
    updateTrayHint();
    const bool running =
        std::any_of(tasks_.begin(), tasks_.end(), [](const Task* task) { return task->running(); });
    if (running != trayShowsRunning_) {
        trayShowsRunning_ = running;
        trayIcon_->setIcon(running ? runningImage_ : idleImage_);
    }
    // An item host shows the exported menu without asking first: keep it current.
    if (trayIcon_->ItemHost())
        RefreshMenu();
}

void MainWindow::trayMenuAboutToShow() {
    RefreshMenu();
    // The running task's time goes on in the open menu.
    menuTimer_->start();
}

// An area came, went or changed its kind. Gone: after a few seconds without one the main
// window comes out. Back: the window returns if it came out for that reason only, and an
// item host gets the menu as it is now.
void MainWindow::trayChanged() {
    if (!trayIcon_->IconShown()) {
        if (!trayCheck_->isActive())
            trayCheck_->start();
        return;
    }
    trayCheck_->stop();
    trayIcon_->ReturnMainWindow();
    if (trayIcon_->ItemHost())
        RefreshMenu();
}

// ---------------------------------------------------------------------------------------
// Commands

void MainWindow::gridTick() {
    RefreshGrid();
}

void MainWindow::autoSaveTick() {
    SaveSettings();
}

void MainWindow::reminderTick() {
    QString title = QStringLiteral("No activity");
    for (Task* task : tasks_) {
        if (task->ActiveMark() == QLatin1String("A")) {
            title = task->name().left(255);
            break;
        }
    }
    trayIcon_->ShowBalloon(title,
                           QStringLiteral("Are you still working on this task ?\r"
                                          "Click here to change active task."),
                           BalloonInfo, 10);
}

void MainWindow::closeClicked() {
    trayIcon_->HideMainWindow();
}

void MainWindow::addClicked() {
    if (!editDialog_)
        return;
    editDialog_->NewTask();
    Task* created = editDialog_->editedTask();
    if (!created)
        return;
    // The dialog may have left the list unsorted (an invalid time); sort before selecting.
    RefreshGrid();
    const auto it = std::find(tasks_.begin(), tasks_.end(), created);
    if (it != tasks_.end())
        selectTaskRow(static_cast<int>(it - tasks_.begin()));
}

void MainWindow::editClicked() {
    if (!editDialog_ || !selectedTask())
        return;
    Task* task = selectedTask();
    editDialog_->EditTask(task);
    RefreshGrid();
    // A new name may sort the task elsewhere: the selection goes with it, so that the next
    // Reset or Remove acts on the task the user just edited.
    const auto at = std::find(tasks_.begin(), tasks_.end(), task);
    if (at != tasks_.end())
        selectTaskRow(static_cast<int>(at - tasks_.begin()));
}

void MainWindow::gridDoubleClicked() {
    if (!tasks_.empty())
        editClicked();
}

void MainWindow::removeClicked() {
    Task* task = selectedTask();
    if (!task)
        return;
    if (messageBox(QStringLiteral("Are you sure to remove selected task ?"),
                   QStringLiteral("Remove task"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    tasks_.remove(task);
    RefreshGrid();
    RefreshMenu();
}

void MainWindow::startClicked() {
    Task* task = selectedTask();
    StopAll();
    if (task)
        task->Start();
    RefreshGrid();
}

void MainWindow::stopClicked() {
    StopAll();
    RefreshGrid();
}

void MainWindow::resetClicked() {
    Task* task = selectedTask();
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

void MainWindow::resetAllClicked() {
    if (messageBox(QStringLiteral("Are you sure to reset all recorded times and all "
                                  "descriptions of all tasks ?"),
                   QStringLiteral("Reset All"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   this) != MsgAnswer::Yes)
        return;
    for (Task* task : tasks_)
        task->Reset();
    RefreshGrid();
    RefreshMenu();
}

void MainWindow::bookClicked() {
    if (openSaveToDb)
        openSaveToDb();
}

void MainWindow::databaseClicked() {
    if (openDatabase)
        openDatabase();
}

void MainWindow::trayDoubleClicked() {
    trayIcon_->RestoreMainWindow();
}

// The reminder invites a click to change the active task: open the menu for it.
// An item host cannot open the program's menu on request: there the main window opens.
void MainWindow::balloonClicked() {
    if (trayIcon_->ItemHost())
        trayIcon_->RestoreMainWindow();
    else
        trayIcon_->OpenTrayMenu();
}

void MainWindow::addEntryChosen() {
    trayIcon_->RestoreMainWindow();
}

void MainWindow::aboutEntryChosen() {
    if (openAbout)
        openAbout();
}

void MainWindow::exitEntryChosen() {
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

// The timers run as the settings say from the start; the boxes show it once they exist.
void MainWindow::setUpAutoSaveControls() {
    const bool on = settings_.autoSaveMinutes > 0;
    {
        const QSignalBlocker quiet(autoSaveBox_);
        autoSaveBox_->setChecked(on);
    }
    autoSaveEdit_->setEnabled(on);
    autoSaveEdit_->setText(on ? QString::number(settings_.autoSaveMinutes) : QStringLiteral("3"));
}

void MainWindow::setUpReminderControls() {
    const bool on = settings_.reminderMinutes > 0;
    {
        const QSignalBlocker quiet(reminderBox_);
        reminderBox_->setChecked(on);
    }
    reminderEdit_->setEnabled(on);
    reminderEdit_->setText(on ? QString::number(settings_.reminderMinutes) : QStringLiteral("15"));
}

void MainWindow::setUpIdleControls() {
    const bool on = settings_.idleMinutes > 0;
    {
        const QSignalBlocker quiet(idleBox_);
        idleBox_->setChecked(on);
    }
    idleEdit_->setEnabled(on);
    idleEdit_->setText(QString::number(on ? settings_.idleMinutes : 10));
}

void MainWindow::idleToggled() {
    idleEdit_->setEnabled(idleBox_->isChecked());
    settings_.idleMinutes = idleBox_->isChecked() ? std::max(1, minutesOf(idleEdit_)) : 0;
}

bool MainWindow::idleMinutesLeft() {
    qint32 value = 0;
    if (!parseInteger(idleEdit_->text(), value) || value < 1) {
        messageBox(QStringLiteral("Enter the minutes as a whole number of at least 1."),
                   QStringLiteral("Wrong input"), MsgIcon::Warning, MsgButtons::Ok, this);
        idleEdit_->setFocus();
        return false;
    }
    if (idleBox_->isChecked())
        settings_.idleMinutes = value;
    Q_EMIT optionsChanged();
    return true;
}

void MainWindow::autoSaveToggled() {
    autoSaveEdit_->setEnabled(autoSaveBox_->isChecked());
    if (autoSaveBox_->isChecked())
        autoSaveTimer_->runEvery(minutesOf(autoSaveEdit_));
    else
        autoSaveTimer_->stop();
}

void MainWindow::reminderToggled() {
    reminderEdit_->setEnabled(reminderBox_->isChecked());
    if (reminderBox_->isChecked())
        reminderTimer_->runEvery(minutesOf(reminderEdit_));
    else
        reminderTimer_->stop();
}

void MainWindow::autoStartToggled() {
    if (idleBox_->isChecked()) {
        qint32 minutes = 0;
        if (parseInteger(idleEdit_->text(), minutes) && minutes > 0)
            settings_.idleMinutes = minutes;
    } else {
        settings_.idleMinutes = 0;
    }
    settings_.autoStart = autoStartBox_->isChecked();
}

void MainWindow::requestDescriptionToggled() {
    settings_.requestDescription = requestDescriptionBox_->isChecked();
}

// The auto-save period applies when the window closes.
bool MainWindow::autoSaveMinutesLeft() {
    return refuseNonInteger(autoSaveEdit_, this);
}

bool MainWindow::reminderMinutesLeft() {
    qint32 value = 0;
    if (!parseInteger(reminderEdit_->text(), value))
        return refuseNonInteger(reminderEdit_, this);
    settings_.reminderMinutes = value;
    reminderTimer_->changePeriod(value);
    Q_EMIT optionsChanged();
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (controlsBuilt() && watched == taskGrid_->viewport() &&
        event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        guarded([this] { gridDoubleClicked(); });
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
        if (watched == autoSaveEdit_)
            guarded([this] { autoSaveMinutesLeft(); });
        else if (watched == reminderEdit_)
            guarded([this] { reminderMinutesLeft(); });
        else if (watched == idleEdit_)
            guarded([this] { idleMinutesLeft(); });
    }
    return QWidget::eventFilter(watched, event);
}

// The number in a minute box is an option as soon as it is one; the timers follow when the
// box is left or the window closes, as before.
void MainWindow::minutesTyped(QLineEdit* edit) {
    qint32 value = 0;
    if (!parseInteger(edit->text(), value))
        return;
    if (edit == autoSaveEdit_ && autoSaveBox_->isChecked())
        settings_.autoSaveMinutes = value;
    else if (edit == reminderEdit_ && reminderBox_->isChecked())
        settings_.reminderMinutes = value;
    else if (edit == idleEdit_ && idleBox_->isChecked() && value >= 1)
        settings_.idleMinutes = value;
    else
        return;
    Q_EMIT optionsChanged();
}

void MainWindow::captureSettings() {
    // The numbers typed are kept already; a wrong one is not worth a box at the end.
    if (!controlsBuilt() || store_.ending())
        return;
    if (autoSaveBox_->isChecked()) {
        settings_.autoSaveMinutes = minutesOf(autoSaveEdit_);
        autoSaveTimer_->runEvery(settings_.autoSaveMinutes);
    } else {
        settings_.autoSaveMinutes = 0;
        autoSaveTimer_->stop();
    }
    if (reminderBox_->isChecked()) {
        settings_.reminderMinutes = minutesOf(reminderEdit_);
        reminderTimer_->runEvery(settings_.reminderMinutes);
    } else {
        settings_.reminderMinutes = 0;
        reminderTimer_->stop();
    }
    settings_.autoStart = autoStartBox_->isChecked();
    Q_EMIT optionsChanged();
}
