#include "platform/ServerProbe.h"

#include "platform/ConnectionString.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <mutex>
#include <thread>

namespace platform {

namespace {
// Guards each probe's link to whoever asked, and the end of the program: once the application
// object is gone, Qt's register of connections may go at any moment, and a probe that is
// still waiting then must not touch it any more. Never destroyed, so that such a probe finds
// it still there.
std::mutex& probeMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
bool gEnded = false;
std::atomic<int> gProbes{0};

void noteEnd() {
    const std::lock_guard<std::mutex> lock(probeMutex());
    gEnded = true;
}
} // namespace

struct ServerProbe::Link {
    ServerProbe* asker = nullptr;
};

ServerProbe::ServerProbe(const QString& connectionString, int timeoutSeconds, QObject* parent)
    : QObject(parent), link_(std::make_shared<Link>()) {
    link_->asker = this;
    static std::once_flag endWatched;
    std::call_once(endWatched, [] { qAddPostRoutine(noteEnd); });
    const QString name = QStringLiteral("korvan-probe-%1").arg(++gProbes);
    // Detached: nobody can make a server answer sooner, and the program must be able to end
    // while one keeps it waiting.
    std::thread(ask, connectionString, timeoutSeconds, name, link_).detach();
}

ServerProbe::~ServerProbe() {
    const std::lock_guard<std::mutex> lock(probeMutex());
    link_->asker = nullptr;
}

void ServerProbe::ask(const QString& connectionString, int timeoutSeconds, const QString& name,
                      const std::shared_ptr<Link>& link) {
    const ConnectionString cs = ConnectionString::parse(connectionString);
    QString error;
    // On the heap: left alone when the program has ended meanwhile.
    auto* db = new QSqlDatabase(QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name));
    applyPostgresSettings(*db, cs);
    db->setConnectOptions(postgresConnectOptions(cs, timeoutSeconds));
    if (const QString problem = postgresSettingsProblem(cs); !problem.isEmpty()) {
        error = problem;
    } else if (!db->open()) {
        error = explainPostgresFailure(cs, db->lastError().text().trimmed());
    } else {
        QSqlQuery q(*db);
        if (!q.exec(QStringLiteral("SELECT 1")))
            error = q.lastError().text().trimmed();
    }
    const QString password = cs.value(QStringLiteral("Password"));
    if (!password.isEmpty())
        error.replace(password, QStringLiteral("***"));
    if (!db->isValid() && error.isEmpty())
        error = QStringLiteral("The Qt database driver QPSQL is not installed");

    const std::lock_guard<std::mutex> lock(probeMutex());
    if (gEnded)
        return;
    db->close();
    delete db;
    QSqlDatabase::removeDatabase(name);
    if (ServerProbe* asker = link->asker)
        QMetaObject::invokeMethod(
            asker, [asker, error] { Q_EMIT asker->answered(error); }, Qt::QueuedConnection);
}

} // namespace platform
