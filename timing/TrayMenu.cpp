#include "timing/TrayMenu.h"

#include "desktop/PopupMenu.h"
#include "model/TaskList.h"
#include "platform/Error.h"
#include "widgets/Named.h"

#include <QAction>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <vector>

using platform::guarded;

namespace {
const char kCaptionProperty[] = "korvanCaption";
// More tasks than this, or than fit on the screen, go into the submenu "&Tasks": a longer
// flat menu is slow to search by eye and soon taller than the screen.
constexpr size_t kMaxTasksAtTop = 30;
} // namespace

TrayMenu::TrayMenu(TaskList& tasks, QWidget* window)
    : QObject(window), tasks_(tasks), menu_(named(new PopupMenu(window), "PopupMenu1")) {
    build();
    connect(&tasks_, &TaskList::added, this, [this](Task* task) { addEntry(task); });
    connect(&tasks_, &TaskList::aboutToRemove, this, [this](Task* task) { removeEntry(task); });
    for (const auto signal : {&TaskList::started, &TaskList::stopped, &TaskList::changed})
        connect(&tasks_, signal, this, [this](Task* task) { refreshEntry(task); });
}

TrayMenu::~TrayMenu() {
    tasks_.disconnect(this);
    for (const auto& [task, entry] : entries_)
        delete entry;
}

void TrayMenu::build() {
    // In the menu only while the tasks are in its submenu.
    tasksEntry_ = new QAction(QStringLiteral("&Tasks"), menu_);
    tasksEntry_->setObjectName(QStringLiteral("Tasks1"));
    renewTasksMenu();
    separator1_ = menu_->addSeparator();
    separator1_->setObjectName(QStringLiteral("N1"));
    QAction* about = menu_->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("About1"));
    QAction* open = menu_->addAction(QStringLiteral("&Open"));
    open->setObjectName(QStringLiteral("Add1"));
    menu_->setDefaultAction(open);
    menu_->addSeparator()->setObjectName(QStringLiteral("N2"));
    QAction* exit = menu_->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(about, &QAction::triggered, this, [this] { Q_EMIT aboutChosen(); });
    connect(open, &QAction::triggered, this, [this] { Q_EMIT openChosen(); });
    connect(exit, &QAction::triggered, this, [this] { Q_EMIT exitChosen(); });
    // The running task's time goes on in the open menu (a host of its own or the program's),
    // every second.
    openTimer_ = named(new QTimer(this), "MenuTimer");
    openTimer_->setInterval(1000);
    connect(openTimer_, &QTimer::timeout, this, [this] {
        guarded([this] {
            if (const Task* running = tasks_.running())
                refreshEntry(running);
        });
    });
    connect(menu_, &QMenu::aboutToShow, this, [this] {
        guarded([this] {
            refresh();
            openTimer_->start();
        });
    });
    connect(menu_, &QMenu::aboutToHide, openTimer_, &QTimer::stop);
}

// A new task's entry goes to the top of the menu, as the menu has always done; sorting
// moves it into place. With many tasks the menu takes it in when it next opens.
void TrayMenu::addEntry(Task* task) {
    if (tasksMenuFilled_)
        renewTasksMenu();
    refreshItemHostSoon();
    if (tasksInSubmenu_ || tasks_.size() > kMaxTasksAtTop)
        return;
    QAction* added = entryFor(task);
    const QList<QAction*> items = menu_->actions();
    menu_->insertAction(items.isEmpty() ? nullptr : items.first(), added);
}

void TrayMenu::removeEntry(Task* task) {
    const auto it = entries_.find(task);
    if (it == entries_.end())
        return;
    QAction* removed = it->second;
    entries_.erase(it);
    // Taking one entry out of a long submenu is a pass over all of it: the submenu goes
    // once, and a whole list of tasks (clearing, closing) leaves in linear time.
    if (tasksMenuFilled_)
        renewTasksMenu();
    delete removed; // out of every menu that shows it
    refreshItemHostSoon();
}

// An item host shows the exported menu without asking first: once the list has changed
// (a whole list loaded or cleared at once, or one task), the menu follows.
void TrayMenu::refreshItemHostSoon() {
    if (itemHostRefreshQueued_ || !itemHost())
        return;
    itemHostRefreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        itemHostRefreshQueued_ = false;
        guarded([this] { refresh(); });
    });
}

// The entries have no parent: a parent with thousands of children would search its list
// for each one that goes.
QAction* TrayMenu::entryFor(const Task* task) {
    if (QAction* existing = entry(task))
        return existing;
    auto* made = new QAction;
    made->setCheckable(true);
    made->setData(kTaskMenuTag);
    entries_[task] = made;
    refreshEntry(task);
    const quint64 id = task->id();
    connect(made, &QAction::triggered, this, [this, id] {
        guarded([this, id] {
            if (Task* chosen = tasks_.byId(id)) {
                tasks_.choose(chosen);
                Q_EMIT taskChosen();
            }
        });
    });
    return made;
}

