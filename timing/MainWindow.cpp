#include "timing/MainWindow.h"

#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "platform/Centre.h"
#include "platform/Display.h"
#include "platform/Error.h"
#include "platform/Resources.h"
#include "platform/SizedIcon.h"
#include "timing/Countdown.h"
#include "timing/DescriptionDialog.h"
#include "timing/EditTaskDialog.h"
#include "timing/OptionsPanel.h"
#include "timing/TaskGridModel.h"
#include "timing/TrayMenu.h"
#include "widgets/Accessible.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"
#include "widgets/WindowIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

using platform::guarded;

namespace {
const QList<int> kIconSizes = {16, 22, 24, 32, 48, 64};

QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

MainWindow::MainWindow(TaskStore& store, QWidget* parent)
    : Deferred(parent), store_(store), tasks_(store.tasks()), options_(store.options()) {
    platform::initResources();
    announceAsWindow(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvan 1.5"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    trayMenu_ = new TrayMenu(tasks_, this);
    connect(trayMenu_, &TrayMenu::taskChosen, this, [this] { refreshGrid(); });
    connect(trayMenu_, &TrayMenu::aboutChosen, this, [this] {
        guarded([this] {
            if (openAbout)
                openAbout();
        });
    });
    connect(trayMenu_, &TrayMenu::openChosen, this,
            [this] { guarded([this] { trayIcon_->restoreMainWindow(); }); });
    connect(trayMenu_, &TrayMenu::exitChosen, this,
            [] { guarded([] { QCoreApplication::exit(0); }); });

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
    trayIcon_->setPopupMenu(trayMenu_->menu());
    trayMenu_->shownByItemHost = [this] { return trayIcon_->itemHost(); };
    trayIcon_->minimizeToTray = true;
    trayIcon_->onDblClick = [this](QObject*) { guarded([this] { trayDoubleClicked(); }); };
    trayIcon_->onBalloonHintClick = [this](QObject*) { guarded([this] { balloonClicked(); }); };
    trayIcon_->onTrayChanged = [this](QObject*) { guarded([this] { trayChanged(); }); };
    trayIcon_->loaded();
    setWindowIconOnFirstWindow(QStringLiteral(":/icons/korvan-%1.png"), 64);

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
        if (!trayIcon_->iconShown())
            trayIcon_->bringOutMainWindow();
    });
    trayCheck_->start();
    // An item host may show the exported menu before it ever asks for a refresh.
    if (trayIcon_->itemHost())
        refreshMenu();
}

MainWindow::~MainWindow() {
    guarded([this] { tearDown(); });
    tasks_.disconnect(this);
}

// The icon and its hint follow the task list (the tray menu follows it itself).
void MainWindow::followTasks() {
    connect(&tasks_, &TaskList::started, this, [this](Task* task) {
        runningChanged();
        requestDescriptionFor(task);
    });
    connect(&tasks_, &TaskList::stopped, this, [this] { runningChanged(); });
    connect(&tasks_, &TaskList::changed, this, [this](Task* task) {
        if (task->running())
            updateTrayHint(); // a new name, or time taken back
    });
    connect(&tasks_, &TaskList::runningChanged, this, [this] { runningChanged(); });
}

void MainWindow::showFromTray() {
    trayIcon_->restoreMainWindow();
}

void MainWindow::hideToTray() {
    trayIcon_->hideMainWindow();
}

void MainWindow::setTrayMenuEnabled(bool enabled) {
    trayMenu_->menu()->autoPopup = enabled;
}

void MainWindow::setRequestDescription(bool request) {
    options_.setRequestDescription(request);
}

QAction* MainWindow::menuEntry(const Task* task) const {
    return trayMenu_->entry(task);
}

QString MainWindow::entryCaption(const QAction* item) {
    return TrayMenu::entryCaption(item);
}

void MainWindow::sortMenuEntries(QMenu* menu) {
    TrayMenu::sortEntries(menu);
}

