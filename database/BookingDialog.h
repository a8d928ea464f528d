#pragma once

#include "model/PendingBooking.h"

#include "database/BookingEntry.h"

#include <QDialog>
#include <functional>
#include <vector>

class WorkRecords;
class TaskList;
class ProgressDialog;

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class EntryFrame;
class FrameColumn;

// The booking dialog: one entry per task, most hours first, the total, and the save of
// every entry with hours as a work record, which the Booking writes in one transaction. There
// may be thousands of tasks: only the entries in view (and the one with the focus) have a
// frame, from a few that are used again; the entries hold what every task gets.
class BookingDialog : public QDialog {
    Q_OBJECT
public:
    BookingDialog(WorkRecords& records, TaskList& tasks, ProgressDialog& progress);

    // Right after a booking's commit, with the booked tasks reset: keep the tasks durably
    // (true when the store holds them) and show them.
    std::function<bool()> onBooked;
    // Once the dialog closes after a booking: back to the tray.
    std::function<void()> onClosedAfterBooking;
    ~BookingDialog() override;

    void showSummary();
    // A booking the program died in the middle of is settled with the database: its reset
    // is made when it was committed (true: the tasks changed and want saving). Until the
    // database can say, no new booking starts.
    bool settlePending(bool quiet);
    // Every save of the store: a booking's reset kept in memory is now kept on disk.
    void storeSaved();
    bool saving() const { return saving_; }

    // The frame of the task at this place in the list, or null while it is out of view.
    EntryFrame* frameAt(int index) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateTotal();
    bool confirmSave();
    // Hours that are possible but unlikely (more than a day in one entry or on one date, time
    // booked before) are booked only when the user says so.
    bool confirmHours();
    bool ask(size_t index, const QString& text);
    void proposeRest();
    void saveClicked();
    // The entries of a new opening, shown from the top.
    void fill();
    // The frame that shows the entry, free or made for it.
    EntryFrame* bind(size_t index);
    // Frames for what is in view and next to the focus; the others free.
    void arrange();
    int focusedIndex() const;
    // Scrolled into view, with its frame.
    EntryFrame* frameInView(size_t index);
    void measure(EntryFrame* sample);
    // The frames' height and pitch in the column as high as it is now.
    void fit();
    void layoutColumn();
    void placeFrames();
    // What the entry's frame says, into the entry.
    void keep(size_t index);
    // The same for every frame shown.
    void collect();
    bool refuse(size_t index, const BookingEntry::Problem& problem);
    QString projectName(const BookingEntry& entry);

    // Object names: ScrollBox1 (the frames), Label1 ("Total time (h):"), Label2 (the total),
    // CheckBox1 ("Reset times & descriptions..."), Button2 ("Save to DB"), Button1 ("&Close").
    QScrollArea* frameArea_;
    QLabel* totalCaption_;
    QLabel* totalLabel_;
    QCheckBox* resetBox_;
    QPushButton* closeButton_;
    QPushButton* saveButton_;
    WorkRecords& records_;
    TaskList& tasks_;
    ProgressDialog& progress_;
    void save();
    FrameColumn* frameHolder_;
    std::vector<BookingEntry> entries_;
    // The hours of each entry as the total counts them, read when the entry was last kept:
    // typing in one frame does not read the text of every entry again.
    std::vector<float> hours_;
    // The frames, few however many entries: each shows one entry, or none (index -1).
    struct Slot {
        EntryFrame* frame;
        int index;
    };
    std::vector<Slot> pool_;
    std::vector<EntryFrame*> frameOf_; // per entry, null while it has no frame
    int frameHint_ = 0;                // the height a frame asks for
    int gap_ = 0;
    int frameHeight_ = 0; // more than it asks while a few frames leave room below
    int pitch_ = 0;       // a frame and the gap below it
    QMetaObject::Connection focusWatch_;
    bool arranging_ = false;
    bool saving_ = false;
    PendingBooking pending_;
    // The reset of a committed booking is made but the store could not take it yet.
    bool resetUnsaved_ = false;
};
