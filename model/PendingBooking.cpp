#include "model/PendingBooking.h"

#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/Services.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cmath>

namespace {
const QByteArray kHead = "Korvan booking 1";

// The booking's last record: the newest of its project with its hours, in the person's name,
// written by this transaction. SQLite lets one writer at a time, so there the newest is the
// one just inserted; a server takes other desks' commits meanwhile, which may have higher
// ids (the same person booking from a second desk, too), and only the row's own
// transaction tells them apart.
const QString kFindMark = QStringLiteral(
    "SELECT MAX(id_ProvedenaPrace) FROM SEP_ProvedenaPrace WHERE id_Usek = ? AND ABS(Cas - ?) < "
    "0.000000001 AND id_UzivatelSEP = ?");
const QString kOwnTransaction = QStringLiteral(" AND xmin = CAST(pg_current_xact_id() AS xid)");
const QString kCountMark = QStringLiteral(
    "SELECT COUNT(*) FROM SEP_ProvedenaPrace WHERE id_ProvedenaPrace = ? AND id_Usek = ? AND "
    "ABS(Cas - ?) < 0.000000001");

} // namespace

PendingBooking::PendingBooking(const QString& storeLocation)
    : path_(QFileInfo(storeLocation).absolutePath() + QStringLiteral("/korvan.booking")) {}

PendingBooking::Mark PendingBooking::markOf(WorkRecords& records, qint32 projectId, double hours) {
    Mark mark;
    mark.projectId = projectId;
    mark.hours = hours;
    const bool server = records.connection().engine() == platform::SqlEngine::PostgreSQL;
    mark.recordId = records
                        .scalar(kFindMark + (server ? kOwnTransaction : QString()),
                                {projectId, hours, records.person().id})
                        .toLongLong();
    return mark;
}

bool PendingBooking::write(const Mark& mark, const std::vector<Reset>& resets, QString* error) {
    QByteArray text = kHead + "\nmark " + QByteArray::number(mark.recordId) + ' ' +
                      QByteArray::number(mark.projectId) + ' ' +
                      QByteArray::number(mark.hours, 'g', 17) + '\n';
    for (const Reset& reset : resets)
        text += (reset.keepsTime ? "keep " : "reset ") + QByteArray::number(reset.index) + ' ' +
                QByteArray::number(reset.days, 'g', 17) + ' ' +
                QByteArray::number(reset.projectId) + ' ' + QByteArray::number(reset.activityId) +
                ' ' + reset.task.toUtf8().toPercentEncoding() + '\n';
    return platform::writeFileAtomically(path_, text + "end\n", 0600, error);
}

void PendingBooking::remove() {
    QFile::remove(path_);
}

bool PendingBooking::exists() const {
    return QFile::exists(path_);
}

PendingBooking::Outcome PendingBooking::settle(WorkRecords& records, TaskList& tasks,
                                               QString* error) {
    QFile file(path_);
    if (!file.exists())
        return Outcome::None;
    const QList<QByteArray> lines = file.open(QIODevice::ReadOnly) && file.size() < (1 << 24)
                                        ? file.readAll().split('\n')
                                        : QList<QByteArray>();
    // Written whole or not at all: anything else is not a booking this program wrote.
    Mark mark;
    std::vector<Reset> resets;
    bool whole = lines.size() >= 4 && lines[0] == kHead && lines[lines.size() - 2] == "end";
    const QList<QByteArray> head = whole ? lines[1].split(' ') : QList<QByteArray>();
    whole = whole && head.size() == 4 && head[0] == "mark";
    if (whole) {
        mark.recordId = head[1].toLongLong();
        mark.projectId = head[2].toInt();
        mark.hours = head[3].toDouble();
    }
    for (qsizetype i = 2; whole && i + 2 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        bool daysOk = false;
        Reset reset;
        whole = fields.size() == 6 && (fields[0] == "reset" || fields[0] == "keep");
        if (!whole)
            break;
        reset.keepsTime = fields[0] == "keep";
        reset.index = fields[1].toInt();
        reset.days = fields[2].toDouble(&daysOk);
        reset.projectId = fields[3].toInt();
        reset.activityId = fields[4].toInt();
        reset.task = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[5]));
        whole = daysOk && std::isfinite(reset.days) && reset.days >= 0;
        resets.push_back(reset);
    }
    if (!whole) {
        // Torn before it was complete: the commit cannot have followed.
        remove();
        return Outcome::NotBooked;
    }
    bool booked = false;
    try {
        booked =
            mark.recordId > 0 &&
            records.scalar(kCountMark, {mark.recordId, mark.projectId, mark.hours}).toInt() > 0;
    } catch (const platform::Error& e) {
        if (error)
            *error = e.message();
        return Outcome::Unknown;
    }
    if (!booked) {
        remove();
        return Outcome::NotBooked;
    }
    for (const Reset& reset : resets) {
        Task* task = tasks.byPlace(reset.index, reset.task);
        if (!task)
            continue;
        if (reset.projectId)
            task->setSectionId(reset.projectId);
        if (reset.activityId)
            task->setActivityId(reset.activityId);
        if (reset.keepsTime)
            task->markBooked(reset.days, QDateTime::fromMSecsSinceEpoch(
                                             platform::services().clock->utcMs(), Qt::UTC));
        else
            task->takeBooked(reset.days);
    }
    return Outcome::Applied;
}
