#pragma once

#include <QString>
#include <optional>

// A small file beside the store that says which task runs since when, with a sign of life
// at most every 30 seconds. It holds only what the store does not: after a save it starts
// again from what was saved, and it goes once nothing runs. Found at start-up, it tells
// that the program ended without saving.
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
        qint64 lastSignMs = 0; // elapsed from the base to the last sign of life
    };

    explicit Journal(const QString& path);

    const QString& path() const { return path_; }
    // Starts the journal again: the task runs with this time at that moment. Replaces the
    // file at once (mode 0600); false with the reason kept when it could not be written.
    bool begin(const Run& run);
    // A sign of life: elapsedMs after the base the program still ran.
    bool beat(qint64 utcMs, qint64 elapsedMs);
    // Nothing runs that the store does not hold.
    void remove();
    bool exists() const;
    QString lastError() const { return lastError_; }

    // Reads a journal; nothing when there is none or when it is torn or garbled before its
    // first complete line about the run (a torn last sign of life is only left out).
    static std::optional<Run> read(const QString& path);
    static QByteArray encode(const Run& run);

private:
    QString path_;
    QString lastError_;
    bool open_ = false;
};
