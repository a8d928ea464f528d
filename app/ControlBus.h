#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class TaskList;

namespace korvan {

// Where the running copy answers on the session bus.
inline constexpr char kBusService[] = "org.myrkat.Korvan";
inline constexpr char kBusPath[] = "/org/myrkat/Korvan";
inline constexpr char kBusInterface[] = "org.myrkat.Korvan1";
inline constexpr char kUnknownTaskError[] = "org.myrkat.Korvan1.Error.UnknownTask";

// One task as the bus reports it: name, recorded seconds (including the running
// segment) and whether it runs.
struct BusTask {
    QString name;
    qint64 seconds = 0;
    bool running = false;
};
QDBusArgument& operator<<(QDBusArgument& argument, const BusTask& task);
const QDBusArgument& operator>>(const QDBusArgument& argument, BusTask& task);
void registerBusTypes();

// The running copy's interface for scripts and shortcuts: list the tasks, start one by
// name, stop, show the main window, and a signal when the running task changes. Every
// call does what the same choice in the tray menu or the main window does.
class ControlBus : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.myrkat.Korvan1")
public:
    // Works on the task list; what else a change needs (the grid) and showing the main
    // window are the application's.
    explicit ControlBus(TaskList& tasks, QObject* parent = nullptr);
    std::function<void()> onTasksChanged, onShow;
    // Claims the service name and exports the object; false when another copy has it or
    // there is no session bus.
    bool publish();

    // The bus names of the methods and the signal are the interface scripts call.
    // NOLINTBEGIN(readability-identifier-naming)
public Q_SLOTS:
    QList<korvan::BusTask> ListTasks() const;
    void Start(const QString& name);
    void Stop();
    void Show();

Q_SIGNALS:
    // The name of the task that now runs; empty when none runs.
    void RunningTaskChanged(const QString& name);
    // NOLINTEND(readability-identifier-naming)

private:
    // Told once per change of the running task (a switch is one change), after the event
    // that caused it.
    void runningMayHaveChanged();

    TaskList& tasks_;
    bool announcePending_ = false;
    QString announcedTask_;
};

// Calls a method of the running copy's interface and waits for the answer.
QDBusMessage callRunningCopy(const QString& method, const QVariantList& arguments = {},
                             int timeoutMs = 10000);
// Asks a running copy to bring its main window forward; false when none answers.
bool showRunningCopy();

} // namespace korvan

Q_DECLARE_METATYPE(korvan::BusTask)
