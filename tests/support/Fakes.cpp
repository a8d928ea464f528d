#include "support/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QWidget>
#include <csignal>
#include <sys/resource.h>

using namespace platform;

MsgAnswer ScriptedMessageBox::show(QWidget*, const QString& text, const QString& caption,
                                   MsgIcon icon, MsgButtons buttons) {
    shown.append({text, caption, icon, buttons});
    // Like a real box, it takes the focus from the window behind it while it is up and
    // gives it back afterwards: whatever a field does when it loses the focus happens.
    QPointer<QWidget> behind = QApplication::activeWindow();
    std::unique_ptr<QWidget> box;
    if (behind) {
        box = std::make_unique<QWidget>(nullptr, Qt::Dialog);
        box->setFocusPolicy(Qt::StrongFocus);
        box->show();
        QApplication::setActiveWindow(box.get());
        box->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (onShow)
        onShow(shown.last());
    if (box) {
        box.reset();
        if (behind)
            QApplication::setActiveWindow(behind);
    }
    if (!answers.isEmpty())
        return answers.takeFirst();
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
        return MsgAnswer::Cancel;
    default:
        return MsgAnswer::No;
    }
}

bool FakeTrayShell::showIcon() {
    calls << QStringLiteral("show");
    if (iconShown)
        return false;
    iconShown = true;
    return true;
}

bool FakeTrayShell::hideIcon() {
    calls << QStringLiteral("hide");
    if (!iconShown)
        return false;
    iconShown = false;
    return true;
}

bool FakeTrayShell::showMessage(const TrayMessage& message) {
    calls << QStringLiteral("message");
    messages << message;
    return iconShown;
}

FakeProgramPath::FakeProgramPath() {
    QDir(root.path()).mkpath(QStringLiteral("bin"));
    QDir(root.path()).mkpath(QStringLiteral("data/Myrkat/Korvan"));
    QDir(root.path()).mkpath(QStringLiteral("config"));
}
QString FakeProgramPath::programFile() const {
    return root.path() + "/bin/korvan";
}
QString FakeProgramPath::programFolder() const {
    return root.path() + "/bin/";
}
QString FakeProgramPath::dataFolder() const {
    return root.path() + "/data/Myrkat/Korvan/";
}
QString FakeProgramPath::configFolder() const {
    return root.path() + "/config";
}

FullDisk::FullDisk(unsigned long limitBytes) {
    signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    oldCurrent_ = limit.rlim_cur;
    limit.rlim_cur = limitBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FullDisk::~FullDisk() {
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = oldCurrent_;
    setrlimit(RLIMIT_FSIZE, &limit);
}
