#include "support/Fixture.h"

#include "database/DatabaseDialog.h"

#include "desktop/PopupMenu.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Services.h"
#include "platform/WheelGuard.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>

Fixture::Fixture(bool create)
    : paths(std::make_unique<FakeProgramPath>()),
      registry(std::make_unique<platform::FileRegistry>(
          platform::FileRegistry::defaultPath(paths->configFolder()))),
      autostart(std::make_unique<platform::XdgAutostart>(paths->configFolder())) {
    platform::Services& s = platform::services();
    s.clock = &clock;
    s.messageBox = &boxes;
    s.notifyShell = &shell;
    s.pointer = &pointer;
    s.saveFileDialog = &saveFile;
    s.shell = &desktopShell;
    s.programPath = paths.get();
    s.registry = registry.get();
    s.autostart = autostart.get();
    qputenv("XDG_CONFIG_HOME", paths->configFolder().toLocal8Bit());
    // The program installs it once for all its windows.
    platform::WheelGuard::install();
    tasks_ = std::make_unique<TaskList>();
    records_ = std::make_unique<WorkRecords>(settings.connection);
    if (create)
        createWindows();
}

Fixture::~Fixture() {
    destroyWindows();
    records_.reset();
    tasks_.reset();
    TPopupMenu::setPopupHandler({});
    platform::services() = platform::Services{};
}

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TSummary* Summary = nullptr;
TSetup* Setup = nullptr;
TEditBox* EditBox = nullptr;

void Fixture::createWindows() {
    app = std::make_unique<korvan::Application>();
    Form1 = app->mainWindow();
    Form2 = app->editDialog();
    Form3 = app->about();
    Form4 = app->progress();
    Form5 = app->descriptionPrompt();
    Summary = app->booking();
    Setup = app->database();
    EditBox = Setup->nameBox();
    windows_ = true;
}

void Fixture::destroyWindows() {
    if (!windows_)
        return;
    app.reset();
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
    Summary = nullptr;
    Setup = nullptr;
    EditBox = nullptr;
    windows_ = false;
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

void Fixture::writeStore(const QByteArray& bytes) const {
    QDir().mkpath(QFileInfo(storePath()).absolutePath());
    QFile file(storePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the store %s", qPrintable(storePath()));
}
