#pragma once

#include "platform/Clock.h"
#include "platform/IdleSource.h"
#include "platform/Pointer.h"
#include "platform/ProgramPath.h"
#include "platform/ServerProbe.h"
#include "platform/Shell.h"
#include "platform/TrayShell.h"
#include "platform/WindowSystem.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <optional>

// A clock that only moves when the test moves it.
class FakeClock : public platform::Clock {
public:
    double value = 45000.5;     // 2023-03-15 12:00 local
    qint64 elapsed = 1000000;   // since boot, awake
    qint64 utc = 1678881600000; // 2023-03-15 12:00 UTC
    double now() const override { return value; }
    qint64 elapsedMs() const override { return elapsed; }
    qint64 utcMs() const override { return utc; }
    // Time passes with the computer awake.
    void advanceSeconds(double s) {
        value += s / 86400.0;
        elapsed += static_cast<qint64>(s * 1000);
        utc += static_cast<qint64>(s * 1000);
    }
    // The wall clock alone jumps: a correction, or local time only (daylight saving).
    void shiftWallSeconds(double s, bool localOnly = false) {
        value += s / 86400.0;
        if (!localOnly)
            utc += static_cast<qint64>(s * 1000);
    }
    // The computer sleeps: the wall clock goes on, elapsed time stands still.
    void sleepSeconds(double s) { shiftWallSeconds(s); }
};

// Answers message boxes from a script and records every box shown.
class ScriptedMessageBox : public MessageBoxService {
public:
    struct Box {
        QString text, caption;
        MsgIcon icon;
        MsgButtons buttons;
    };
    QList<Box> shown;
    QList<MsgAnswer> answers;
    // Runs while a box is up, as the user would look at the screen behind it.
    std::function<void(const Box&)> onShow;

    MsgAnswer show(QWidget* parent, const QString& text, const QString& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void answer(MsgAnswer a) { answers.append(a); }
    Box last() const { return shown.isEmpty() ? Box{} : shown.last(); }
};

// Keeps what the icon shows, records its comings and goings and the messages, and lets the
// test send the shell's events as a notification area would.
class FakeTrayShell : public platform::TrayShell {
public:
    // "show", "hide", "message", "clear", in the order called.
    QStringList calls;
    bool iconShown = false;
    QIcon icon;
    QString toolTip;
    QList<platform::TrayMessage> messages;

    // The desktop's kind of tray, and the menu handed to an item host (the shell keeps the
    // one it was given for a host that comes later).
    platform::TrayProtocol trayProtocol = platform::TrayProtocol::XEmbed;
    bool available = true;
    QMenu* exportedMenu = nullptr;
    QMenu* givenMenu = nullptr;

    platform::TrayProtocol protocol() const override { return trayProtocol; }
    bool trayAvailable() const override { return available; }
    bool showIcon() override;
    bool hideIcon() override;
    void setIcon(const QIcon& image) override { icon = image; }
    void setToolTip(const QString& text) override { toolTip = text; }
    void setMenu(QMenu* menu) override {
        givenMenu = menu;
        if (trayProtocol == platform::TrayProtocol::StatusNotifierItem)
            exportedMenu = menu;
    }
    bool showMessage(const platform::TrayMessage& message) override;
    void clearMessage() override { calls << QStringLiteral("clear"); }

