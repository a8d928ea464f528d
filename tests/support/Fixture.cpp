#include "support/Fixture.h"

#include "desktop/PopupMenu.h"
#include "model/TaskList.h"
#include "model/TaskStore.h"
#include "model/WorkRecords.h"
#include "platform/Services.h"
#include "platform/WheelGuard.h"
#include "widgets/WidgetServices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>

Fixture::Fixture()
    : paths(std::make_unique<FakeProgramPath>()),
      registry(std::make_unique<platform::FileRegistry>(
          platform::FileRegistry::defaultPath(paths->configFolder()))),
      autostart(std::make_unique<platform::XdgAutostart>(paths->configFolder())) {
    platform::Services& s = platform::services();
    s.clock = &clock;
    s.messageBox = &boxes;
    s.trayShell = &shell;
    s.pointer = &pointer;
    s.saveFileDialog = &saveFile;
    s.shell = &desktopShell;
    s.windowSystem = &windowSystem;
    s.serverWait = &serverWait;
    s.programPath = paths.get();
    s.registry = registry.get();
    s.autostart = autostart.get();
    // The error report shows its box through the scripted one.
    installWidgetServices();
    qputenv("XDG_CONFIG_HOME", paths->configFolder().toLocal8Bit());
    // The program installs it once for all its windows.
    platform::WheelGuard::install();
    tasks_ = std::make_unique<TaskList>();
    store_ = std::make_unique<TaskStore>(*tasks_, options);
    records_ = std::make_unique<WorkRecords>(options.values().connection);
}

Fixture::~Fixture() {
    records_.reset();
    store_.reset();
    tasks_.reset();
    PopupMenu::setPopupHandler({});
    platform::services() = platform::Services{};
}

Task* addTask(TaskList& tasks, const QString& name, double hours) {
    auto* task = new Task(name);
    task->setTime(hours / 24.0);
    tasks.pushBack(task);
    return task;
}

Task* Fixture::addTask(const QString& name, double hours) const {
    return ::addTask(*tasks_, name, hours);
}

void fireTimer(QTimer* timer) {
    if (!QMetaObject::invokeMethod(timer, "timeout"))
        qFatal("cannot fire the timer %s", qPrintable(timer->objectName()));
}

void clickCheckBox(QWidget* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

void typeAndLeave(QWidget* field, const QString& text) {
    QApplication::setActiveWindow(field->window());
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
}

QByteArray Fixture::readStore() const {
    QFile file(storePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Fixture::rereadStore() {
    registry = std::make_unique<platform::FileRegistry>(storePath());
    platform::services().registry = registry.get();
}

void Fixture::writeStore(const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    QFile file(storePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the store %s", qPrintable(storePath()));
}
