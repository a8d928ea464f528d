#pragma once

#include "model/Watchman.h"

#include <QDialog>
#include <deque>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

// Asks what to do with time the program could not see the user work: a run that ended
// without a save, or a time away while a task ran. It does not block; the answer goes to
// the callbacks. It cannot be dismissed without an answer.
class QTimer;

class AbsenceDialog : public QDialog {
    Q_OBJECT
public:
    explicit AbsenceDialog(QWidget* parent = nullptr);
    ~AbsenceDialog() override;

    // Each run in turn.
    void askGaps(const std::vector<Watchman::Gap>& gaps);
    void askAbsence(const Watchman::Absence& absence);

    std::function<void(const Watchman::Gap&, Watchman::GapChoice, bool resume)> onGapAnswer;
    std::function<void(Watchman::AbsenceChoice)> onAbsenceAnswer;

    // A time of day as the question shows it: with the date when it is not today.
    static QString moment(qint64 utcMs);

protected:
    void reject() override;

private:
    void showNext();
    void choose(int choice);
    void present(bool takeFocus);
    void showUntilNow();

    // Object names: Label1 (the question), Button1..Button3 (the choices, the safest
    // first), CheckBox1 (resume the task, after a gap).
    QLabel* question_;
    QPushButton *firstButton_, *secondButton_, *thirdButton_;
    QCheckBox* resumeBox_;
    QTimer* nowTimer_; // NowTimer: "until now" said anew each second while a run is asked
    std::deque<Watchman::Gap> gaps_;
    bool askingAbsence_ = false;
    bool absenceWaiting_ = false;
    Watchman::Absence absence_;
};
