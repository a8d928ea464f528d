#pragma once

#include "model/RecordBrowser.h"

#include <QObject>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class WorkRecords;

// Whose records the Database dialog shows in a team database. An administrator chooses one
// person or everyone ("< All >"), and sees the hours of each beside the total when the
// records shown are more than one person's; a member has no choice to make: their own
// records are all the server gives them. Outside a team none of it shows.
class PersonChooser : public QObject {
    Q_OBJECT
public:
    explicit PersonChooser(QObject* parent = nullptr);

    // For the dialog to lay out, hidden until a team's administrator looks: the caption
    // "Pers&on:", whose key takes the focus to the list PersonFilter; PersonTotals, the
    // hours per person.
    QLabel* caption() const { return caption_; }
    QComboBox* list() const { return list_; }
    QLabel* totals() const { return totals_; }

    // The next load starts again from the person's own records.
    void reset() { chosen_.reset(); }
    // Reads who looks and the people to choose from; a choice made since the last reset
    // stays while that person is listed.
    void load(WorkRecords& records);
    // Whose records to show, by person id; -1: everyone's (outside a team, or "< All >").
    qint64 person() const;
    // Whether an administrator looks at everyone's records.
    bool everyone() const { return choosing_ && person() == -1; }
    // Shown when the hours are more than one person's, hidden otherwise.
    void showTotals(const std::vector<RecordBrowser::PersonTotal>& totals);

Q_SIGNALS:
    // Another person, or everyone, was chosen.
    void changed();

private:
    QLabel* caption_;
    QComboBox* list_;
    QLabel* totals_;
    qint64 own_ = -1;
    bool choosing_ = false;
    std::optional<qint64> chosen_;
};
