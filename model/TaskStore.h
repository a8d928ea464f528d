#pragma once

#include "model/Options.h"
#include "model/SettingsStore.h"

#include <QObject>
#include <QStringList>
#include <vector>

class TaskList;

// The task list and the settings kept in the per-user store: loaded at the start and saved
// after every change. What the user is to be told comes back as messages for whoever shows
// them; a store that stays unwritable is told once, until a save works again.
class TaskStore : public QObject {
    Q_OBJECT
public:
    // A message box's text and caption.
    struct Message {
        QString text, caption;
        bool operator==(const Message& other) const {
            return text == other.text && caption == other.caption;
        }
    };
    using Messages = std::vector<Message>;
    struct Saved {
        bool written = false; // the store holds the tasks and settings as they are now
        Messages messages;
    };

    TaskStore(TaskList& tasks, Options& options, QObject* parent = nullptr);

    TaskList& tasks() const { return tasks_; }
    Options& options() const { return options_; }

    // The store's tasks and settings in place of those held. A store whose connection was
    // changed by hand since its tasks' projects and activities were chosen loses them, and
    // is saved so.
    Messages load();
    Saved save();
    // The same with one sync (the content, not the rename), for a switch of the running
    // task that the caller keeps elsewhere until the next save(): saved() is not signalled,
    // and the log-on entry, which a switch never changes, is left alone.
    Saved saveLightly();
    // A save that leaves the file alone when it holds all of it already, on the disk: the
    // auto-save, which comes whether anything changed or not.
    Saved saveChanges();
    // The records go to the database of this connection from now on. A task's project and
    // activity are ids of the database they were chosen in, which another database gives to
    // other projects: on a switch to another database they are cleared. True when any task
    // had one; it is not saved yet.
    bool switchConnection(const QString& connection);
    // What the user is told when they were cleared.
    static QString choicesClearedText();
    // The program ends: from now on no save has anything to tell (the session's end would
    // wait for a box); what goes wrong goes to the log, and into a note the next start shows.
    void endSession();
    bool ending() const { return ending_; }

Q_SIGNALS:
    // The store holds the tasks and settings as they are now.
    void saved();

private:
    // Every task without project and activity; true when any had one.
    bool clearChoices();
    Saved write(platform::RegistryKey::Commit commit);

    TaskList& tasks_;
    Options& options_;
    QString failureTold_;
    bool ending_ = false;
    // What the saves since endSession() could tell nobody, for the next start.
    QStringList endNotices_;
};
