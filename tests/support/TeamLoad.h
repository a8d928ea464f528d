#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// Many people booking on one team database at the same moment, each in a process of their
// own: the running program (a test or a benchmark) starts copies of itself, which book
// through the program's own Booking, one entry at a time with the description
// "p<process>-<n>", as the booking window saves. An administrator among them also adds a
// project every few bookings. Every process connects and reads its lists first and waits;
// all start booking on one word from the parent, so that they meet at the server.
namespace teamload {

// Whether this process was started as one of them: then main() calls childMain() and
// returns what it does.
bool isChild();
int childMain();

struct Project {
    int id = 0;
    QString name;
};

struct Outcome {
    QString error;                   // empty: every process booked all it was to
    std::vector<double> latenciesMs; // each booking, from the call until its commit
    QList<Project> projects;         // as the administrators' processes added them
    double wallMs = 0;               // from the word to start until the last process ended
    double cpuMs = 0;                // the processes' own CPU time while booking, summed
};

// Starts a process per connection string (the login each books as), each booking that
// many times on projectId and activityId; an administrator adds a project after every
// projectEvery-th booking (0: never). Waits for every process, whatever happens.
Outcome run(const QStringList& connections, int bookings, int projectId, int activityId,
            int projectEvery);

// The p-th percentile of the values (nearest rank); 0 without values.
double percentile(std::vector<double> values, double p);

} // namespace teamload
