#pragma once

#include "platform/ServerProbe.h"

#include <QDialog>

class QPushButton;
class QTimer;

// "Waiting for the database server..." with Cancel, for a server that has kept the program
// waiting for a moment. Escape and the close box cancel too.
class ServerWaitWindow : public QDialog {
    Q_OBJECT
public:
    // Object names as the tests find them: ServerWait, with CancelWait, ShowTimer (the moment
    // after which it shows) and GiveUpTimer (the connection timeout).
    ServerWaitWindow(const QString& server, int timeoutSeconds);
    ~ServerWaitWindow() override;

    QPushButton* cancelButton() const { return cancelButton_; }
    QTimer* showTimer() const { return showTimer_; }
    QTimer* giveUpTimer() const { return giveUpTimer_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPushButton* cancelButton_;
    QTimer* showTimer_;
    QTimer* giveUpTimer_;
    bool arrowCursor_ = false;
};

// The wait as the windows show it: the server is asked on a thread of its own while this
// thread goes on with everything else (the tray, the windows, the bus). Installed by
// installWidgetServices.
class WindowedServerWait : public platform::ServerWait {
public:
    void waitForServer(const QString& connectionString, int timeoutSeconds) override;
    // A server nearby answers well within it, and then nothing shows.
    int showAfterMs = 400;
};
