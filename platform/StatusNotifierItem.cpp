#include "platform/StatusNotifierItem.h"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

namespace platform {

// ---------------------------------------------------------------------------------------
// The structures on the bus

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    item.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        const QVariant value = child.variant();
        if (value.canConvert<QDBusArgument>())
            item.children.append(qdbus_cast<DBusMenuLayoutItem>(value.value<QDBusArgument>()));
        else
            item.children.append(value.value<DBusMenuLayoutItem>());
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg << keys.id << keys.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg >> keys.id >> keys.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event) {
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event) {
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusImage& image) {
    arg.beginStructure();
    arg << image.width << image.height << image.pixels;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusImage& image) {
    arg.beginStructure();
    arg >> image.width >> image.height >> image.pixels;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusToolTip& tip) {
    arg.beginStructure();
    arg << tip.iconName << tip.images << tip.title << tip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusToolTip& tip) {
    arg.beginStructure();
    arg >> tip.iconName >> tip.images >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}

void registerStatusNotifierTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItem>();
        qDBusRegisterMetaType<QList<DBusMenuItem>>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<QList<DBusMenuItemKeys>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        qDBusRegisterMetaType<DBusImage>();
        qDBusRegisterMetaType<QList<DBusImage>>();
        qDBusRegisterMetaType<DBusToolTip>();
        qDBusRegisterMetaType<QList<int>>();
        return true;
    }();
    Q_UNUSED(registered);
}

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
const char kItemInterface[] = "org.kde.StatusNotifierItem";
const char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

QDBusMessage invalidArgs(const QDBusMessage& m, const QString& text) {
    return m.createErrorReply(QDBusError::InvalidArgs, text);
}

template <class T> T argumentAs(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<T>(value.value<QDBusArgument>());
    return value.value<T>();
}

bool isMenuOnly(const QDBusMessage& m, const char* interface) {
    return m.interface().isEmpty() || m.interface() == QLatin1String(interface);
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
    if (!isMenuOnly(m, kMenuInterface))
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

// ---------------------------------------------------------------------------------------
// StatusNotifierItem

namespace {
// The sizes hosts draw an icon at; each as the icon has it.
const int kIconSizes[] = {16, 22, 24, 32, 48, 64};

QList<DBusImage> pixmapsOf(const QIcon& icon) {
    QList<DBusImage> images;
    if (icon.isNull())
        return images;
    QList<QSize> done;
    for (int size : kIconSizes) {
        QImage image = icon.pixmap(QSize(size, size)).toImage();
        if (image.isNull() || done.contains(image.size()))
            continue;
        done.append(image.size());
        image = image.convertToFormat(QImage::Format_ARGB32);
        DBusImage out;
        out.width = image.width();
        out.height = image.height();
        out.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto* to = reinterpret_cast<quint32*>(out.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* from = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                *to++ = qToBigEndian(from[x]);
        }
        images.append(out);
    }
    return images;
}
} // namespace

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QString& id,
                                       const QString& title, QObject* parent)
    : QDBusVirtualObject(parent), bus_(bus), id_(id), title_(title), menu_(new DBusMenu(this)) {
    registerStatusNotifierTypes();
    toolTip_.title = title;
    menu_->attach(bus_, QString::fromLatin1(kMenuPath));
}

StatusNotifierItem::~StatusNotifierItem() {
    hide();
    if (objectsRegistered_) {
        bus_.unregisterObject(QString::fromLatin1(kItemPath));
        bus_.unregisterObject(QString::fromLatin1(kMenuPath));
    }
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    if (icon.cacheKey() == iconKey_ && !pixmaps_.isEmpty())
        return;
    iconKey_ = icon.cacheKey();
    QList<DBusImage> pixmaps = pixmapsOf(icon);
    if (pixmaps == pixmaps_)
        return;
    pixmaps_ = std::move(pixmaps);
    emitSignal("NewIcon");
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == toolTip_.title && text == toolTip_.text)
        return;
    toolTip_.title = title;
    toolTip_.text = text;
    emitSignal("NewToolTip");
}

void StatusNotifierItem::setMenu(QMenu* menu) {
    menu_->setMenu(menu);
}

bool StatusNotifierItem::show() {
    if (shown_)
        return true;
    if (!bus_.isConnected())
        return false;
    if (!objectsRegistered_) {
        objectsRegistered_ = bus_.registerVirtualObject(QString::fromLatin1(kItemPath), this) &&
                             bus_.registerVirtualObject(QString::fromLatin1(kMenuPath), menu_);
        if (!objectsRegistered_) {
            bus_.unregisterObject(QString::fromLatin1(kItemPath));
            return false;
        }
    }
    // The name hosts expect (org.kde.StatusNotifierItem-<pid>-<n>); another item of this process
    // (Qt's own) may have taken one, so the next is tried.
    static int counter = 0;
    for (int tries = 0; tries < 16 && service_.isEmpty(); ++tries) {
        const QString name = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(++counter);
        if (bus_.registerService(name))
            service_ = name;
    }
    if (service_.isEmpty())
        return false;
    shown_ = true;
    registerWithWatcher();
    return true;
}

void StatusNotifierItem::hide() {
    if (!shown_)
        return;
    shown_ = false;
    // The watcher forgets an item whose name has gone.
    bus_.unregisterService(service_);
    service_.clear();
}

