#pragma once

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QObject>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace platform {

// Which notification area the program's icons go to, from what the session has now.
enum class TrayArea { None, XEmbed, Item };

// An item host wins over an XEmbed tray (it shows the menu and the left click as the
// desktop means them); an XEmbed tray is used only where the program can still make one
// (see QtTrayShell).
TrayArea chooseTrayArea(bool itemHost, bool xembedTray, bool xembedUsable);

// Whether a StatusNotifierItem host is registered with the session's watcher
// (org.kde.StatusNotifierWatcher), as the session changes: a watcher that comes or goes, a
// host that registers or leaves. The watch is set before the first question, so no change
// between the two goes unheard.
class ItemHostWatch : public QObject {
    Q_OBJECT
public:
    explicit ItemHostWatch(const QDBusConnection& bus, QObject* parent = nullptr);

    // As last heard.
    bool hostRegistered() const { return registered_; }
    // Asks the watcher now and waits for its answer (a watcher that takes longer than a
    // second counts as none); a change is signalled as any other.
    bool askNow();

Q_SIGNALS:
    void changed(bool hostRegistered);
    // A watcher took the name (anew, or another one): items register with it again.
    void watcherAppeared();

private Q_SLOTS:
    void onHostRegistered();
    void onHostUnregistered();

private:
    void askSoon();
    void set(bool registered);

    QDBusConnection bus_;
    QDBusServiceWatcher* names_ = nullptr;
    quint64 question_ = 0;
    bool registered_ = false;
};

// Whether an XEmbed tray owns the screen's _NET_SYSTEM_TRAY_S<n> selection, as trays come
// and go: a new owner announces itself on the root window (MANAGER), an owner that ends
// destroys its window. Asks the X server through the toolkit's own connection and never
// through Qt's tray classes (whose question about the D-Bus tray is asked once only). On
// another display server there is never such a tray.
class XEmbedTrayWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit XEmbedTrayWatch(QObject* parent = nullptr);
    ~XEmbedTrayWatch() override;

    bool trayPresent() const { return owner_ != 0; }
    // Asks the X server now; a change is signalled as any other.
    bool askNow();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    void changed(bool trayPresent);

private:
    void* connection_ = nullptr; // xcb_connection_t
    quint32 root_ = 0, selection_ = 0, manager_ = 0, owner_ = 0;
};

} // namespace platform
