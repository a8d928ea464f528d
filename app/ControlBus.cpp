#include "app/ControlBus.h"

#include "model/TaskList.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QTimer>
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

ControlBus::ControlBus(TaskList& tasks, QObject* parent) : QObject(parent), tasks_(tasks) {
    registerBusTypes();
    connect(&tasks_, &TaskList::started, this, [this] { runningMayHaveChanged(); });
    connect(&tasks_, &TaskList::stopped, this, [this] { runningMayHaveChanged(); });
    connect(&tasks_, &TaskList::runningChanged, this, [this] { runningMayHaveChanged(); });
}

void ControlBus::runningMayHaveChanged() {
    if (announcePending_)
        return;
    announcePending_ = true;
    QTimer::singleShot(0, this, [this] {
        announcePending_ = false;
        const Task* running = tasks_.running();
        const QString name = running ? running->name() : QString();
        if (name == announcedTask_)
            return;
        announcedTask_ = name;
        Q_EMIT RunningTaskChanged(name);
    });
}

bool ControlBus::publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(kBusPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals))
        return false;
    // A second copy the user let run waits in line for the name: when the first ends, the
    // bus gives it to this one, and scripts reach the copy that still runs.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QString::fromLatin1(kBusService),
                                         QDBusConnectionInterface::QueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid() && reply.value() != QDBusConnectionInterface::ServiceNotRegistered;
}

QList<BusTask> ControlBus::ListTasks() const {
    QList<BusTask> list;
    for (const Task* task : tasks_)
        // Whole seconds as the grid shows them: milliseconds rounded, then cut.
        list.append({task->name(),
                     static_cast<qint64>(std::llround(task->currentTime() * 86400000.0) / 1000),
                     task->running()});
    return list;
}

void ControlBus::Start(const QString& name) {
    for (Task* task : tasks_) {
        if (task->name() != name)
            continue;
        // As choosing it in the tray menu; a task that runs goes on running.
        if (!task->running()) {
            tasks_.choose(task);
            if (onTasksChanged)
                onTasksChanged();
        }
        return;
    }
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(kUnknownTaskError),
                       QStringLiteral("There is no task named \"%1\".").arg(name));
}

void ControlBus::Stop() {
    // As "Stop" in the main window.
    tasks_.stopAll();
    if (onTasksChanged)
        onTasksChanged();
}

void ControlBus::Show() {
    if (onShow)
        onShow();
}

QDBusMessage callRunningCopy(const QString& method, const QVariantList& arguments, int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kBusService), QString::fromLatin1(kBusPath),
        QString::fromLatin1(kBusInterface), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMs);
}

bool showRunningCopy() {
    return callRunningCopy(QStringLiteral("Show"), {}, 3000).type() == QDBusMessage::ReplyMessage;
}

} // namespace korvan
