#include "model/Journal.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {
const QByteArray kHead = "Korvan journal 1";

std::optional<qint64> number(const QByteArray& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}
} // namespace

Journal::Journal(const QString& path) : path_(path) {}

QByteArray Journal::encode(const Run& run) {
    return kHead + "\nrun " + QByteArray::number(run.startUtcMs) + ' ' +
           QByteArray::number(run.baseUtcMs) + ' ' + QByteArray::number(run.baseTime, 'g', 17) +
           ' ' + QByteArray::number(run.index) + ' ' + run.task.toUtf8().toPercentEncoding() + '\n';
}

bool Journal::begin(const Run& run) {
    open_ = platform::writeFileAtomically(path_, encode(run), 0600, &lastError_);
    return open_;
}

bool Journal::beat(qint64 utcMs, qint64 elapsedMs) {
    if (!open_)
        return false;
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        lastError_ = file.errorString();
        return false;
    }
    const QByteArray line =
        "beat " + QByteArray::number(utcMs) + ' ' + QByteArray::number(elapsedMs) + '\n';
    errno = 0;
    if (file.write(line) != line.size() || !file.flush() || ::fdatasync(file.handle()) != 0) {
        lastError_ = errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        return false;
    }
    return true;
}

void Journal::remove() {
    QFile::remove(path_);
    open_ = false;
}

bool Journal::exists() const {
    return QFile::exists(path_);
}

std::optional<Journal::Run> Journal::read(const QString& path) {
    QFile file(path);
    // A journal is a few lines; anything much longer is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20)
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    // Only lines that end in a line break are complete: the last element is what follows
    // the final one, empty unless a write was torn.
    if (lines.size() < 3 || lines[0] != kHead)
        return std::nullopt;
    const QList<QByteArray> run = lines[1].split(' ');
    if (run.size() != 6 || run[0] != "run")
        return std::nullopt;
    Run out;
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
    for (qsizetype i = 2; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> beat = lines[i].split(' ');
        if (beat.size() != 3 || beat[0] != "beat")
            break;
        const auto utc = number(beat[1]), elapsed = number(beat[2]);
        if (!utc || !elapsed || *elapsed < out.lastSignMs)
            break;
        out.lastSignUtcMs = *utc;
        out.lastSignMs = *elapsed;
    }
    return out;
}
