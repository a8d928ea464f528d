#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/DesktopNotifications.h"
#include "platform/Error.h"
#include "platform/IdleSource.h"
#include "platform/InstanceMutex.h"
#include "platform/LocaleText.h"
#include "platform/ProgramPath.h"
#include "platform/Registry.h"
#include "platform/SizedIcon.h"
#include "platform/SleepWatch.h"
#include "platform/StatusNotifierItem.h"
#include "platform/TrayWatch.h"
#include "platform/WindowSystem.h"
#include "support/Fixture.h"
#include "widgets/BusyCursor.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QWindow>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

// A message bus of the test's own: no test reaches the desktop's.
class PrivateBus {
public:
    PrivateBus() {
        // Gone with the test, even when the test dies.
        daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        while (daemon_.waitForStarted() && !daemon_.canReadLine() && daemon_.waitForReadyRead())
            ;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : std::as_const(names_))
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address_.isEmpty(); }
    // A connection of its own, as another process would have.
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// GNOME's idle monitor and the freedesktop screen saver at their usual paths, answering
// from a thread of their own as a desktop does while the program waits for the answer.
// Whether each runs is whether its name is registered on the bus.
class FakeIdleServices : public QDBusVirtualObject {
public:
    std::atomic<qint64> mutterMs{0}; // below 0: answers with an error
    std::atomic<uint> screenSaverSeconds{0};
    std::atomic<int> mutterCalls{0};
    std::atomic<int> screenSaverCalls{0};

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.interface() == QLatin1String("org.gnome.Mutter.IdleMonitor") &&
            m.member() == QLatin1String("GetIdletime")) {
            ++mutterCalls;
            const qint64 ms = mutterMs;
            c.send(ms < 0 ? m.createErrorReply(QDBusError::Failed, QStringLiteral("gone"))
                          : m.createReply(QVariant::fromValue(quint64(ms))));
            return true;
        }
        if (m.interface() == QLatin1String("org.freedesktop.ScreenSaver") &&
            m.member() == QLatin1String("GetSessionIdleTime")) {
            ++screenSaverCalls;
            c.send(m.createReply(QVariant::fromValue(uint(screenSaverSeconds))));
            return true;
        }
        return false;
    }
};

// The permission bits of a file, a link itself or a folder; -1 when missing.
int modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A StatusNotifierWatcher as a panel runs it, answering from a thread of its own: whether
// a host is registered, and the items that registered.
class FakeWatcher : public QDBusVirtualObject {
public:
    std::atomic<bool> hostRegistered{false};
    QStringList items() {
        QMutexLocker lock(&mutex_);
        return items_;
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            m.member() == QLatin1String("Get") &&
            m.arguments().value(1).toString() == QLatin1String("IsStatusNotifierHostRegistered")) {
            c.send(m.createReply(QVariant::fromValue(QDBusVariant(bool(hostRegistered)))));
            return true;
        }
        if (m.member() == QLatin1String("RegisterStatusNotifierItem")) {
            QMutexLocker lock(&mutex_);
            items_ << m.arguments().value(0).toString();
            c.send(m.createReply());
            return true;
        }
        return false;
    }

private:
    QMutex mutex_;
    QStringList items_;
};

// A notification service that keeps what it was asked to show.
class FakeNotificationService : public QDBusVirtualObject {
public:
    QList<QVariantList> notified() {
        QMutexLocker lock(&mutex_);
        return notified_;
    }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.member() == QLatin1String("GetCapabilities")) {
            c.send(m.createReply(QStringList{QStringLiteral("actions")}));
            return true;
        }
        if (m.member() == QLatin1String("Notify")) {
            QMutexLocker lock(&mutex_);
            notified_ << m.arguments();
            c.send(m.createReply(QVariant::fromValue(uint(notified_.size()))));
            return true;
        }
        return false;
    }

private:
    QMutex mutex_;
    QList<QVariantList> notified_;
};

// Something that lives in a thread of its own until the end of the scope.
struct OwnThread {
    explicit OwnThread(QObject* object) {
        object->moveToThread(&thread);
        thread.start();
    }
    ~OwnThread() {
        thread.quit();
        thread.wait();
    }
    QThread thread;
};

