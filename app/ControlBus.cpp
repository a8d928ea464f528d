#include "app/ControlBus.h"

#include "desktop/TrayIcon.h"
#include "timing/MainWindow.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <cmath>

namespace korvan {

QDBusArgument& operator<<(QDBusArgument& argument, const BusTask& task) {
    argument.beginStructure();
    argument << task.name << task.seconds << task.running;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, BusTask& task) {
    argument.beginStructure();
    argument >> task.name >> task.seconds >> task.running;
    argument.endStructure();
    return argument;
}

void registerBusTypes() {
    qDBusRegisterMetaType<BusTask>();
    qDBusRegisterMetaType<QList<BusTask>>();
}

ControlBus::ControlBus(TForm1* mainWindow) : QObject(mainWindow), mainWindow_(mainWindow) {
    registerBusTypes();
    mainWindow_->onRunningTaskChanged = [this](const QString& name) {
        Q_EMIT RunningTaskChanged(name);
    };
}

bool ControlBus::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerService(QString::fromLatin1(kBusService)))
        return false;
    return bus.registerObject(QString::fromLatin1(kBusPath), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

QList<BusTask> ControlBus::ListTasks() const {
    QList<BusTask> list;
    for (const TProject* task : mainWindow_->Tasks)
        // Whole seconds as the grid shows them: milliseconds rounded, then cut.
        list.append({task->Name,
                     static_cast<qint64>(std::llround(task->CurrentTime() * 86400000.0) / 1000),
                     task->Running});
    return list;
}

void ControlBus::Start(const QString& name) {
    for (TProject* task : mainWindow_->Tasks) {
        if (task->Name != name)
            continue;
        // As choosing it in the tray menu; a task that runs goes on running.
        if (!task->Running) {
            mainWindow_->Tasks.choose(task);
            mainWindow_->RefreshGrid();
        }
        return;
    }
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(kUnknownTaskError),
                       QStringLiteral("There is no task named \"%1\".").arg(name));
}

void ControlBus::Stop() {
    mainWindow_->Button6Click(); // as "Stop" in the main window
}

void ControlBus::Show() {
    mainWindow_->TrayIcon1->RestoreMainWindow();
}

QDBusMessage CallRunningCopy(const QString& method, const QVariantList& arguments, int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kBusService), QString::fromLatin1(kBusPath),
        QString::fromLatin1(kBusInterface), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMs);
}

bool ShowRunningCopy() {
    return CallRunningCopy(QStringLiteral("Show"), {}, 3000).type() == QDBusMessage::ReplyMessage;
}

} // namespace korvan
