#include "widgets/ServerWaitWindow.h"

#include "platform/Centre.h"
#include "platform/ConnectionString.h"
#include "platform/Error.h"
#include "widgets/Named.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

namespace {
// While the wait window shows, the windows that were open when the wait began take no
// clicks or keys: the work of one of them is halfway. Unlike a modal window this leaves the
// tray icon (embedded by the notification area, outside the window manager) and its menu
// usable, and whatever window opens meanwhile.
class HalfwayWindows : public QObject {
public:
    explicit HalfwayWindows(const QWidget* waitWindow) {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != waitWindow && window->isVisible() && window->windowType() != Qt::Popup &&
                !window->windowFlags().testFlag(Qt::BypassWindowManagerHint))
                blocked_ << window;
        qApp->installEventFilter(this);
    }
    ~HalfwayWindows() override { qApp->removeEventFilter(this); }
    HalfwayWindows(const HalfwayWindows&) = delete;
    HalfwayWindows& operator=(const HalfwayWindows&) = delete;

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Close:
            if (!event->spontaneous())
                return false;
            break;
        case QEvent::ShortcutOverride: // taken here, a key is no shortcut either
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            break;
        default:
            return false;
        }
        const auto* widget = qobject_cast<QWidget*>(target);
        if (!widget || !blocked_.contains(widget->window()))
            return false;
        event->accept();
        return true;
    }

private:
    QList<QPointer<QWidget>> blocked_;
};
} // namespace

// Above the windows it keeps from the user's input, which a click may still raise.
ServerWaitWindow::ServerWaitWindow(const QString& server, int timeoutSeconds)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("ServerWait"));
    setWindowTitle(QStringLiteral("Database server"));
    auto* text = label("WaitText", QStringLiteral("Waiting for the database server %1...\n"
                                                  "Korvan gives up after %2 seconds.")
                                       .arg(server)
                                       .arg(timeoutSeconds));
    cancelButton_ = button("CancelWait", QStringLiteral("Cancel"));
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
    showTimer_ = named(new QTimer(this), "ShowTimer");
    showTimer_->setSingleShot(true);
    giveUpTimer_ = named(new QTimer(this), "GiveUpTimer");
    giveUpTimer_->setSingleShot(true);
    giveUpTimer_->setInterval(timeoutSeconds * 1000);
}

ServerWaitWindow::~ServerWaitWindow() {
    hide();
}

void ServerWaitWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The hourglass of whatever waits is not for the Cancel button.
    if (!arrowCursor_) {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        arrowCursor_ = true;
    }
    cancelButton_->setFocus();
}

void ServerWaitWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (arrowCursor_) {
        QGuiApplication::restoreOverrideCursor();
        arrowCursor_ = false;
    }
}

void WindowedServerWait::waitForServer(const QString& connectionString, int timeoutSeconds) {
    timeoutSeconds = qMax(1, timeoutSeconds);
    const QString server =
        platform::ConnectionString::parse(connectionString).value(QStringLiteral("Data Source"));
    enum class End { Waiting, Answered, Cancelled, TimedOut };
    End end = End::Waiting;
    QString error;
    QEventLoop loop;
    ServerWaitWindow window(server, timeoutSeconds);
    std::optional<HalfwayWindows> halfway;
    const auto finish = [&](End how) {
        if (end == End::Waiting)
            end = how;
        loop.quit();
    };
    platform::ServerProbe probe(connectionString, timeoutSeconds);
    QObject::connect(&probe, &platform::ServerProbe::answered, &loop, [&](const QString& reason) {
        error = reason;
        finish(End::Answered);
    });
    QObject::connect(&window, &QDialog::rejected, &loop, [&] { finish(End::Cancelled); });
    QObject::connect(window.giveUpTimer(), &QTimer::timeout, &loop, [&] { finish(End::TimedOut); });
    QObject::connect(window.showTimer(), &QTimer::timeout, &loop, [&] {
        window.showTimer()->stop();
        if (end != End::Waiting || window.isVisible())
            return;
        window.adjustSize();
        platform::centreOnScreen(&window);
        window.show();
        halfway.emplace(&window);
        // On with the user's input, now kept from the windows that wait.
        loop.quit();
    });
    window.giveUpTimer()->start();
    window.showTimer()->start(showAfterMs);
    // Until the window shows, the user's clicks and keys wait: nothing they start can come
    // between the caller and its statement.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The window is up, unless the program is ending: then every loop ends at once.
    if (end == End::Waiting && window.isVisible())
        loop.exec();
    halfway.reset();
    window.hide();
    switch (end) {
    case End::Answered:
        if (error.isEmpty())
            return;
        throw platform::Error(QStringLiteral("Cannot connect to the database: ") + error);
    case End::TimedOut:
        throw platform::Error(
            QStringLiteral("The database server %1 did not answer within %2 seconds. Nothing "
                           "was read or written; Korvan asks the server again when it next "
                           "needs the database.")
                .arg(server)
                .arg(timeoutSeconds));
    case End::Waiting:
    case End::Cancelled:
        break;
    }
    throw platform::Error(QStringLiteral("Korvan stopped waiting for the database server %1. "
                                         "Nothing was read or written.")
                              .arg(server));
}
