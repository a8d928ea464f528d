#include "platform/DBusMenu.h"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <algorithm>

namespace platform {

// ---------------------------------------------------------------------------------------
// Labels

QString dbusMenuLabel(const QString& text) {
    QString label;
    label.reserve(text.size() + 4);
    bool mnemonic = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                label += QLatin1Char('&');
                ++i;
            } else if (i + 1 < text.size() && !mnemonic && text.at(i + 1) != QLatin1Char('_')) {
                // Qt underlines the first marked letter only; the later marks it hides.
                label += QLatin1Char('_');
                mnemonic = true;
            }
            continue;
        }
        if (c == QLatin1Char('_'))
            label += QLatin1String("__");
        else
            label += c;
    }
    return label;
}

namespace {
const char kMenuInterface[] = "com.canonical.dbusmenu";

QDBusMessage invalidArgs(const QDBusMessage& m, const QString& text) {
    return m.createErrorReply(QDBusError::InvalidArgs, text);
}

template <class T> T argumentAs(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<T>(value.value<QDBusArgument>());
    return value.value<T>();
}
} // namespace

// ---------------------------------------------------------------------------------------
// DBusMenu

DBusMenu::DBusMenu(QObject* parent) : QDBusVirtualObject(parent) {
    registerStatusNotifierTypes();
    openLimit_ = new QTimer(this);
    openLimit_->setSingleShot(true);
    openLimit_->setInterval(kOpenMs);
    connect(openLimit_, &QTimer::timeout, this, [this] { closeAll(); });
    nodes_.insert(0, Node());
}

DBusMenu::~DBusMenu() {
    for (QMenu* menu : std::as_const(watched_))
        menu->removeEventFilter(this);
}

void DBusMenu::attach(const QDBusConnection& bus, const QString& path) {
    bus_ = bus;
    path_ = path;
}

void DBusMenu::setMenu(QMenu* menu) {
    if (menu == menu_)
        return;
    closeAll();
    menu_ = menu;
    structureDirty_ = true;
    syncSoon();
}

bool DBusMenu::shown() const {
    return std::any_of(open_.begin(), open_.end(),
                       [this](const QPointer<QMenu>& m) { return m && m == menu_; });
}

void DBusMenu::syncSoon() {
    if (syncQueued_)
        return;
    syncQueued_ = true;
    QTimer::singleShot(0, this, [this] { sync(); });
}

void DBusMenu::sync() {
    syncQueued_ = false;
    if (structureDirty_)
        rebuild();
    else if (!changed_.isEmpty())
        refreshChanged();
}

// The whole tree anew, each entry keeping its identity; a host hears of a new layout
// only when the tree's shape changed, and of the entries whose properties changed.
void DBusMenu::rebuild() {
    structureDirty_ = false;
    changed_.clear();
    const QHash<int, Node> before = std::move(nodes_);
    const QHash<Key, int> beforeIds = std::move(ids_);
    nodes_.clear();
    ids_.clear();
    Node root;
    root.menu = menu_;
    root.submenu = menu_;
    root.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    nodes_.insert(0, root);
    QSet<QMenu*> seen;
    if (menu_)
        build(0, menu_, seen, beforeIds);
    for (QMenu* menu : std::as_const(watched_)) {
        if (seen.contains(menu))
            continue;
        menu->removeEventFilter(this);
        disconnect(menu, &QObject::destroyed, this, nullptr);
    }
    for (QMenu* menu : std::as_const(seen)) {
        if (watched_.contains(menu))
            continue;
        menu->installEventFilter(this);
        connect(menu, &QObject::destroyed, this, [this, menu] {
            watched_.remove(menu);
            structureDirty_ = true;
            syncSoon();
        });
    }
    watched_ = seen;

    bool shapeChanged = before.size() != nodes_.size();
    QList<int> propertiesChanged;
    QHash<int, QStringList> removed;
    for (auto it = nodes_.constBegin(); it != nodes_.constEnd(); ++it) {
        const auto old = before.constFind(it.key());
        if (old == before.constEnd()) {
            shapeChanged = true;
            continue;
        }
        if (old->children != it->children)
            shapeChanged = true;
        if (old->properties != it->properties) {
            propertiesChanged.append(it.key());
            for (auto p = old->properties.constBegin(); p != old->properties.constEnd(); ++p)
                if (!it->properties.contains(p.key()))
                    removed[it.key()].append(p.key());
        }
    }
    if (shapeChanged) {
        ++revision_;
        emitLayoutUpdated(0);
    } else if (!propertiesChanged.isEmpty()) {
        emitPropertiesUpdated(propertiesChanged, removed);
    }
}

