#pragma once

#include <QString>
#include <optional>
#include <vector>

// A small file beside the store that says which task runs since when, with a sign of life
// at most every 30 seconds. It holds only what the store does not: a save that succeeds
// marks everything before it as kept; a save that fails leaves the runs since the last good
// one in the journal, each on the task that ran it. Found at start-up without the copy that
// wrote it, it tells that the program ended without saving.
//
// Each running copy of the program has its own journal, named by the copy, and holds a lock
// on it for as long as it runs: a second copy neither reads nor removes a journal whose
// copy still runs, and the kernel drops the lock when a copy dies in any way. Lines are only
// appended, into space reserved ahead, so that a full disk still takes a task switch.
class Journal {
public:
    // What the journal knows of a run the store may not have.
    struct Run {
        QString task;
        int index = -1;        // the task's place in the store
        qint64 startUtcMs = 0; // when the task was started
        qint64 baseUtcMs = 0;  // when its time was last taken down
        double baseTime = 0;   // its time then, in days
        qint64 lastSignUtcMs = 0;
        qint64 lastSignMs = 0; // elapsed from the base to the last sign of life (or its stop)
        bool stopped = false;  // it ended while the program still ran
    };

    // This copy's journal in that folder; nothing is written before the first run.
    explicit Journal(const QString& folder);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // This copy's file (there only while there is something to keep).
    const QString& path() const { return path_; }
    // The store holds everything now; a task that runs goes on from this base.
    bool saved(const std::optional<Run>& running);
    // The store could not be written: this run begins.
    bool unsaved(const Run& run);
    // The store could not be written: the running task stopped elapsedMs after its base.
    bool stopped(qint64 utcMs, qint64 elapsedMs);
    // Both in one write: the running task stopped, and the next run begins.
    bool switched(qint64 utcMs, qint64 elapsedMs, const Run& next);
    // Grown so far that the next save is to start it again.
    bool crowded() const;
    // A sign of life: elapsedMs after the base the program still ran.
    bool beat(qint64 utcMs, qint64 elapsedMs);
    QString lastError() const { return lastError_; }

    // The runs a file holds that the store may not: those since its last save, in order;
    // nothing when the file is torn or garbled before its first complete run (a torn or
    // garbled later line only ends the file there).
    static std::optional<std::vector<Run>> read(const QString& path);
    static QByteArray encode(const Run& run);

    // A journal found at start-up whose copy no longer runs, held (locked) by this copy
    // until it is answered, so that no other copy asks about it too.
    class Orphan {
    public:
        Orphan(const QString& path, int fd) : path_(path), fd_(fd) {}
        Orphan(Orphan&& other) noexcept;
        Orphan& operator=(Orphan&& other) noexcept;
        ~Orphan();
        const QString& path() const { return path_; }
        // Answered and saved: the file goes.
        void settle();

    private:
        QString path_;
        int fd_ = -1;
    };
    // Every journal in the folder that no running copy holds, this copy's own excepted.
    std::vector<Orphan> orphans() const;

private:
    bool ensureOpen();
    bool append(const QByteArray& lines);
    void discard();

    QString folder_, path_;
    QString lastError_;
    int fd_ = -1;
    qint64 size_ = 0;
};