    // The user on the icon, as the area reports it; `at` is the place the area names (an
    // item host does), else the component asks the pointer.
    void press(platform::TrayButton button, platform::TrayPlace at = std::nullopt) {
        Q_EMIT pressed(button, at);
    }
    void release(platform::TrayButton button, platform::TrayPlace at = std::nullopt) {
        Q_EMIT released(button, at);
    }
    void activate(platform::TrayButton button, platform::TrayClick click,
                  platform::TrayPlace at = std::nullopt) {
        Q_EMIT activated(button, click, at);
    }
    // The double-click that opens the main window (an item host's left click stands for it).
    void doubleClick(platform::TrayPlace at = std::nullopt) {
        activate(platform::TrayButton::Left, platform::TrayClick::Double, at);
    }
    void requestContext(platform::TrayPlace at = std::nullopt) { Q_EMIT contextRequested(at); }
    void movePointer(platform::TrayPlace at = std::nullopt) { Q_EMIT pointerMoved(at); }
    void clickMessage() { Q_EMIT messageClicked(); }
    // The session's area changes (a host that comes or goes): the icon goes there, and the
    // program hears of it.
    void changeTray(platform::TrayProtocol protocol, bool shown) {
        trayProtocol = protocol;
        available = shown;
        exportedMenu =
            protocol == platform::TrayProtocol::StatusNotifierItem && shown ? givenMenu : nullptr;
        Q_EMIT trayChanged();
    }
    // The shell restarted: the icon is gone until the program shows it again.
    void restart() { iconShown = false; }
};

class FakePointer : public platform::Pointer {
public:
    QPoint pos{100, 200};
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    int doubleClick = 500;
    bool cursorPos(QPoint& p) const override {
        p = pos;
        return true;
    }
    Qt::KeyboardModifiers keys() const override { return modifiers; }
    int doubleClickTime() const override { return doubleClick; }
};

// Program and user folders inside a temporary folder.
class FakeProgramPath : public platform::ProgramPath {
public:
    FakeProgramPath();
    QTemporaryDir root;
    QString programFile() const override;
    QString programFolder() const override;
    QString dataFolder() const override;
    QString configFolder() const override;
};

// Answers the save-file dialog from a script and records what it was asked.
class ScriptedSaveFileDialog : public SaveFileDialogService {
public:
    QList<QString> answers; // empty string: cancelled
    QList<SaveFileRequest> requests;
    QString getSaveFileName(QWidget*, const SaveFileRequest& request) override {
        requests.append(request);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// Records what the program asks the desktop to open; carries a version record or none.
class FakeShell : public platform::Shell {
public:
    QStringList opened;
    bool hasRecord = true;
    platform::VersionRecord record;
    FakeShell() {
        record.translations.append({0x0405, 0x04E2});
        record.strings[QStringLiteral("040504E2")][QStringLiteral("FileVersion")] =
            QStringLiteral("1.5.1.109");
    }
    bool open(const QString& address) override {
        opened << address;
        return true;
    }
    const platform::VersionRecord* versionRecord() const override {
        return hasRecord ? &record : nullptr;
    }
};

// A disk that is full for as long as it lives: no write may grow a file beyond the limit.
class FullDisk {
public:
    explicit FullDisk(unsigned long limitBytes);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    unsigned long oldCurrent_;
};

// Idle for as long as the test says. With tellsReturn it says itself when the user is back:
// the test calls back.
class FakeIdleSource : public platform::IdleSource {
public:
    qint64 idle = 0;
    int looks = 0; // how often the program asked
    bool tellsReturn = false;
    std::function<void()> back; // the program's watch, while it has one
    qint64 idleMs() override {
        ++looks;
        return idle;
    }
    bool watchReturn(const std::function<void()>& call) override {
        if (tellsReturn)
            back = call;
        return tellsReturn;
    }
    void stopWatching() override { back = nullptr; }
    // The user is back: the watch calls back, once.
    void sayBack() {
        const std::function<void()> call = std::move(back);
        back = nullptr;
        call();
    }
};

// The display server as the test has it: X11 lets the program restore its own windows,
// Wayland does not.
class FakeWindowSystem : public platform::WindowSystem {
public:
    bool restores = true;
    bool programRestoresWindows() const override { return restores; }
};

// A database server that answers at once: nothing is asked before a connection opens. The
// tests of a silent server install the real wait.
class ImmediateServerWait : public platform::ServerWait {
public:
    void waitForServer(const QString&, int) override {}
};