void DBusMenu::build(int id, QMenu* menu, QSet<QMenu*>& seen, const QHash<Key, int>& before) {
    if (seen.contains(menu))
        return; // a menu inside itself would never end
    seen.insert(menu);
    const QList<QAction*> actions = menu->actions();
    QList<int> children;
    children.reserve(actions.size());
    for (QAction* action : actions) {
        const Key key(menu, action);
        int child = before.value(key, 0);
        if (child == 0 || nodes_.contains(child))
            child = nextId_++;
        ids_.insert(key, child);
        Node node;
        node.menu = menu;
        node.action = action;
        node.parent = id;
        node.properties = propertiesOf(action);
        if (QMenu* submenu = action->menu(); submenu && !action->isSeparator())
            node.submenu = submenu;
        nodes_.insert(child, node);
        children.append(child);
        if (node.submenu)
            build(child, node.submenu, seen, before);
    }
    nodes_[id].children = children;
}

// Only entries changed (a caption, a check mark): their properties, not the tree.
void DBusMenu::refreshChanged() {
    const QSet<QAction*> changed = std::exchange(changed_, {});
    QList<int> ids;
    QHash<int, QStringList> removed;
    for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
        QAction* action = it->action;
        if (!action || !changed.contains(action))
            continue;
        if (action->menu() != it->submenu.data()) {
            // Another submenu: the tree is another.
            rebuild();
            return;
        }
        QVariantMap properties = propertiesOf(action);
        if (properties == it->properties)
            continue;
        for (auto p = it->properties.constBegin(); p != it->properties.constEnd(); ++p)
            if (!properties.contains(p.key()))
                removed[it.key()].append(p.key());
        it->properties = std::move(properties);
        ids.append(it.key());
    }
    if (!ids.isEmpty())
        emitPropertiesUpdated(ids, removed);
}

QVariantMap DBusMenu::propertiesOf(const QAction* action) const {
    QVariantMap p;
    if (action->isSeparator()) {
        p.insert(QStringLiteral("type"), QStringLiteral("separator"));
        if (!action->isVisible())
            p.insert(QStringLiteral("visible"), false);
        return p;
    }
    p.insert(QStringLiteral("label"), dbusMenuLabel(action->text()));
    if (!action->isEnabled())
        p.insert(QStringLiteral("enabled"), false);
    if (!action->isVisible())
        p.insert(QStringLiteral("visible"), false);
    if (action->isCheckable()) {
        const bool radio = action->actionGroup() && action->actionGroup()->isExclusive();
        p.insert(QStringLiteral("toggle-type"),
                 radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        p.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu())
        p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    return p;
}

bool DBusMenu::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved:
        structureDirty_ = true;
        syncSoon();
        break;
    case QEvent::ActionChanged:
        if (auto* action = static_cast<QActionEvent*>(event)->action()) {
            changed_.insert(action);
            syncSoon();
        }
        break;
    default:
        break;
    }
    return QDBusVirtualObject::eventFilter(watched, event);
}

DBusMenuLayoutItem DBusMenu::layout(int id, int depth, const QStringList& names) {
    sync();
    DBusMenuLayoutItem item;
    const auto node = nodes_.constFind(id);
    if (node == nodes_.constEnd())
        return item;
    item.id = id;
    if (names.isEmpty()) {
        item.properties = node->properties;
    } else {
        for (const QString& name : names)
            if (node->properties.contains(name))
                item.properties.insert(name, node->properties.value(name));
    }
    if (depth != 0)
        for (int child : node->children)
            item.children.append(layout(child, depth < 0 ? -1 : depth - 1, names));
    return item;
}

int DBusMenu::idOf(const QMenu* menu, const QAction* action) {
    sync();
    return ids_.value(Key(menu, action), 0);
}

QMenu* DBusMenu::menuOf(int id) const {
    const auto node = nodes_.constFind(id);
    return node == nodes_.constEnd() ? nullptr : node->submenu.data();
}

void DBusMenu::opened(int id) {
    QMenu* menu = menuOf(id);
    if (!menu)
        return;
    if (menu == menu_)
        openLimit_->start();
    if (!open_.contains(menu))
        open_.append(menu);
    // Each showing fills and refreshes the menu, as a menu of the program's own is.
    Q_EMIT menu->aboutToShow();
}

void DBusMenu::closed(int id) {
    QMenu* menu = menuOf(id);
    if (!menu || !open_.removeOne(menu))
        return;
    if (menu == menu_)
        openLimit_->stop();
    Q_EMIT menu->aboutToHide();
}

// Submenus first, as they close.
void DBusMenu::closeAll() {
    openLimit_->stop();
    while (!open_.isEmpty()) {
        const QPointer<QMenu> menu = open_.takeLast();
        if (menu)
            Q_EMIT menu->aboutToHide();
    }
}