void TrayMenu::refreshEntry(const Task* task) {
    QAction* shown = entry(task);
    if (!shown)
        return;
    const QString caption = task->entryCaption();
    shown->setProperty(kCaptionProperty, caption);
    // A very long name is cut short in the menu, so that the time and the menu itself stay
    // on the screen; the grid and the dialogs show it whole.
    constexpr int kLongestName = 60;
    QString text = caption;
    if (task->name().size() > kLongestName)
        text =
            task->name().left(kLongestName - 1) + QChar(0x2026) + caption.mid(task->name().size());
    shown->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
    shown->setChecked(task->running());
}

QAction* TrayMenu::entry(const Task* task) const {
    const auto it = entries_.find(task);
    return it == entries_.end() ? nullptr : it->second;
}

QString TrayMenu::entryCaption(const QAction* item) {
    return item->property(kCaptionProperty).toString();
}

void TrayMenu::refresh() {
    if (tasksMenuOutdated_)
        renewTasksMenu();
    bool inSubmenu = tasks_.size() > kMaxTasksAtTop;
    if (!inSubmenu) {
        placeTopEntries(true);
        for (const Task* task : tasks_)
            refreshEntry(task);
        sortEntries(menu_);
        inSubmenu = !topLevelFits();
    }
    if (inSubmenu) {
        placeTopEntries(false);
        if (const Task* running = tasks_.running())
            refreshEntry(running);
        // An item host shows the submenu without asking first.
        if (itemHost())
            fillTasksMenu();
    } else if (tasksMenuFilled_) {
        renewTasksMenu();
    }
    tasksInSubmenu_ = inSubmenu;
}

// The task entries at the top of the tray menu: every task's, or the running one's
// followed by the submenu with all of them.
void TrayMenu::placeTopEntries(bool allTasks) {
    QList<QAction*> wanted;
    if (allTasks) {
        for (const Task* task : tasks_)
            wanted.append(entryFor(task));
    } else if (const Task* running = tasks_.running()) {
        wanted.append(entryFor(running));
    }
    const QList<QAction*> items = menu_->actions();
    QList<QAction*> placed;
    for (QAction* item : items) {
        if (item->data().toInt() != kTaskMenuTag)
            break;
        placed.append(item);
    }
    for (QAction* item : placed)
        if (!wanted.contains(item))
            menu_->removeAction(item);
    if (allTasks)
        menu_->removeAction(tasksEntry_);
    else if (!items.contains(tasksEntry_))
        menu_->insertAction(separator1_, tasksEntry_);
    for (QAction* item : wanted)
        if (!placed.contains(item))
            menu_->insertAction(menu_->actions().value(0), item);
}

bool TrayMenu::topLevelFits() const {
    const QScreen* screen = menu_->screen();
    return !screen || menu_->sizeHint().height() <= screen->availableGeometry().height() - 4;
}

// The submenu's entries are made when it first opens, sorted before they go in: a menu
// takes each entry with a pass over those it has, so thousands are better added once
// than moved.
void TrayMenu::fillTasksMenu() {
    // Qt lets a scrolling submenu reach a pixel past the screen's bottom edge.
    if (const QScreen* screen = menu_->screen())
        tasksMenu_->setMaximumHeight(screen->availableGeometry().height() - 4);
    if (tasksMenuFilled_) {
        for (const Task* task : tasks_)
            refreshEntry(task);
        sortEntries(tasksMenu_);
        return;
    }
    std::vector<std::pair<QString, QAction*>> made;
    made.reserve(tasks_.size());
    for (const Task* task : tasks_) {
        const bool known = entry(task) != nullptr;
        QAction* item = entryFor(task); // a new one has its caption
        if (known)
            refreshEntry(task);
        made.emplace_back(entryCaption(item), item);
    }
    std::stable_sort(made.begin(), made.end(), [](const auto& a, const auto& b) {
        return compareNames(a.first, b.first) < 0;
    });
    QList<QAction*> sorted;
    sorted.reserve(static_cast<qsizetype>(made.size()));
    for (const auto& item : made)
        sorted.append(item.second);
    tasksMenu_->addActions(sorted);
    tasksMenuFilled_ = true;
}

// A new, empty submenu in place of the old one: a menu lets go of all its entries in one
// pass when it is deleted, where taking them out one by one is a pass each.
void TrayMenu::renewTasksMenu() {
    if (tasksMenu_ && (menu_->isVisible() || tasksMenu_->isVisible())) {
        tasksMenuOutdated_ = true;
        return;
    }
    QMenu* old = tasksMenu_;
    tasksMenu_ = new QMenu(menu_);
    tasksMenu_->setObjectName(QStringLiteral("TasksMenu"));
    scrollWhenTall(tasksMenu_);
    connect(tasksMenu_, &QMenu::aboutToShow, this,
            [this] { guarded([this] { fillTasksMenu(); }); });
    tasksEntry_->setMenu(tasksMenu_);
    delete old;
    tasksMenuFilled_ = false;
    tasksMenuOutdated_ = false;
}

void TrayMenu::sortEntries(QMenu* menu) {
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
        return compareNames(captions.at(a), captions.at(b)) < 0;
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