void MainWindow::refreshMenu() {
    trayMenu_->refresh();
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

    optionsPanel_ = new OptionsPanel(options_, *autoSaveTimer_, *reminderTimer_, this);

    auto* top = new QHBoxLayout;
    top->addWidget(taskGrid_, 1);
    top->addLayout(buttons);
    // Close at the bottom right, beside the options rather than under the other buttons:
    // the window stays low enough for a small screen.
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(optionsPanel_->grid());
    bottom->addStretch();
    bottom->addWidget(closeButton_, 0, Qt::AlignBottom);
    auto* whole = new QVBoxLayout(this);
    whole->addLayout(top, 1);
    whole->addLayout(bottom);

    // Tab goes as the eye does: the grid, the buttons beside it, the options, Close.
    QList<QWidget*> order = {taskGrid_,    addButton_,     editButton_,  removeButton_,
                             startButton_, stopButton_,    resetButton_, resetAllButton_,
                             bookButton_,  databaseButton_};
    order << optionsPanel_->tabOrder() << closeButton_;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    taskGrid_->setColumnWidth(1, 70);
    taskGrid_->setColumnWidth(2, 50);
    setTaskButtons(!tasks_.empty());
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
    // The tray's hint at each minute of the running task.
    hintTimer_ = named(new QTimer(this), "TrayHintTimer");
    hintTimer_->setSingleShot(true);
    connect(hintTimer_, &QTimer::timeout, this, [this] { guarded([this] { updateTrayHint(); }); });
}

// ---------------------------------------------------------------------------------------
// Life cycle

void MainWindow::setUp() {
    loadSettings();
    autoSaveTimer_->hold(!tasks_.running());
    autoSaveTimer_->runEvery(settings().autoSaveMinutes);
    reminderTimer_->runEvery(settings().reminderMinutes);
    refreshGrid();
}

void MainWindow::loadSettings() {
    // Said once the event loop runs, not while the program is still being made: by then the
    // icon shows and the program answers on the bus while the user reads.
    tell(store_.load());
}

bool MainWindow::saveSettings() {
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
    saveSettings();
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
    refreshGrid();
    gridTimer_->start();
}

void MainWindow::onHidden() {
    gridTimer_->stop();
    // The numbers typed are kept already; a wrong one is not worth a box at the end.
    if (optionsPanel_ && !store_.ending())
        optionsPanel_->capture();
}

// A double-click anywhere in the grid, also below the last row, edits the selected task.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (controlsBuilt() && watched == taskGrid_->viewport() &&
        event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        guarded([this] { gridDoubleClicked(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
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

void MainWindow::refreshGrid() {
    if (controlsBuilt())
        setTaskButtons(!tasks_.empty());
    gridModel_->refresh();
}

void MainWindow::stopAll() {
    tasks_.stopAll();
}

void MainWindow::setTaskButtons(bool enabled) {
    for (QPushButton* b :
         {editButton_, removeButton_, startButton_, stopButton_, resetButton_, resetAllButton_})
        b->setEnabled(enabled);
}

Task* MainWindow::selectedTask() const {
    if (!controlsBuilt())
        return nullptr;
    return gridModel_->taskAt(taskGrid_->currentIndex().row());
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
    if (settings().requestDescription && descriptionPrompt_)
        descriptionPrompt_->prompt(task);
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
        if (trayIcon_->hint() != QLatin1String("Korvan"))
            setTrayHint(QStringLiteral("No active project"));
        return;
    }
    const qint64 ms = std::max<qint64>(0, std::llround(running->currentTime() * 86400000.0));
    const QString time = formatTime(running->currentTime()).chopped(3) + QStringLiteral(" h");
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
    // With nothing running every change is in the store already (each is saved at once): the
    // auto-save would only wake the program.
    autoSaveTimer_->hold(!running);
    // An item host shows the exported menu without asking first: keep it current.
    if (trayIcon_->itemHost())
        refreshMenu();
}

// An area came, went or changed its kind. Gone: after a few seconds without one the main
// window comes out. Back: the window returns if it came out for that reason only, and an
// item host gets the menu as it is now.
void MainWindow::trayChanged() {
    if (!trayIcon_->iconShown()) {
        if (!trayCheck_->isActive())
            trayCheck_->start();
        return;
    }
    trayCheck_->stop();
    trayIcon_->returnMainWindow();
    if (trayIcon_->itemHost())
        refreshMenu();
}
