#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace platform {

// Whether a PostgreSQL server answers, asked on a thread of its own. A stopped server still
// has its connections accepted by the kernel and then says nothing: whoever connects waits
// until the connection timeout, and the program's own thread must not be the one waiting.
// The question is a connection of its own, with the options of the program's connections,
// and a trivial statement on it.
class ServerProbe : public QObject {
    Q_OBJECT
public:
    // Asks at once; answered() comes on the thread this object lives in.
    ServerProbe(const QString& connectionString, int timeoutSeconds, QObject* parent = nullptr);
    // Leaves the question to itself: its thread ends on its own, within the timeout once the
    // server is silent, and tells nobody.
    ~ServerProbe() override;
    ServerProbe(const ServerProbe&) = delete;
    ServerProbe& operator=(const ServerProbe&) = delete;

Q_SIGNALS:
    // The server ran the statement (no error), or the engine's reason why it did not, with
    // the password taken out.
    void answered(const QString& error);

private:
    struct Link;
    static void ask(const QString& connectionString, int timeoutSeconds, const QString& name,
                    const std::shared_ptr<Link>& link);
    std::shared_ptr<Link> link_;
};

// Comes before this thread waits on a database server: returns once the server has answered,
// throws Error with the text for the user when it could not be reached, did not answer within
// the timeout or the user stopped waiting. The windows' layer shows the wait
// (services().serverWait); without one nobody asks first.
class ServerWait {
public:
    virtual ~ServerWait() = default;
    virtual void waitForServer(const QString& connectionString, int timeoutSeconds) = 0;
};

} // namespace platform
