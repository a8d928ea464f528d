#include "model/Journal.h"

#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray kHead = "Korvan journal 2";
// Journals of earlier versions: one run and its signs of life, in one shared file.
const QByteArray kOldHead = "Korvan journal 1";
const QString kOldName = QStringLiteral("korvan.journal");
// Room reserved ahead for lines to come, so that a disk that fills meanwhile still takes
// them; the file starts again from its header at a save once it has grown past it.
constexpr qint64 kReserve = 64 * 1024LL;

std::optional<qint64> number(const QByteArray& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString reasonNow() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

QByteArray runLine(const Journal::Run& run) {
    return "run " + QByteArray::number(run.startUtcMs) + ' ' + QByteArray::number(run.baseUtcMs) +
           ' ' + QByteArray::number(run.baseTime, 'g', 17) + ' ' + QByteArray::number(run.index) +
           ' ' + run.task.toUtf8().toPercentEncoding() + '\n';
}

std::optional<Journal::Run> parseRun(const QByteArray& line) {
    const QList<QByteArray> run = line.split(' ');
    if (run.size() != 6 || run[0] != "run")
        return std::nullopt;
    Journal::Run out;
    const auto start = number(run[1]), base = number(run[2]), index = number(run[4]);
    bool timeOk = false;
    out.baseTime = run[3].toDouble(&timeOk);
    if (!start || !base || !index || !timeOk || !std::isfinite(out.baseTime) || out.baseTime < 0 ||
        *index < 0 || *index > 1 << 30)
        return std::nullopt;
    out.startUtcMs = *start;
    out.baseUtcMs = *base;
    out.index = static_cast<int>(*index);
    out.task = QString::fromUtf8(QByteArray::fromPercentEncoding(run[5]));
    out.lastSignUtcMs = out.baseUtcMs;
    return out;
}

// Each copy's own name: the process and a number that differs for every journal it opens.
QString ownName() {
    static std::atomic<int> serial{0};
    return QStringLiteral("korvan-%1-%2-%3.journal")
        .arg(::getpid())
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(serial++);
}
} // namespace

Journal::Journal(const QString& folder)
    : folder_(folder), path_(folder + QLatin1Char('/') + ownName()) {}

Journal::~Journal() {
    // Not an orderly end by itself: what the file holds stays for the next start, and the
    // lock goes with the descriptor.
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray Journal::encode(const Run& run) {
    return kOldHead + '\n' + runLine(run);
}

bool Journal::ensureOpen() {
    if (fd_ >= 0)
        return true;
    platform::makePrivateFolders(folder_);
    // Made and locked under a name no other copy looks at, then put in place: no copy can
    // take a journal for a dead one's in the moment before its lock is held.
    const QString temporary = folder_ + QStringLiteral("/.") + QFileInfo(path_).fileName();
    const QByteArray tmp = QFile::encodeName(temporary);
    const int fd =
        ::open(tmp.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        lastError_ = reasonNow();
        return false;
    }
    const QByteArray head = kHead + '\n';
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !writeAll(fd, head) ||
        ::rename(tmp.constData(), QFile::encodeName(path_).constData()) != 0) {
        lastError_ = reasonNow();
        ::unlink(tmp.constData());
        ::close(fd);
        return false;
    }
    // Best effort: where the file system cannot reserve, lines are appended as usual.
    ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, kReserve);
    fd_ = fd;
    size_ = head.size();
    return true;
}

bool Journal::append(const QByteArray& lines) {
    if (!ensureOpen())
        return false;
    if (!writeAll(fd_, lines) || ::fdatasync(fd_) != 0) {
        lastError_ = reasonNow();
        return false;
    }
    size_ += lines.size();
    return true;
}

