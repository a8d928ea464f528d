#include "platform/QtNotifyShell.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace platform {

QtNotifyShell::QtNotifyShell() = default;

QtNotifyShell::~QtNotifyShell() {
    for (auto& entry : entries_)
        delete entry.icon;
}

bool QtNotifyShell::notifyIcon(NotifyMessage message, const NotifyIconData& data) {
    const Key key(data.hWnd, data.uID);
    auto it = entries_.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != entries_.end())
            return false;
        Entry entry;
        entry.icon = new QSystemTrayIcon;
        entry.target = data.hWnd;
        entry.id = data.uID;
        entry.callback = data.uCallbackMessage;
        QSystemTrayIcon* icon = entry.icon;
        connect(icon, &QSystemTrayIcon::activated, this,
                [this, key](QSystemTrayIcon::ActivationReason reason) {
                    switch (reason) {
                    case QSystemTrayIcon::Trigger:
                        deliver(key, WM_LBUTTONDOWN);
                        deliver(key, WM_LBUTTONUP);
                        break;
                    case QSystemTrayIcon::DoubleClick:
                        deliver(key, WM_LBUTTONDBLCLK);
                        deliver(key, WM_LBUTTONUP);
                        break;
                    case QSystemTrayIcon::Context:
                        deliver(key, WM_RBUTTONDOWN);
                        deliver(key, WM_RBUTTONUP);
                        break;
                    case QSystemTrayIcon::MiddleClick:
                        deliver(key, WM_MBUTTONDOWN);
                        deliver(key, WM_MBUTTONUP);
                        break;
                    default:
                        break;
                    }
                });
        connect(icon, &QSystemTrayIcon::messageClicked, this,
                [this, key] { deliver(key, NIN_BALLOONUSERCLICK); });
        it = entries_.insert(key, entry);
        apply(*it, data);
        icon->show();
        if (qEnvironmentVariableIsSet("KORVAN_REPORT_TRAY_GEOMETRY"))
            reportGeometryWhenEmbedded(icon);
        return true;
    }
    case NIM_MODIFY:
        if (it == entries_.end())
            return false;
        apply(*it, data);
        return true;
    case NIM_DELETE:
        if (it == entries_.end())
            return false;
        it->icon->hide();
        it->icon->deleteLater();
        entries_.erase(it);
        return true;
    }
    return false;
}

void QtNotifyShell::apply(Entry& entry, const NotifyIconData& data) {
    if (data.uFlags & NIF_MESSAGE)
        entry.callback = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON)
        entry.icon->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        entry.icon->setToolTip(data.szTip);
    if ((data.uFlags & NIF_INFO) && !data.szInfo.isEmpty()) {
        QSystemTrayIcon::MessageIcon kind = QSystemTrayIcon::NoIcon;
        switch (data.dwInfoFlags & 3) {
        case NIIF_INFO:
            kind = QSystemTrayIcon::Information;
            break;
        case NIIF_WARNING:
            kind = QSystemTrayIcon::Warning;
            break;
        case NIIF_ERROR:
            kind = QSystemTrayIcon::Critical;
            break;
        default:
            break;
        }
        entry.icon->showMessage(data.szInfoTitle, data.szInfo, kind,
                                static_cast<int>(data.uTimeout));
    }
}

void QtNotifyShell::deliver(const Key& key, qint32 code) {
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd() || !it->target)
        return;
    it->target->notifyMessage(it->callback, it->id, code);
}

// For the end-to-end tests and the start-up benchmark: print where the icon sits once the
// tray host has embedded it, so a driver can click it.
void QtNotifyShell::reportGeometryWhenEmbedded(QSystemTrayIcon* icon) {
    auto* poll = new QTimer(icon);
    poll->setInterval(20);
    auto last = std::make_shared<QRect>();
    // "watch" keeps reporting (a tray host that restarts); otherwise the first report ends it.
    const bool watch = qgetenv("KORVAN_REPORT_TRAY_GEOMETRY") == "watch";
    connect(poll, &QTimer::timeout, icon, [icon, last, poll, watch] {
        const QRect r = icon->geometry();
        const QRect valid = (r.width() > 1 && r.height() > 1) ? r : QRect();
        if (valid == *last)
            return;
        *last = valid;
        if (valid.isNull())
            std::fprintf(stderr, "korvan-tray-gone\n");
        else
            std::fprintf(stderr, "korvan-tray-geometry %d %d %d %d\n", r.x(), r.y(), r.width(),
                         r.height());
        std::fflush(stderr);
        if (!valid.isNull() && !watch)
            poll->stop();
    });
    poll->start();
}

} // namespace platform
