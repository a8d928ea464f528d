#pragma once

#include "desktop/PopupMenu.h"
#include "desktop/TrayIcon.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QTableView>
#include <QtTest>
#include <functional>

// What the main window's tests share: the window on a fixture, as the program starts it, and
// the ways they look at it (the grid's cells, the tray menu as the user opens it).
class MainWindowTest : public QObject {
protected:
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QAbstractItemModelTester> gridTester_;

    void setUpWindow() {
        f_ = std::make_unique<Fixture>();
        start();
    }
    void tearDownWindow() {
        stop();
        f_.reset();
    }
    // The main window on the fixture's settings and task list, as the program starts it;
    // the grid's model is checked for consistency through every change.
    void start() {
        window_ = std::make_unique<MainWindow>(f_->store());
        gridTester_ = std::make_unique<QAbstractItemModelTester>(
            child<QTableView>(window_.get(), "StringGrid1")->model(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void stop() {
        gridTester_.reset();
        window_.reset();
    }

    Task* addTask(const QString& name, double hours = 0) { return f_->addTask(name, hours); }
    // The first task of that name in the list.
    Task* taskNamed(const char* name) const {
        for (Task* task : f_->tasks())
            if (task->name() == QLatin1String(name))
                return task;
        return nullptr;
    }
    QString cell(int row, int column) const {
        const QAbstractItemModel* m = child<QTableView>(window_.get(), "StringGrid1")->model();
        return m->data(m->index(row, column)).toString();
    }
    void select(int row) { window_->selectTaskRow(row); }
    static QStringList captionsOf(const QMenu* menu) {
        QStringList captions;
        for (QAction* a : menu->actions())
            captions << (a->data().toInt() == 100 ? MainWindow::entryCaption(a) : a->text());
        return captions;
    }
    QStringList menuCaptions() const {
        return captionsOf(child<PopupMenu>(window_.get(), "PopupMenu1"));
    }

    // The program started anew on a store of tasks "Task 0000", "Task 0001"... with no time.
    void startWithTasks(int count,
                        platform::TrayProtocol protocol = platform::TrayProtocol::XEmbed) {
        stop();
        f_.reset();
        f_ = std::make_unique<Fixture>();
        f_->shell.trayProtocol = protocol;
        QByteArray store =
            kStoreHead + "\"Count\"=dword:" + QByteArray::number(count, 16).rightJustified(8, '0') +
            "\r\n";
        for (int i = 0; i < count; ++i)
            store += "\"Project" + QByteArray::number(i) + "\"=\"" + taskName(i).toLatin1() +
                     "\"\r\n\"Time" + QByteArray::number(i) + "\"=hex:00,00,00,00,00,00,00,00\r\n";
        f_->writeStore(store);
        start();
    }
    static QString taskName(int i) {
        return QStringLiteral("Task %1").arg(i, 4, 10, QLatin1Char('0'));
    }
    // A right click on the tray icon; the menu pops up and `act` works in it as the user.
    void inTrayMenu(const std::function<void(QMenu*)>& act) {
        bool opened = false;
        PopupMenu::setPopupHandler([&](PopupMenu* menu, const QPoint& pos) {
            opened = true;
            menu->popup(pos);
            if (!QTest::qWaitForWindowExposed(menu))
                QFAIL("the tray menu does not show");
            act(menu);
            menu->hide();
        });
        f_->shell.requestContext();
        PopupMenu::setPopupHandler({});
        QVERIFY(opened);
    }
    // The menu is all on the screen it shows on.
    static bool onScreen(const QMenu* menu) {
        return menu->isVisible() && menu->screen()->availableGeometry().contains(menu->geometry());
    }
    TrayIcon* trayIcon() const { return child<TrayIcon>(window_.get(), "TrayIcon1"); }
    QTimer* trayCheck() const { return child<QTimer>(window_.get(), "TrayCheckTimer"); }
};