void Journal::discard() {
    if (fd_ < 0)
        return;
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool Journal::saved(const std::optional<Run>& running) {
    if (!running) {
        discard();
        return true;
    }
    // Everything before is in the store: a file grown past its reserve starts again.
    if (fd_ >= 0 && size_ + 200 > kReserve) {
        const QByteArray fresh = kHead + '\n' + runLine(*running);
        if (::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0 && writeAll(fd_, fresh) &&
            ::fdatasync(fd_) == 0) {
            ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, kReserve);
            size_ = fresh.size();
            return true;
        }
        lastError_ = reasonNow();
        return false;
    }
    return append((fd_ >= 0 ? QByteArray("saved\n") : QByteArray()) + runLine(*running));
}

bool Journal::unsaved(const Run& run) {
    return append(runLine(run));
}

bool Journal::stopped(qint64 utcMs, qint64 elapsedMs) {
    if (fd_ < 0)
        return false;
    return append("stop " + QByteArray::number(utcMs) + ' ' + QByteArray::number(elapsedMs) + '\n');
}

bool Journal::switched(qint64 utcMs, qint64 elapsedMs, const Run& next) {
    if (fd_ < 0)
        return unsaved(next);
    return append("stop " + QByteArray::number(utcMs) + ' ' + QByteArray::number(elapsedMs) + '\n' +
                  runLine(next));
}

bool Journal::crowded() const {
    return fd_ >= 0 && size_ + 200 > kReserve;
}

bool Journal::beat(qint64 utcMs, qint64 elapsedMs) {
    if (fd_ < 0)
        return false;
    return append("beat " + QByteArray::number(utcMs) + ' ' + QByteArray::number(elapsedMs) + '\n');
}

std::optional<std::vector<Journal::Run>> Journal::read(const QString& path) {
    QFile file(path);
    // A journal is a few thousand lines at most; anything much longer is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 22)
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Only lines that end in a line break are complete: the last element is what follows
    // the final one, empty unless a write was torn.
    if (lines.size() < 2 || (lines[0] != kHead && lines[0] != kOldHead))
        return std::nullopt;
    std::vector<Run> runs;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line == "saved") {
            runs.clear();
            continue;
        }
        if (line.startsWith("run ")) {
            const std::optional<Run> run = parseRun(line);
            if (!run)
                break;
            runs.push_back(*run);
            continue;
        }
        const QList<QByteArray> sign = line.split(' ');
        if (runs.empty() || runs.back().stopped || sign.size() != 3 ||
            (sign[0] != "beat" && sign[0] != "stop"))
            break;
        const auto utc = number(sign[1]), elapsed = number(sign[2]);
        if (!utc || !elapsed || *elapsed < runs.back().lastSignMs)
            break;
        runs.back().lastSignUtcMs = *utc;
        runs.back().lastSignMs = *elapsed;
        runs.back().stopped = sign[0] == "stop";
    }
    return runs;
}

Journal::Orphan::Orphan(Orphan&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
    other.fd_ = -1;
}

Journal::Orphan& Journal::Orphan::operator=(Orphan&& other) noexcept {
    std::swap(path_, other.path_);
    std::swap(fd_, other.fd_);
    return *this;
}

Journal::Orphan::~Orphan() {
    if (fd_ >= 0)
        ::close(fd_);
}

void Journal::Orphan::settle() {
    if (fd_ < 0)
        return;
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
    fd_ = -1;
}

std::vector<Journal::Orphan> Journal::orphans() const {
    std::vector<Orphan> found;
    const QDir dir(folder_);
    const QStringList names = dir.entryList(
        {QStringLiteral("korvan-*.journal"), kOldName, kOldName + QStringLiteral(".gap-*")},
        QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (path == path_)
            continue;
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        // Only the user's own regular files; one that a running copy holds is that copy's,
        // and one removed or replaced while it was being taken is no longer there to ask about.
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != ::getuid() ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::stat(encoded.constData(), &named) != 0 ||
            named.st_ino != held.st_ino || named.st_dev != held.st_dev) {
            ::close(fd);
            continue;
        }
        found.emplace_back(path, fd);
    }
    return found;
}