QDBusMessage watcherSignal(const char* name) {
    return QDBusMessage::createSignal(QStringLiteral("/StatusNotifierWatcher"),
                                      QStringLiteral("org.kde.StatusNotifierWatcher"),
                                      QString::fromLatin1(name));
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f;
    QList<QDBusMessage> caught_;

public Q_SLOTS:
    // A signal a test listens to on the bus.
    void catchSignal(const QDBusMessage& message) { caught_ << message; }

private Q_SLOTS:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    // The tray icon in several sizes: each size drawn from the nearest image at least as
    // large, shrunk and never blown up; a file that is missing draws nothing.
    void sizedIconDrawsFromTheNearestImage() {
        QTemporaryDir dir;
        for (int side : {16, 32}) {
            QImage image(side, side, QImage::Format_ARGB32);
            image.fill(side == 16 ? Qt::red : Qt::blue);
            QVERIFY(image.save(dir.filePath(QStringLiteral("icon-%1.png").arg(side))));
        }
        const QIcon icon = sizedIcon(dir.filePath(QStringLiteral("icon-%1.png")), {32, 16});
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
        const auto colourAt = [&icon](int side) {
            const QImage drawn = icon.pixmap(QSize(side, side)).toImage();
            return std::make_pair(drawn.size(), drawn.pixelColor(drawn.width() / 2, 0));
        };
        QCOMPARE(colourAt(16), std::make_pair(QSize(16, 16), QColor(Qt::red)));
        QCOMPARE(colourAt(22), std::make_pair(QSize(22, 22), QColor(Qt::blue)));
        QCOMPARE(colourAt(12), std::make_pair(QSize(12, 12), QColor(Qt::red)));
        QCOMPARE(colourAt(64).first, QSize(32, 32));
        const QIcon missing = sizedIcon(dir.filePath(QStringLiteral("none-%1.png")), {22});
        QVERIFY(missing.pixmap(QSize(22, 22)).isNull());
    }

    // Without a private runtime folder (none, or a shared one as /tmp, that keeps its mode) the
    // lock is in the user's cache folder, made private; a link in its place is not followed.
    void lockFolderIsPrivate() {
        QTemporaryDir home;
        const QByteArray shared = QFile::encodeName(home.filePath(QStringLiteral("run")));
        QVERIFY(::mkdir(shared, 0700) == 0 && ::chmod(shared, 01777) == 0);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", shared);
        auto mutex = std::make_unique<InstanceMutex>();
        const QString folder = InstanceMutex::defaultFolder();
        qputenv("XDG_RUNTIME_DIR", runtime);
        qunsetenv("XDG_CACHE_HOME");
        QCOMPARE(folder, home.path() + QStringLiteral("/korvan"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
        QCOMPARE(mutex->create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::Created);
        mutex.reset();
        QCOMPARE(modeOf(QFile::decodeName(shared)), 01777);
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ExeOther),
                 QFileDevice::Permissions());
        QVERIFY(QFile::remove(folder + QStringLiteral("/Korvan Application Mutex.lock")));
        QVERIFY(QFile::link(home.path() + QStringLiteral("/elsewhere"),
                            folder + QStringLiteral("/Korvan Application Mutex.lock")));
        InstanceMutex planted(folder), second(folder);
        QCOMPARE(planted.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::Created);
        QCOMPARE(second.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::AlreadyExists);
        QVERIFY(!QFile::exists(home.path() + QStringLiteral("/elsewhere")));
    }

    // A line break in the program's path cannot add a line to the log-on entry.
    void autostartEntryKeepsToItsLines() {
        const QByteArray entry =
            XdgAutostart::desktopEntry(QStringLiteral("/opt/a\nHidden=true\r\nb/korvan"));
        QCOMPARE(entry.count('\n'), 8);
        QVERIFY(!entry.contains("\nHidden=true"));
    }

    // Hours show as plain decimals in every size.
    // A short date reads back as the same day in every locale Qt knows.
    void shortDatesReadBackInEveryLocale() {
        const QDate day(2024, 12, 31);
        QStringList failed;
        const QList<QLocale> all = QLocale::matchingLocales(
            QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(all.size() > 500);
        for (const QLocale& locale : all) {
            QLocale::setDefault(locale);
            if (readShortDate(shortDateText(day)) != day)
                failed << locale.name();
        }
        QLocale::setDefault(QLocale::c());
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char(' '))));
        QVERIFY(!readShortDate(QStringLiteral("no date")).isValid());
    }

    void hoursTextHasNoExponent_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("quarter") << 0.25 << "0.25";
        QTest::newRow("whole") << 12.0 << "12";
        QTest::newRow("tiny") << 1e-05 << "0.00001";
        QTest::newRow("huge") << 1e15 << "1000000000000000";
        QTest::newRow("negative tiny") << -2.5e-06 << "-0.0000025";
    }
    void hoursTextHasNoExponent() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(hoursText(value), text);
    }

    // The real box: Enter takes the default answer, which for questions that cannot be undone
    // is the one that changes nothing; Escape is that answer too.
    void enterOnAQuestionThatCannotBeUndone_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes/no, enter")
            << int(MsgButtons::YesNoDefaultNo) << int(Qt::Key_Return) << int(MsgAnswer::No);
        QTest::newRow("yes/no, escape")
            << int(MsgButtons::YesNoDefaultNo) << int(Qt::Key_Escape) << int(MsgAnswer::No);
        QTest::newRow("yes/no/cancel, enter") << int(MsgButtons::YesNoCancelDefaultCancel)
                                              << int(Qt::Key_Return) << int(MsgAnswer::Cancel);
        QTest::newRow("plain yes/no, enter")
            << int(MsgButtons::YesNo) << int(Qt::Key_Return) << int(MsgAnswer::Yes);
    }
    void enterOnAQuestionThatCannotBeUndone() {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        QtMessageBoxService service;
        QTimer::singleShot(0, this, [key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box)
                QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(int(service.show(nullptr, QStringLiteral("Sure ?"), QStringLiteral("Remove"),
                                  MsgIcon::Question, MsgButtons(buttons))),
                 answer);
    }

    void errorReportFullStopRule_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Disk full"
                                << "Disk full.";
        QTest::newRow("digit") << "Error 42"
                               << "Error 42.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation") << "Stop!"
                                     << "Stop!";
        QTest::newRow("parenthesis") << "Failed (code 5)"
                                     << "Failed (code 5)";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorReportFullStopRule() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        reportError(message);
        QCOMPARE(f->boxes.shown.size(), 1);
        QCOMPARE(f->boxes.last().text, shown);
        QCOMPARE(f->boxes.last().caption, QStringLiteral("Korvan"));
        QCOMPARE(f->boxes.last().icon, MsgIcon::Error);
        QCOMPARE(f->boxes.last().buttons, MsgButtons::Ok);
    }

    void guardTurnsExceptionsIntoReports() {
        guarded([] { throw Error(QStringLiteral("Table not found")); });
        guarded([] { throw std::runtime_error("bad"); });
        guarded([] {});
        QCOMPARE(f->boxes.shown.size(), 2);
        QCOMPARE(f->boxes.shown.at(0).text, QStringLiteral("Table not found."));
        QCOMPARE(f->boxes.shown.at(1).text, QStringLiteral("bad."));
    }

    // A file written piece by piece replaces the old one only when complete: given up
    // half way, or failing half way for a full disk, it leaves the old file as it was and
    // nothing beside it.
    void atomicFileWrittenInPieces() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        const auto content = [&] {
            QFile in(path);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("(none)");
        };
        const auto alone = [&] {
            return QDir(dir.path())
                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
                   QStringList{QStringLiteral("out.csv")};
        };
        QVERIFY(writeFileAtomically(path, "old", kModeAsUsual));
        {
            AtomicFileWriter out(path);
            QVERIFY(out.open());
            QVERIFY(out.write("first;"));
            QVERIFY(out.write("second"));
            QCOMPARE(content(), QByteArray("old"));
            QVERIFY(out.commit());
        }
        QCOMPARE(content(), QByteArray("first;second"));
        {
            AtomicFileWriter out(path);
            QVERIFY(out.open());
            QVERIFY(out.write("dropped"));
        }
        QCOMPARE(content(), QByteArray("first;second"));
        QVERIFY(alone());
        {
            AtomicFileWriter out(path);
            QVERIFY(out.open());
            const QByteArray piece(40000, 'x');
            FullDisk full(100000);
            QVERIFY(out.write(piece));
            QVERIFY(out.write(piece));
            QVERIFY(!out.write(piece));
            QVERIFY(!out.write("more"));
            QString error;
            QVERIFY(!out.commit(&error));
            QVERIFY2(error.contains(path) && error.contains(QStringLiteral("File too large")),
                     qPrintable(error));
        }
        QCOMPARE(content(), QByteArray("first;second"));
        QVERIFY(alone());
        // A file where the folder should be.
        AtomicFileWriter blocked(path + QStringLiteral("/inside.csv"));
        QString error;
        QVERIFY(!blocked.open(&error));
        QVERIFY(error.contains(path));
    }

    // A new file gets the umask, or the mode asked for; an existing one keeps its mode. While
    // it is written, nothing beside it is open to more users than it will be.
    void atomicFileModes_data() {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("expected");
        QTest::newRow("new, umask 022") << 022 << kModeAsUsual << -1 << 0644;
        QTest::newRow("new, umask 077") << 077 << kModeAsUsual << -1 << 0600;
        QTest::newRow("existing 0640") << 022 << kModeAsUsual << 0640 << 0640;
        QTest::newRow("0600 asked, new") << 022 << 0600 << -1 << 0600;
        QTest::newRow("0600 asked, existing 0644") << 022 << 0600 << 0644 << 0600;
    }
    void atomicFileModes() {
        QFETCH(int, umask);
        QFETCH(int, asked);
        QFETCH(int, existing);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(existing < 0 || writeFileAtomically(path, "old", existing));
        const auto back = qScopeGuard([mask = ::umask(mode_t(umask))] { ::umask(mask); });
        AtomicFileWriter out(path, asked);
        QVERIFY(out.open() && out.write("new"));
        for (const QFileInfo& beside : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
            QVERIFY(beside.filePath() == path || (modeOf(beside.filePath()) & ~expected) == 0);
        QVERIFY(out.commit());
        QCOMPARE(modeOf(path), expected);
    }

    // In a shared sticky folder (/tmp) the user's own link is written through; another
    // user's is not, as it could point at any of the user's files.
    void atomicFileFollowsOnlyOwnLinks_data() {
        QTest::addColumn<uint>("owner");
        QTest::addColumn<bool>("toFolder"); // the link leads to the file's folder
        for (const bool toFolder : {false, true}) {
            const char* way = toFolder ? ", to the folder" : "";
            QTest::addRow("own link%s", way) << uint(::geteuid()) << toFolder;
            QTest::addRow("another user's link%s", way) << 65534u << toFolder;
        }
    }
    void atomicFileFollowsOnlyOwnLinks() {
        QFETCH(uint, owner);
        QFETCH(bool, toFolder);
        const bool own = owner == ::geteuid();
        if (!own && ::geteuid() != 0)
            QSKIP("only root can give a link to another user");
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("home/bashrc"));
        const QString link = dir.filePath(toFolder ? "shared/home" : "shared/report.csv");
        const QString written = toFolder ? link + "/bashrc" : link;
        QVERIFY(writeFileAtomically(target, "mine", 0600) && QDir(dir.path()).mkdir("shared"));
        QVERIFY(::chmod(QFile::encodeName(dir.filePath("shared")), 01777) == 0);
        QVERIFY(QFile::link(toFolder ? dir.filePath("home") : target, link) &&
                ::lchown(QFile::encodeName(link), owner, owner) == 0);
        QString error;
        QCOMPARE(writeFileAtomically(written, "csv", kModeAsUsual, &error), own);
        QVERIFY2(own || error.contains(link), qPrintable(error));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), own ? QByteArray("csv") : QByteArray("mine"));
        QVERIFY(QFileInfo(link).isSymLink());
    }

    // Folders made for the store and the work records are 0700 from the start, those there
    // keep their mode; a new database is 0600 with no chmod after, as are SQLite's files.
    void privateFoldersAndDatabase() {
        QTemporaryDir home;
        const auto back = qScopeGuard([mask = ::umask(022)] { ::umask(mask); });
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("config")));
        const QString store = FileRegistry::defaultPath(home.filePath(QStringLiteral("config")));
        QVERIFY(writeFileAtomically(store, "store", 0600));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("share"))));
        const QString data = SystemProgramPath().dataFolder();
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(data, home.filePath(QStringLiteral("share/Myrkat/Korvan/")));
        for (const QString& made : {store + "/..", data, data + "..", data + "../.."})
            QCOMPARE(modeOf(QDir::cleanPath(made)), 0700);
        QCOMPARE(modeOf(home.filePath(QStringLiteral("config"))), 0755);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(data), IN_ATTRIB) >= 0);
        DbConnection c;
        c.ConnectionString = QStringLiteral("Provider=SQLite;Data Source=") + data + "Korvan.dat";
        c.Open();
        char event[4096];
        QCOMPARE(::read(watch, event, sizeof event), ssize_t(-1));
        ::close(watch);
        QSqlQuery q(c.database());
        QVERIFY(q.exec("CREATE TABLE t (x)") && q.exec("BEGIN") &&
                q.exec("INSERT INTO t VALUES (1)"));
        QCOMPARE(modeOf(data + "Korvan.dat-journal"), 0600);
        QVERIFY(q.exec("COMMIT") && q.exec("PRAGMA journal_mode=WAL") && q.exec("DELETE FROM t"));
        QCOMPARE(modeOf(data + "Korvan.dat-wal"), 0600);
        QCOMPARE(modeOf(data + "Korvan.dat"), 0600);
    }

    void busyCursorRestoredOnException() {
        try {
            BusyCursor busy;
            QCOMPARE(BusyCursor::depth(), 1);
            throw Error(QStringLiteral("x"));
        } catch (const Error&) {
        }
        QCOMPARE(BusyCursor::depth(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void dayCountRoundTrip() {
        const QDateTime t(QDate(2024, 3, 15), QTime(9, 30, 15, 250));
        const double days = toDayCount(t);
        QCOMPARE(static_cast<qint64>(days), 45366);
        QCOMPARE(fromDayCount(days), t);
        QCOMPARE(toDayCount(QDateTime(QDate(1899, 12, 30), QTime(12, 0))), 0.5);
    }

    void mutexRefusesSecondCopyAndDiesWithProcess() {
        QTemporaryDir dir;
        InstanceMutex first(dir.path());
        QCOMPARE(first.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::Created);
        InstanceMutex second(dir.path());
        QCOMPARE(second.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::AlreadyExists);
        first.close();
        second.close();

        // A process killed with SIGKILL leaves no stale marker behind.
        int ready[2];
        QVERIFY(pipe(ready) == 0);
        const pid_t child = fork();
        if (child == 0) {
            InstanceMutex held(dir.path());
            held.create(QStringLiteral("Korvan Application Mutex"));
            const char byte = 1;
            [[maybe_unused]] auto w = write(ready[1], &byte, 1);
            for (;;)
                pause();
        }
        char byte = 0;
        QCOMPARE(read(ready[0], &byte, 1), static_cast<ssize_t>(1));
        InstanceMutex third(dir.path());
        QCOMPARE(third.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::AlreadyExists);
        third.close();
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        InstanceMutex fourth(dir.path());
        QCOMPARE(fourth.create(QStringLiteral("Korvan Application Mutex")),
                 InstanceMutex::Result::Created);
    }
    // Whatever stands where the lock goes (a folder, another user's file, a lock another
    // process holds) the check works, and nothing waits: an alarm ends a child that waited.
    void mutexCannotBePlantedOrHeld_data() {
        QTest::addColumn<int>("expected");
        QTest::newRow("folder") << int(InstanceMutex::Result::Created);
        QTest::newRow("other user's file") << int(InstanceMutex::Result::Created);
        QTest::newRow("exclusive lock") << int(InstanceMutex::Result::AlreadyExists);
    }
    void mutexCannotBePlantedOrHeld() {
        QFETCH(int, expected);
        const QByteArray planted = QTest::currentDataTag();
        if (planted == "other user's file" && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir dir;
        const QString name = QStringLiteral("Korvan Application Mutex");
        const QByteArray lock = QFile::encodeName(dir.filePath(name + ".lock"));
        const int held = planted == "folder" ? ::mkdir(lock, 0700)
                                             : ::open(lock, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(held >= 0 && (planted != "other user's file" || ::fchown(held, 65534, 65534) == 0));
        QVERIFY(planted != "exclusive lock" || ::flock(held, LOCK_EX) == 0);
        const pid_t child = fork();
        if (child == 0) {
            ::alarm(10);
            _exit(static_cast<int>(InstanceMutex(dir.path()).create(name)));
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == expected);
        ::close(planted == "folder" ? -1 : held);
        InstanceMutex first(dir.path()), second(dir.path());
        QCOMPARE(first.create(name), InstanceMutex::Result::Created);
        QCOMPARE(second.create(name), InstanceMutex::Result::AlreadyExists);
        QCOMPARE(QFileInfo(lock).ownerId(), ::geteuid());
    }

    // Offscreen there is no X server to ask, and without a session bus nothing can tell.
    void systemIdleSourceWithoutAnyService() {
        const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        const bool connected = QDBusConnection::sessionBus().isConnected();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY2(!connected, "an earlier test opened the real session bus");
        std::unique_ptr<IdleSource> idle = makeSystemIdleSource();
        QCOMPARE(idle->idleMs(), qint64(-1));
        QCOMPARE(idle->idleMs(), qint64(-1));
    }

    // GNOME's idle monitor counts before the screen saver, whose seconds become
    // milliseconds. A service not running yet is asked again on the next poll; one that
    // fails is not.
    void busIdleServices() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeIdleServices services;
        QThread thread;
        QDBusConnection desktop = bus.connect(QStringLiteral("desktop"));
        const QString monitorPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
        const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
        services.moveToThread(&thread);
        thread.start();
        const auto stop = qScopeGuard([&] {
            desktop.unregisterObject(monitorPath);
            desktop.unregisterObject(screenSaverPath);
            thread.quit();
            thread.wait();
        });
        QVERIFY(desktop.registerVirtualObject(monitorPath, &services));
        QVERIFY(desktop.registerVirtualObject(screenSaverPath, &services));
        std::unique_ptr<IdleSource> idle = makeBusIdleSource(bus.connect(QStringLiteral("korvan")));

        QCOMPARE(idle->idleMs(), qint64(-1));
        services.screenSaverSeconds = 7;
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QCOMPARE(idle->idleMs(), qint64(7000));
        services.mutterMs = 1234;
        QVERIFY(desktop.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor")));
        QCOMPARE(idle->idleMs(), qint64(1234));
        QCOMPARE(services.screenSaverCalls.load(), 1);

        services.mutterMs = -1;
        QCOMPARE(idle->idleMs(), qint64(7000));
        services.mutterMs = 50;
        QCOMPARE(idle->idleMs(), qint64(7000));
        QCOMPARE(services.mutterCalls.load(), 2);
    }

    void sleepWatchSignals() {
        SleepWatch watch;
        QSignalSpy sleeping(&watch, &SleepWatch::aboutToSleep);
        QSignalSpy woke(&watch, &SleepWatch::resumed);
        watch.notifySleep(true);
        QCOMPARE(sleeping.count(), 1);
        QCOMPARE(woke.count(), 0);
        watch.notifySleep(false);
        QCOMPARE(sleeping.count(), 1);
        QCOMPARE(woke.count(), 1);
    }

    // ---- the notification area on the session bus ----

    // Qt's mnemonics become dbusmenu's: '_' marks the mnemonic there, "__" an underscore,
    // and an '&' of the name ("&&") stays one.
    void dbusMenuLabels_data() {
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QString>("host");
        QTest::newRow("underscore") << "PROJ_42 review  00:00:05"
                                    << "PROJ__42 review  00:00:05";
        QTest::newRow("ampersand") << "Support && Ops"
                                   << "Support & Ops";
        QTest::newRow("two ampersands") << "Support &&&& Ops"
                                        << "Support && Ops";
        QTest::newRow("mnemonic") << "E&xit"
                                  << "E_xit";
        QTest::newRow("first mnemonic only") << "&About &it"
                                             << "_About it";
        QTest::newRow("mnemonic after a literal") << "a && &b_c"
                                                  << "a & _b__c";
        QTest::newRow("trailing mark") << "end&"
                                       << "end";
        QTest::newRow("mark on an underscore") << "&_x"
                                               << "__x";
        QTest::newRow("plain") << "Writing"
                               << "Writing";
    }
    void dbusMenuLabels() {
        QFETCH(QString, qt);
        QFETCH(QString, host);
        QCOMPARE(dbusMenuLabel(qt), host);
    }

    void trayAreaChoice() {
        QCOMPARE(chooseTrayArea(true, true, true), TrayArea::Item);
        QCOMPARE(chooseTrayArea(true, false, false), TrayArea::Item);
        QCOMPARE(chooseTrayArea(false, true, true), TrayArea::XEmbed);
        QCOMPARE(chooseTrayArea(false, true, false), TrayArea::None);
        QCOMPARE(chooseTrayArea(false, false, true), TrayArea::None);
        // Offscreen there is no X server: never an XEmbed tray.
        XEmbedTrayWatch trays;
        QVERIFY(!trays.askNow());
    }

    // A watcher that comes later, a host that registers with it, a watcher that ends: the
    // watch hears each, and a new watcher is announced so that items register again.
    void itemHostWatchFollowsTheSession() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeWatcher watcher;
        QDBusConnection panel = bus.connect(QStringLiteral("panel"));
        QVERIFY(panel.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
        OwnThread thread(&watcher);
        const auto stop =
            qScopeGuard([&] { panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher")); });

        ItemHostWatch hosts(bus.connect(QStringLiteral("korvan")));
        QSignalSpy changed(&hosts, &ItemHostWatch::changed);
        QSignalSpy appeared(&hosts, &ItemHostWatch::watcherAppeared);
        QVERIFY(!hosts.askNow()); // no watcher yet

        // The panel starts: its watcher, then its host.
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(appeared.wait());
        QVERIFY(!hosts.hostRegistered());
        watcher.hostRegistered = true;
        QVERIFY(panel.send(watcherSignal("StatusNotifierHostRegistered")));
        QTRY_VERIFY(hosts.hostRegistered());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().at(0).toBool(), true);

        // The host leaves; the watcher says none is left.
        watcher.hostRegistered = false;
        QVERIFY(panel.send(watcherSignal("StatusNotifierHostUnregistered")));
        QTRY_VERIFY(!hosts.hostRegistered());

        // A watcher whose host is there from the start (XFCE's panel) is asked at once.
        watcher.hostRegistered = true;
        QVERIFY(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_VERIFY(hosts.hostRegistered());
        QVERIFY(appeared.count() >= 2);
        // The panel ends: the watcher with it.
        QVERIFY(panel.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        QTRY_VERIFY(!hosts.hostRegistered());
        QVERIFY(!hosts.askNow());
    }

    // The item as a host sees it: it registers with the watcher under a name of its own,
    // exports its menu with the host's mnemonics, checks and submenus, answers the host's
    // calls at once (a context menu that waits for the user does not hold the answer) and
    // reports where the host asked; a chosen entry is triggered, a changed one announced,
    // and the menu hears when the host shows it.
    void statusNotifierItemAsTheHostSeesIt() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeWatcher watcher;
        QDBusConnection panel = bus.connect(QStringLiteral("panel"));
        QVERIFY(panel.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
        QVERIFY(panel.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        OwnThread thread(&watcher);
        const auto stop =
            qScopeGuard([&] { panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher")); });
        QDBusConnection host = bus.connect(QStringLiteral("host"));

        QMenu menu;
        QAction* task = menu.addAction(QStringLiteral("PROJ_42 review  00:00:00"));
        task->setCheckable(true);
        task->setChecked(true);
        QMenu* submenu = menu.addMenu(QStringLiteral("&Tasks"));
        submenu->addAction(task); // the running task in both, as the program's menu has it
        menu.addSeparator();
        QAction* exit = menu.addAction(QStringLiteral("E&xit"));
        int exits = 0;
        connect(exit, &QAction::triggered, this, [&] { ++exits; });
        int shows = 0, hides = 0;
        connect(&menu, &QMenu::aboutToShow, this, [&] { ++shows; });
        connect(&menu, &QMenu::aboutToHide, this, [&] { ++hides; });

        StatusNotifierItem item(bus.connect(QStringLiteral("korvan")), QStringLiteral("korvan"),
                                QStringLiteral("Korvan"));
        QPixmap image(22, 22);
        image.fill(QColor(0x11, 0x22, 0x33));
        item.setIcon(QIcon(image));
        item.setToolTip(QStringLiteral("Korvan"), QStringLiteral("Active task: x  00:01 h"));
        item.setMenu(&menu);
        QVERIFY(item.show());
        QVERIFY(item.serviceName().startsWith(QStringLiteral("org.kde.StatusNotifierItem-")));
        QTRY_COMPARE(watcher.items(), QStringList{item.serviceName()});

        const QString service = item.serviceName();
        const auto call = [&](const QString& path, const QString& interface, const char* member,
                              const QVariantList& args = {}) {
            QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface,
                                                            QString::fromLatin1(member));
            m.setArguments(args);
            return host.asyncCall(m, 5000);
        };
        const auto answer = [](QDBusPendingCall pending) {
            [[maybe_unused]] const bool finished =
                QTest::qWaitFor([&pending] { return pending.isFinished(); }, 5000);
            return pending.reply();
        };
        const QString itemPath = QStringLiteral("/StatusNotifierItem");
        const QString menuPath = QStringLiteral("/MenuBar");
        const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
        const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
        const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");

        // Its properties.
        QDBusMessage all = answer(call(itemPath, properties, "GetAll", {itemInterface}));
        QCOMPARE(all.type(), QDBusMessage::ReplyMessage);
        const QVariantMap values = qdbus_cast<QVariantMap>(all.arguments().at(0));
        QCOMPARE(values.value(QStringLiteral("Id")).toString(), QStringLiteral("korvan"));
        QCOMPARE(values.value(QStringLiteral("ItemIsMenu")).toBool(), false);
        QCOMPARE(qdbus_cast<QDBusObjectPath>(values.value(QStringLiteral("Menu"))).path(),
                 menuPath);
        const DBusToolTip tip = qdbus_cast<DBusToolTip>(values.value(QStringLiteral("ToolTip")));
        QCOMPARE(tip.title, QStringLiteral("Korvan"));
        QCOMPARE(tip.text, QStringLiteral("Active task: x  00:01 h"));
        const QList<DBusImage> pixmaps =
            qdbus_cast<QList<DBusImage>>(values.value(QStringLiteral("IconPixmap")));
        QVERIFY(!pixmaps.isEmpty());
        const DBusImage& first = pixmaps.first();
        QCOMPARE(first.pixels.size(), qsizetype(first.width) * first.height * 4);
        // ARGB, most significant byte first.
        QCOMPARE(first.pixels.left(4), QByteArray::fromHex("ff112233"));

        // The menu, with the host's marks.
        QDBusMessage layoutReply =
            answer(call(menuPath, menuInterface, "GetLayout", {0, -1, QStringList()}));
        QCOMPARE(layoutReply.type(), QDBusMessage::ReplyMessage);
        const DBusMenuLayoutItem root =
            qdbus_cast<DBusMenuLayoutItem>(layoutReply.arguments().at(1));
        QCOMPARE(root.children.size(), 4);
        const DBusMenuLayoutItem& entry = root.children.at(0);
        QCOMPARE(entry.properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("PROJ__42 review  00:00:00"));
        QCOMPARE(entry.properties.value(QStringLiteral("toggle-type")).toString(),
                 QStringLiteral("checkmark"));
        QCOMPARE(entry.properties.value(QStringLiteral("toggle-state")).toInt(), 1);
        const DBusMenuLayoutItem& tasks = root.children.at(1);
        QCOMPARE(tasks.properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("_Tasks"));
        QCOMPARE(tasks.properties.value(QStringLiteral("children-display")).toString(),
                 QStringLiteral("submenu"));
        QCOMPARE(tasks.children.size(), 1);
        QVERIFY(tasks.children.at(0).id != entry.id); // one action, two entries
        QCOMPARE(root.children.at(2).properties.value(QStringLiteral("type")).toString(),
                 QStringLiteral("separator"));
        QCOMPARE(root.children.at(3).properties.value(QStringLiteral("label")).toString(),
                 QStringLiteral("E_xit"));

        // The host opens the menu: it is refreshed as one of the program's own; a caption
        // that changes while it shows reaches the host.
        QVERIFY(host.connect(service, menuPath, menuInterface,
                             QStringLiteral("ItemsPropertiesUpdated"), this,
                             SLOT(catchSignal(QDBusMessage))));
        caught_.clear();
        QDBusMessage shown = answer(call(menuPath, menuInterface, "AboutToShowGroup",
                                         {QVariant::fromValue(QList<int>{0})}));
        QCOMPARE(shown.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(shows, 1);
        QVERIFY(item.dbusMenu()->shown());
        task->setText(QStringLiteral("PROJ_42 review  00:00:01"));
        QTRY_VERIFY(!caught_.isEmpty());
        const QList<DBusMenuItem> changedItems =
            qdbus_cast<QList<DBusMenuItem>>(caught_.last().arguments().at(0));
        QCOMPARE(changedItems.size(), 2); // both of its entries
        for (const DBusMenuItem& changedItem : changedItems)
            QCOMPARE(changedItem.properties.value(QStringLiteral("label")).toString(),
                     QStringLiteral("PROJ__42 review  00:00:01"));

        // A chosen entry is triggered once its answer has left, and the menu has closed.
        QDBusMessage clicked = answer(call(menuPath, menuInterface, "Event",
                                           {root.children.at(3).id, QStringLiteral("clicked"),
                                            QVariant::fromValue(QDBusVariant(0)), 0u}));
        QCOMPARE(clicked.type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(exits, 1);
        QCOMPARE(hides, 1);
        QVERIFY(!item.dbusMenu()->shown());

        // A context menu that waits for the user (a nested loop) has answered already.
        bool answeredWhileOpen = false;
        QPoint askedAt;
        QDBusPendingCall context(QDBusPendingCall::fromCompletedCall(QDBusMessage()));
        connect(&item, &StatusNotifierItem::contextMenuRequested, this, [&](const QPoint& at) {
            askedAt = at;
            QEventLoop menuOpen;
            QTimer poll;
            connect(&poll, &QTimer::timeout, &menuOpen, [&] {
                if (context.isFinished()) {
                    answeredWhileOpen = true;
                    menuOpen.quit();
                }
            });
            poll.start(10);
            QTimer::singleShot(5000, &menuOpen, &QEventLoop::quit);
            menuOpen.exec();
        });
        context = call(itemPath, itemInterface, "ContextMenu", {300, 400});
        QTRY_VERIFY(!askedAt.isNull());
        QVERIFY(answeredWhileOpen);
        QCOMPARE(askedAt, QPoint(300, 400));
        QCOMPARE(context.reply().type(), QDBusMessage::ReplyMessage);

        QSignalSpy activated(&item, &StatusNotifierItem::activated);
        QCOMPARE(answer(call(itemPath, itemInterface, "Activate", {5, 6})).type(),
                 QDBusMessage::ReplyMessage);
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.last().at(0).toPoint(), QPoint(5, 6));

        // Hidden: its name goes, and with it the watcher's entry.
        item.hide();
        QTRY_VERIFY(!host.interface()->isServiceRegistered(service).value());
        QVERIFY(item.show());
        QTRY_COMPARE(watcher.items().size(), 2);
    }

    // The reminder offers its action once; a click on it (the default action) is heard.
    void notificationHasOneSwitchAction() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        FakeNotificationService service;
        QDBusConnection desktop = bus.connect(QStringLiteral("desktop"));
        QVERIFY(desktop.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                              &service));
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.Notifications")));
        OwnThread thread(&service);
        const auto stop = qScopeGuard(
            [&] { desktop.unregisterObject(QStringLiteral("/org/freedesktop/Notifications")); });

        DesktopNotifications notifications(bus.connect(QStringLiteral("korvan")));
        QSignalSpy clicked(&notifications, &DesktopNotifications::clicked);
        QVERIFY(notifications.available());
        QVERIFY(notifications.show(QStringLiteral("Writing"), QStringLiteral("Still?"), 10000));
        QTRY_COMPARE(service.notified().size(), 1);
        const QVariantList args = service.notified().first();
        QCOMPARE(args.at(3).toString(), QStringLiteral("Writing"));
        QCOMPARE(args.at(5).toStringList(),
                 QStringList({QStringLiteral("default"), QStringLiteral("Switch task")}));
        // The id of the notification comes back before the click can.
        QTest::qWait(200);
        QDBusMessage invoked = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        invoked << 1u << QStringLiteral("default");
        QVERIFY(desktop.send(invoked));
        QVERIFY(clicked.wait());
    }

    // Only logind's own PrepareForSleep counts: anyone on the bus can send one.
    void sleepWatchHearsLogind() {
        PrivateBus bus;
        QVERIFY2(bus.running(), "dbus-daemon did not start");
        QDBusConnection logind = bus.connect(QStringLiteral("logind"));
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        QDBusConnection other = bus.connect(QStringLiteral("other"));
        std::unique_ptr<SleepWatch> watch =
            SleepWatch::makeLogindSleepWatch(bus.connect(QStringLiteral("korvan")));
        QSignalSpy sleeping(watch.get(), &SleepWatch::aboutToSleep);
        QSignalSpy woke(watch.get(), &SleepWatch::resumed);
        const auto prepareForSleep = [](bool start) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << start;
            return signal;
        };

        QVERIFY(other.send(prepareForSleep(true)));
        // Once the bus has answered the impostor it has passed its signal on, so that signal
        // reaches the watch before logind's.
        QVERIFY(other.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(logind.send(prepareForSleep(false)));
        QVERIFY(woke.wait());
        QCOMPARE(sleeping.count(), 0);
        QVERIFY(logind.send(prepareForSleep(true)));
        QVERIFY(sleeping.wait());
        QCOMPARE(woke.count(), 1);
    }
    // Where the program may not take its window out of the task bar nor in front of others
    // (Wayland), the window is mapped anew unless one of the program's is in front already;
    // elsewhere it is restored where it is.
    void bringToFrontMapsAnewWhereTheProgramMayNotRestore_data() {
        QTest::addColumn<bool>("restores");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QList<bool>>("mappings");
        QTest::newRow("X11, minimised") << true << "minimised" << QList<bool>{};
        QTest::newRow("Wayland, minimised") << false << "minimised" << QList<bool>{false, true};
        QTest::newRow("Wayland, behind") << false << "behind" << QList<bool>{false, true};
        QTest::newRow("Wayland, in front") << false << "in front" << QList<bool>{};
        QTest::newRow("Wayland, hidden") << false << "hidden" << QList<bool>{true};
    }
    void bringToFrontMapsAnewWhereTheProgramMayNotRestore() {
        QFETCH(bool, restores);
        QFETCH(QString, state);
        QFETCH(QList<bool>, mappings);
        f->windowSystem.restores = restores;
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        if (state == QLatin1String("minimised"))
            window.showMinimized();
        else if (state == QLatin1String("behind"))
            QApplication::setActiveWindow(nullptr);
        else if (state == QLatin1String("hidden"))
            window.hide();
        QSignalSpy mapped(window.windowHandle(), &QWindow::visibleChanged);
        bringToFront(&window);
        QVERIFY(window.isVisible() && !window.isMinimized());
        QList<bool> seen;
        for (const QList<QVariant>& change : mapped)
            seen << change.at(0).toBool();
        QCOMPARE(seen, mappings);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
