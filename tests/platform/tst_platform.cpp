#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/DbConnection.h"
#include "platform/InstanceMutex.h"
#include "platform/LocaleText.h"
#include "platform/ProgramPath.h"
#include "platform/Registry.h"
#include "platform/SizedIcon.h"
#include "platform/WindowSystem.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

// The permission bits of a file, a link itself or a folder; -1 when missing.
int modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

// Files, folders, the instance lock, dates and windows: what the program needs from the
// system, without the session bus (tst_sessionbus).
class TestPlatform : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;

private Q_SLOTS:
    void init() { f_ = std::make_unique<Fixture>(); }
    void cleanup() { f_.reset(); }

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

    // Hours show as plain decimals in every size.
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
        c.connectionString = QStringLiteral("Provider=SQLite;Data Source=") + data + "Korvan.dat";
        c.open();
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
        f_->windowSystem.restores = restores;
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