void StatusNotifierItem::registerWithWatcher() {
    if (!shown_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.kde.StatusNotifierWatcher"),
        QStringLiteral("RegisterStatusNotifierItem"));
    call << service_;
    call.setAutoStartService(false);
    // Nobody waits: a watcher that is not there is heard of when one comes.
    bus_.asyncCall(call, 5000);
}

QVariantMap StatusNotifierItem::properties() const {
    return {
        {QStringLiteral("Category"), QStringLiteral("ApplicationStatus")},
        {QStringLiteral("Id"), id_},
        {QStringLiteral("Title"), title_},
        {QStringLiteral("Status"), QStringLiteral("Active")},
        {QStringLiteral("WindowId"), 0},
        {QStringLiteral("IconThemePath"), QString()},
        {QStringLiteral("IconName"), QString()},
        {QStringLiteral("IconPixmap"), QVariant::fromValue(pixmaps_)},
        {QStringLiteral("OverlayIconName"), QString()},
        {QStringLiteral("OverlayIconPixmap"), QVariant::fromValue(QList<DBusImage>())},
        {QStringLiteral("AttentionIconName"), QString()},
        {QStringLiteral("AttentionIconPixmap"), QVariant::fromValue(QList<DBusImage>())},
        {QStringLiteral("AttentionMovieName"), QString()},
        {QStringLiteral("ToolTip"), QVariant::fromValue(toolTip_)},
        {QStringLiteral("ItemIsMenu"), false},
        {QStringLiteral("Menu"),
         QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kMenuPath)))},
    };
}

QVariant StatusNotifierItem::property(const QString& name) const {
    return properties().value(name);
}

void StatusNotifierItem::emitSignal(const char* name) {
    if (!shown_)
        return;
    bus_.send(QDBusMessage::createSignal(QString::fromLatin1(kItemPath),
                                         QString::fromLatin1(kItemInterface),
                                         QString::fromLatin1(name)));
}

QString StatusNotifierItem::introspect(const QString&) const {
    return QStringLiteral(
        "  <interface name=\"org.kde.StatusNotifierItem\">\n"
        "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"
        "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"OverlayIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"AttentionIconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
        "    <property name=\"AttentionMovieName\" type=\"s\" access=\"read\"/>\n"
        "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>\n"
        "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"
        "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"
        "    <method name=\"ContextMenu\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"Activate\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"SecondaryActivate\">\n"
        "      <arg name=\"x\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"y\" type=\"i\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"Scroll\">\n"
        "      <arg name=\"delta\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"orientation\" type=\"s\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"ProvideXdgActivationToken\">\n"
        "      <arg name=\"token\" type=\"s\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <signal name=\"NewTitle\"/>\n"
        "    <signal name=\"NewIcon\"/>\n"
        "    <signal name=\"NewAttentionIcon\"/>\n"
        "    <signal name=\"NewOverlayIcon\"/>\n"
        "    <signal name=\"NewToolTip\"/>\n"
        "    <signal name=\"NewStatus\">\n"
        "      <arg name=\"status\" type=\"s\"/>\n"
        "    </signal>\n"
        "  </interface>\n");
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& m, const QDBusConnection& connection) {
    if (m.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString member = m.member();
    const QVariantList args = m.arguments();
    if (m.interface() == QLatin1String(kPropertiesInterface)) {
        if (member == QLatin1String("GetAll")) {
            connection.send(m.createReply(QVariant::fromValue(properties())));
            return true;
        }
        const QVariantMap all = properties();
        if (member == QLatin1String("Get") && args.size() == 2 &&
            all.contains(args.at(1).toString())) {
            connection.send(
                m.createReply(QVariant::fromValue(QDBusVariant(all.value(args.at(1).toString())))));
            return true;
        }
        connection.send(m.createErrorReply(QDBusError::InvalidArgs,
                                           QStringLiteral("No such property, or read-only")));
        return true;
    }
    if (!isMenuOnly(m, kItemInterface))
        return false;
    // Answered at once: what the call asks for (a menu that waits for the user, a window)
    // comes after the answer has left, so the host never waits for it.
    const auto at = [&args] {
        return args.size() >= 2 ? QPoint(args.at(0).toInt(), args.at(1).toInt()) : QPoint();
    };
    const auto later = [this](auto signal, QPoint point) {
        QTimer::singleShot(0, this, [this, signal, point] { Q_EMIT(this->*signal)(point); });
    };
    if (member == QLatin1String("ContextMenu") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::contextMenuRequested, at());
        return true;
    }
    if (member == QLatin1String("Activate") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::activated, at());
        return true;
    }
    if (member == QLatin1String("SecondaryActivate") && args.size() == 2) {
        connection.send(m.createReply());
        later(&StatusNotifierItem::secondaryActivated, at());
        return true;
    }
    if ((member == QLatin1String("Scroll") && args.size() == 2) ||
        (member == QLatin1String("ProvideXdgActivationToken") && args.size() == 1)) {
        connection.send(m.createReply());
        return true;
    }
    connection.send(m.createErrorReply(QDBusError::UnknownMethod,
                                       QStringLiteral("No method %1 here").arg(member)));
    return true;
}

} // namespace platform