bool DBusMenu::event(int id, const QString& eventId) {
    const auto node = nodes_.constFind(id);
    if (node == nodes_.constEnd())
        return false;
    if (eventId == QLatin1String("clicked")) {
        const QPointer<QAction> action = node->action;
        // The host closes its menu when an entry is chosen.
        closeAll();
        if (action && action->isEnabled() && !action->isSeparator() && !action->menu())
            QTimer::singleShot(0, this, [action] {
                if (action && action->isEnabled())
                    action->trigger();
            });
    } else if (eventId == QLatin1String("opened")) {
        opened(id);
    } else if (eventId == QLatin1String("closed")) {
        closed(id);
    }
    return true;
}

void DBusMenu::emitLayoutUpdated(int parent) {
    if (path_.isEmpty() || !bus_.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(path_, QString::fromLatin1(kMenuInterface),
                                                     QStringLiteral("LayoutUpdated"));
    signal << revision_ << parent;
    bus_.send(signal);
}

void DBusMenu::emitPropertiesUpdated(const QList<int>& ids,
                                     const QHash<int, QStringList>& removed) {
    if (path_.isEmpty() || !bus_.isConnected())
        return;
    QList<DBusMenuItem> updated;
    for (int id : ids)
        updated.append({id, nodes_.value(id).properties});
    QList<DBusMenuItemKeys> gone;
    for (auto it = removed.constBegin(); it != removed.constEnd(); ++it)
        gone.append({it.key(), it.value()});
    QDBusMessage signal = QDBusMessage::createSignal(path_, QString::fromLatin1(kMenuInterface),
                                                     QStringLiteral("ItemsPropertiesUpdated"));
    signal << QVariant::fromValue(updated) << QVariant::fromValue(gone);
    bus_.send(signal);
}

QString DBusMenu::introspect(const QString&) const {
    return QStringLiteral(
        "  <interface name=\"com.canonical.dbusmenu\">\n"
        "    <property name=\"Version\" type=\"u\" access=\"read\"/>\n"
        "    <property name=\"TextDirection\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"IconThemePath\" type=\"as\" access=\"read\"/>\n"
        "    <method name=\"GetLayout\">\n"
        "      <arg type=\"i\" name=\"parentId\" direction=\"in\"/>\n"
        "      <arg type=\"i\" name=\"recursionDepth\" direction=\"in\"/>\n"
        "      <arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>\n"
        "      <arg type=\"u\" name=\"revision\" direction=\"out\"/>\n"
        "      <arg type=\"(ia{sv}av)\" name=\"layout\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"GetGroupProperties\">\n"
        "      <arg type=\"ai\" name=\"ids\" direction=\"in\"/>\n"
        "      <arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>\n"
        "      <arg type=\"a(ia{sv})\" name=\"properties\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"GetProperty\">\n"
        "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
        "      <arg type=\"s\" name=\"name\" direction=\"in\"/>\n"
        "      <arg type=\"v\" name=\"value\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"Event\">\n"
        "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
        "      <arg type=\"s\" name=\"eventId\" direction=\"in\"/>\n"
        "      <arg type=\"v\" name=\"data\" direction=\"in\"/>\n"
        "      <arg type=\"u\" name=\"timestamp\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"EventGroup\">\n"
        "      <arg type=\"a(isvu)\" name=\"events\" direction=\"in\"/>\n"
        "      <arg type=\"ai\" name=\"idErrors\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"AboutToShow\">\n"
        "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
        "      <arg type=\"b\" name=\"needUpdate\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"AboutToShowGroup\">\n"
        "      <arg type=\"ai\" name=\"ids\" direction=\"in\"/>\n"
        "      <arg type=\"ai\" name=\"updatesNeeded\" direction=\"out\"/>\n"
        "      <arg type=\"ai\" name=\"idErrors\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <signal name=\"ItemsPropertiesUpdated\">\n"
        "      <arg type=\"a(ia{sv})\" name=\"updatedProps\" direction=\"out\"/>\n"
        "      <arg type=\"a(ias)\" name=\"removedProps\" direction=\"out\"/>\n"
        "    </signal>\n"
        "    <signal name=\"LayoutUpdated\">\n"
        "      <arg type=\"u\" name=\"revision\" direction=\"out\"/>\n"
        "      <arg type=\"i\" name=\"parent\" direction=\"out\"/>\n"
        "    </signal>\n"
        "    <signal name=\"ItemActivationRequested\">\n"
        "      <arg type=\"i\" name=\"id\" direction=\"out\"/>\n"
        "      <arg type=\"u\" name=\"timestamp\" direction=\"out\"/>\n"
        "    </signal>\n"
        "  </interface>\n");
}

bool DBusMenu::handleMessage(const QDBusMessage& m, const QDBusConnection& connection) {
    if (m.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString member = m.member();
    const QVariantList args = m.arguments();
    if (m.interface() == QLatin1String(kPropertiesInterface)) {
        const QVariantMap properties{
            {QStringLiteral("Version"), 3u},
            {QStringLiteral("TextDirection"),
             QGuiApplication::isRightToLeft() ? QStringLiteral("rtl") : QStringLiteral("ltr")},
            {QStringLiteral("Status"), QStringLiteral("normal")},
            {QStringLiteral("IconThemePath"), QStringList()}};
        if (member == QLatin1String("GetAll")) {
            connection.send(m.createReply(QVariant::fromValue(properties)));
            return true;
        }
        if (member == QLatin1String("Get") && args.size() == 2 &&
            properties.contains(args.at(1).toString())) {
            connection.send(m.createReply(
                QVariant::fromValue(QDBusVariant(properties.value(args.at(1).toString())))));
            return true;
        }
        connection.send(m.createErrorReply(QDBusError::InvalidArgs,
                                           QStringLiteral("No such property, or read-only")));
        return true;
    }
    if (!isCallFor(m, kMenuInterface))
        return false;
    sync();
    if (member == QLatin1String("GetLayout") && args.size() == 3) {
        const int parent = args.at(0).toInt();
        if (!nodes_.contains(parent)) {
            connection.send(invalidArgs(m, QStringLiteral("No such entry")));
            return true;
        }
        const DBusMenuLayoutItem item =
            layout(parent, args.at(1).toInt(), argumentAs<QStringList>(args.at(2)));
        QDBusMessage reply = m.createReply();
        reply << revision_ << QVariant::fromValue(item);
        connection.send(reply);
        return true;
    }
    if (member == QLatin1String("GetGroupProperties") && args.size() == 2) {
        QList<int> ids = argumentAs<QList<int>>(args.at(0));
        const QStringList names = argumentAs<QStringList>(args.at(1));
        if (ids.isEmpty())
            ids = nodes_.keys();
        QList<DBusMenuItem> items;
        for (int id : std::as_const(ids)) {
            if (!nodes_.contains(id))
                continue;
            const DBusMenuLayoutItem one = layout(id, 0, names);
            items.append({id, one.properties});
        }
        connection.send(m.createReply(QVariant::fromValue(items)));
        return true;
    }
    if (member == QLatin1String("GetProperty") && args.size() == 2) {
        const auto node = nodes_.constFind(args.at(0).toInt());
        if (node == nodes_.constEnd() || !node->properties.contains(args.at(1).toString())) {
            connection.send(invalidArgs(m, QStringLiteral("No such entry or property")));
            return true;
        }
        connection.send(m.createReply(
            QVariant::fromValue(QDBusVariant(node->properties.value(args.at(1).toString())))));
        return true;
    }
    if (member == QLatin1String("Event") && args.size() == 4) {
        const int id = args.at(0).toInt();
        const QString eventId = args.at(1).toString();
        // Answered first: whatever the entry does comes after.
        if (!nodes_.contains(id)) {
            connection.send(invalidArgs(m, QStringLiteral("No such entry")));
            return true;
        }
        connection.send(m.createReply());
        event(id, eventId);
        return true;
    }
    if (member == QLatin1String("EventGroup") && args.size() == 1) {
        const QList<DBusMenuEvent> events = argumentAs<QList<DBusMenuEvent>>(args.at(0));
        QList<int> errors;
        for (const DBusMenuEvent& e : events)
            if (!nodes_.contains(e.id))
                errors.append(e.id);
        connection.send(m.createReply(QVariant::fromValue(errors)));
        for (const DBusMenuEvent& e : events)
            event(e.id, e.eventId);
        return true;
    }
    if (member == QLatin1String("AboutToShow") && args.size() == 1) {
        const int id = args.at(0).toInt();
        if (!nodes_.contains(id)) {
            connection.send(invalidArgs(m, QStringLiteral("No such entry")));
            return true;
        }
        const uint before = revision_;
        opened(id);
        sync();
        connection.send(m.createReply(QVariant(revision_ != before)));
        return true;
    }
    if (member == QLatin1String("AboutToShowGroup") && args.size() == 1) {
        const QList<int> ids = argumentAs<QList<int>>(args.at(0));
        QList<int> updates, errors;
        const uint before = revision_;
        for (int id : ids) {
            if (!nodes_.contains(id))
                errors.append(id);
            else
                opened(id);
        }
        sync();
        if (revision_ != before)
            for (int id : ids)
                if (nodes_.contains(id))
                    updates.append(id);
        QDBusMessage reply = m.createReply();
        reply << QVariant::fromValue(updates) << QVariant::fromValue(errors);
        connection.send(reply);
        return true;
    }
    connection.send(m.createErrorReply(QDBusError::UnknownMethod,
                                       QStringLiteral("No method %1 here").arg(member)));
    return true;
}

} // namespace platform
