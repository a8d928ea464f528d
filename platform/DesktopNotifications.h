#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

namespace platform {

// Notifications through the desktop's notification service on the session bus
// (org.freedesktop.Notifications), where one runs.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    // On the session bus, or on the given one.
    explicit DesktopNotifications(QObject* parent = nullptr);
    DesktopNotifications(const QDBusConnection& bus, QObject* parent = nullptr);

    // Whether a notification service owns its name on the session bus now.
    bool available() const;
    // Shows (or replaces) this program's notification; line breaks may be "\r", "\n" or
    // "\r\n". False when there is no session bus.
    bool show(const QString& title, const QString& text, int timeoutMs);

Q_SIGNALS:
    // The user clicked the notification or chose its "Switch task" action.
    void clicked();

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus() const;

    std::optional<QDBusConnection> bus_;
    uint lastId_ = 0;
    bool connected_ = false;
    bool markupKnown_ = false;
    bool markup_ = false;
};

} // namespace platform
