#include "database/BookingDialog.h"

#include "database/EntryFrame.h"
#include "database/ProgressDialog.h"
#include "model/Booking.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Centre.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "widgets/BusyCursor.h"
#include "widgets/LookupComboBox.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

using namespace platform;

// The column of entry frames: as high as all frames together, shown or not, so that the
// scroll bar covers every task. It places no frame itself.
class FrameColumn : public QWidget {
public:
    std::function<void()> onResized;
    QSize hint;
    QSize sizeHint() const override { return hint; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (onResized)
            onResized();
    }
};

BookingDialog::BookingDialog(WorkRecords& records, TaskList& tasks, ProgressDialog& progress)
    : records_(records), tasks_(tasks), progress_(progress),
      pending_(platform::services().registry->location()) {
    setObjectName(QStringLiteral("Summary"));
    setWindowTitle(QStringLiteral("Summary"));
    setModal(false);
    frameArea_ = new QScrollArea;
    frameArea_->setObjectName(QStringLiteral("ScrollBox1"));
    frameArea_->setWidgetResizable(true);
    // Tab goes from field to field, and the column scrolls to the one with the focus: the
    // column itself is no stop.
    frameArea_->setFocusPolicy(Qt::NoFocus);
    frameHolder_ = new FrameColumn;
    frameHolder_->onResized = [this] {
        placeFrames();
        arrange();
    };
    frameArea_->setWidget(frameHolder_);
    connect(frameArea_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { arrange(); });
    // The frame with the focus stays, and Tab and Shift+Tab find a frame next to it.
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this] { arrange(); });
    totalCaption_ = new QLabel(QStringLiteral("Total time (h):"));
    totalCaption_->setObjectName(QStringLiteral("Label1"));
    totalLabel_ = new QLabel;
    totalLabel_->setObjectName(QStringLiteral("Label2"));
    QFont bold = totalLabel_->font();
    bold.setBold(true);
    totalLabel_->setFont(bold);
    resetBox_ = new QCheckBox(QStringLiteral("&Reset times && descriptions. Close after save."));
    resetBox_->setObjectName(QStringLiteral("CheckBox1"));
    resetBox_->setChecked(true);
    saveButton_ = new QPushButton(QStringLiteral("&Save to DB"));
    saveButton_->setObjectName(QStringLiteral("Button2"));
    saveButton_->setDefault(true);
    closeButton_ = new QPushButton(QStringLiteral("&Close"));
    closeButton_->setObjectName(QStringLiteral("Button1"));
    connect(saveButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { saveClicked(); }); });
    connect(closeButton_, &QPushButton::clicked, this, [this] { close(); });

    auto* total = new QHBoxLayout;
    total->addWidget(totalCaption_);
    total->addWidget(totalLabel_);
    total->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resetBox_);
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    buttons->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frameArea_, 1);
    layout->addLayout(total);
    layout->addLayout(buttons);
    // Smaller on a small screen: the entries scroll, the buttons stay in reach.
    resize(platform::sizeOnScreen(this, QSize(560, 520)));
}

BookingDialog::~BookingDialog() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
    // The frames go after the entries: the focus leaving them must not arrange them.
    arranging_ = true;
    disconnect(focusWatch_);
    frameHolder_->onResized = nullptr;
}

EntryFrame* BookingDialog::frameAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < frameOf_.size()
               ? frameOf_[static_cast<size_t>(index)]
               : nullptr;
}

void BookingDialog::showSummary() {
    // A running save keeps its entries: the booking reads them until it ends.
    if (saving_) {
        raise();
        return;
    }
    if (!settlePending(false))
        return;
    {
        BusyCursor busy;
        // Most hours first, ties by name; the list itself keeps its order, which is the
        // user's and the store's.
        std::vector<Task*> byHours = tasks_.byName();
        std::stable_sort(byHours.begin(), byHours.end(), [](const Task* a, const Task* b) {
            // By the hours proposed: time booked already is not.
            return a->unbookedHours() > b->unbookedHours();
        });
        entries_.clear();
        entries_.reserve(byHours.size());
        hours_.clear();
        hours_.reserve(byHours.size());
        for (Task* task : byHours) {
            entries_.push_back(BookingEntry::fromTask(task));
            hours_.push_back(static_cast<float>(entries_.back().typedHours().value_or(0)));
        }
        fill();
        updateTotal();
    }
    show();
    raise();
    activateWindow();
    arrange();
    // The keys start at the first entry's hours, as the eye does.
    if (EntryFrame* first = frameAt(0))
        first->firstField()->setFocus(Qt::OtherFocusReason);
}

void BookingDialog::fill() {
    // The frames of the last opening show the new entries as they come into view.
    for (Slot& slot : pool_)
        slot.index = -1;
    frameOf_.assign(entries_.size(), nullptr);
    frameArea_->verticalScrollBar()->setValue(0);
    if (!entries_.empty())
        measure(bind(0));
    layoutColumn();
    arrange();
}

EntryFrame* BookingDialog::bind(size_t index) {
    if (frameOf_[index])
        return frameOf_[index];
    auto free = std::find_if(pool_.begin(), pool_.end(), [](const Slot& s) { return s.index < 0; });
    if (free == pool_.end()) {
        auto* made = new EntryFrame(records_, frameHolder_);
        made->onHoursChanged = [this] { updateTotal(); };
        free = pool_.insert(pool_.end(), Slot{made, -1});
    }
    EntryFrame* frame = free->frame;
    frame->setObjectName(QStringLiteral("Frame%1").arg(index));
    frame->load(entries_[index]);
    // In the tab order where the list has it: after the frame above, else before the one
    // below.
    const Slot* above = nullptr;
    const Slot* below = nullptr;
    for (const Slot& slot : pool_) {
        if (slot.index < 0)
            continue;
        if (slot.index < static_cast<int>(index) && (!above || slot.index > above->index))
            above = &slot;
        if (slot.index > static_cast<int>(index) && (!below || slot.index < below->index))
            below = &slot;
    }
    if (above) {
        frame->chainAfter(above->frame->lastField());
    } else if (below) {
        QWidget* previous = below->frame->firstField()->previousInFocusChain();
        if (!frame->isAncestorOf(previous))
            frame->chainAfter(previous);
    }
    free->index = static_cast<int>(index);
    frameOf_[index] = frame;
    if (pitch_ <= 0)
        measure(frame);
    frame->setGeometry(0, static_cast<int>(index) * pitch_, frameHolder_->width(), frameHeight_);
    frame->show();
    return frame;
}

void BookingDialog::measure(EntryFrame* sample) {
    frameHint_ = sample->sizeHint().height();
    // The gap a column layout of the frames would leave between two of them.
    QStyle* style = frameHolder_->style();
    int gap = style->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr, frameHolder_);
    if (gap < 0) {
        const QSizePolicy::ControlType type = sample->sizePolicy().controlType();
        gap = style->combinedLayoutSpacing(type, type, Qt::Vertical, nullptr, frameHolder_);
    }
    gap_ = std::max(gap, 0);
    fit();
}

void BookingDialog::fit() {
    // As a column layout with room to spare below its frames shares a view that holds them
    // all: each frame and the room below alike, no frame lower than it asks.
    const int count = static_cast<int>(entries_.size());
    const int room = frameHolder_->height() - std::max(count - 1, 0) * gap_;
    const int share = static_cast<int>(std::lround(static_cast<double>(room) / (count + 1)));
    frameHeight_ = std::max(frameHint_, share);
    pitch_ = frameHeight_ + gap_;
}

void BookingDialog::layoutColumn() {
    const EntryFrame* sample = frameAt(0);
    const int count = static_cast<int>(entries_.size());
    const int height = count > 0 ? count * frameHint_ + (count - 1) * gap_ : 0;
    frameHolder_->hint = QSize(sample ? sample->sizeHint().width() : 0, height);
    frameHolder_->setMinimumSize(sample ? sample->minimumSizeHint().width() : 0, height);
    // Also when it shrinks: the scroll area sizes it again on its resize.
    frameHolder_->resize(frameHolder_->width(), std::max(height, frameArea_->viewport()->height()));
    placeFrames();
}

void BookingDialog::placeFrames() {
    fit();
    const int width = frameHolder_->width();
    for (const Slot& slot : pool_)
        if (slot.index >= 0)
            slot.frame->setGeometry(0, slot.index * pitch_, width, frameHeight_);
}

int BookingDialog::focusedIndex() const {
    // The window's focus stays with its field while a message box or a pop-up has it.
    QWidget* focused = focusWidget();
    for (const Slot& slot : pool_)
        if (slot.index >= 0 && focused && slot.frame->isAncestorOf(focused))
            return slot.index;
    return -1;
}

void BookingDialog::arrange() {
    // Hiding a frame may move the focus, which arranges again.
    if (arranging_ || pitch_ <= 0)
        return;
    arranging_ = true;
    // What is in view, one more above and below so that the keys move into a frame that
    // is there, and the frame with the focus with its neighbours. Every other frame puts
    // what it shows into its entry and is free for another.
    const int count = static_cast<int>(entries_.size());
    const int top = frameArea_->verticalScrollBar()->value();
    const int first = std::max(0, top / pitch_ - 1);
    const int last = std::min(count - 1, (top + frameArea_->viewport()->height()) / pitch_ + 1);
    const int focused = focusedIndex();
    const auto wanted = [&](int i) {
        return (i >= first && i <= last) || (focused >= 0 && std::abs(i - focused) <= 1);
    };
    for (Slot& slot : pool_) {
        if (slot.index >= 0 && !wanted(slot.index) && !slot.frame->checking()) {
            keep(static_cast<size_t>(slot.index));
            frameOf_[static_cast<size_t>(slot.index)] = nullptr;
            slot.index = -1;
        }
    }
    for (int i = first; i <= last; ++i)
        bind(static_cast<size_t>(i));
    if (focused >= 0)
        for (int i = std::max(0, focused - 1); i <= std::min(count - 1, focused + 1); ++i)
            bind(static_cast<size_t>(i));
    for (const Slot& slot : pool_)
        if (slot.index < 0 && !slot.frame->isHidden())
            slot.frame->hide();
    arranging_ = false;
}

EntryFrame* BookingDialog::frameInView(size_t index) {
    // The whole frame where the viewport has room for it.
    const int middle = static_cast<int>(index) * pitch_ + frameHeight_ / 2;
    frameArea_->ensureVisible(0, middle, 0, frameHeight_ / 2);
    arrange();
    return bind(index);
}

void BookingDialog::keep(size_t index) {
    BookingEntry& entry = entries_[index];
    frameOf_[index]->store(entry);
    hours_[index] = static_cast<float>(entry.typedHours().value_or(0));
}

void BookingDialog::collect() {
    for (const Slot& slot : pool_)
        if (slot.index >= 0)
            keep(static_cast<size_t>(slot.index));
}

void BookingDialog::updateTotal() {
    // Hours that are no number yet count as none until they are.
    float sum = 0;
    for (size_t i = 0; i < entries_.size(); ++i)
        sum += frameOf_[i] ? static_cast<float>(frameOf_[i]->typedHours().value_or(0)) : hours_[i];
    totalLabel_->setText(floatToLocaleStr(2, sum));
}

bool BookingDialog::refuse(size_t index, const BookingEntry::Problem& problem) {
    // The entry in view, its field with the focus: out of view it could not be put right.
    EntryFrame* frame = frameInView(index);
    messageBox(problem.text, problem.caption, MsgIcon::Warning, MsgButtons::Ok, frame);
    QWidget* field = frame->field(problem.field);
    frameArea_->ensureWidgetVisible(field);
    field->setFocus();
    return false;
}

QString BookingDialog::projectName(const BookingEntry& entry) {
    // What the entry's drop-down shows.
    const LookupList list = records_.projectList();
    const int row =
        entry.projectId.isNull() ? -1 : list.dataset->locate(list.keyField, entry.projectId);
    return row >= 0 ? list.dataset->value(row, list.listField).toString() : QString();
}

bool BookingDialog::confirmSave() {
    collect();
    QString text = QStringLiteral("Are you sure to save following records to database ?\r\n\r\n");
    // A screenful of records at most: with hundreds the question's buttons were far below
    // the screen's edge. The total still counts every record.
    constexpr int kListedAtMost = 30;
    int listed = 0, unlisted = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const BookingEntry& entry = entries_[i];
        if (const auto problem = entry.problem(records_))
            return refuse(i, *problem);
        if (static_cast<float>(entry.hours()) <= 0)
            continue;
        if (listed == kListedAtMost) {
            ++unlisted;
            continue;
        }
        ++listed;
        // The task's name tells two records of one project apart.
        text +=
            QStringLiteral("%1 - %2 : %3 h (%4)\r\n")
                .arg(shortDateText(entry.day), projectName(entry), entry.hoursText, entry.taskName);
    }
    if (unlisted > 0)
        text += QStringLiteral("... and %1 more\r\n").arg(unlisted);
    if (!confirmHours())
        return false;
    // Hours confirmed with Enter were never left: the total is what the entries say now.
    updateTotal();
    text = QStringLiteral("%1\r\nTotal: %2 h").arg(text, totalLabel_->text());
    return messageBox(text, QStringLiteral("Confirm"), MsgIcon::Question, MsgButtons::YesNo,
                      this) == MsgAnswer::Yes;
}

void BookingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { records_.openLists(); });
}

void BookingDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { records_.closeLists(); });
}

bool BookingDialog::settlePending(bool quiet) {
    // A reset already made in memory waits only for the store: settling it again would
    // take the booked time off twice.
    if (resetUnsaved_ || !pending_.exists())
        return true;
    QString why;
    switch (pending_.settle(records_, tasks_, &why)) {
    case PendingBooking::Outcome::Applied:
        if (onBooked && onBooked())
            pending_.remove();
        else
            resetUnsaved_ = true;
        return true;
    case PendingBooking::Outcome::Unknown: {
        const QString text =
            QStringLiteral("Korvan could not find out whether the last booking reached the "
                           "database (%1). No new booking starts until it can, so that no "
                           "hours are booked twice.")
                .arg(why);
        if (quiet)
            qWarning("%s", qPrintable(text));
        else
            messageBox(text, QStringLiteral("Error"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    default:
        return true;
    }
}

void BookingDialog::storeSaved() {
    if (!resetUnsaved_)
        return;
    resetUnsaved_ = false;
    pending_.remove();
}

void BookingDialog::saveClicked() {
    if (saving_)
        return;
    if (!confirmSave())
        return;
    saving_ = true;
    saveButton_->setEnabled(false);
    // The lists stay open until the booking ends, also when the dialog closes meanwhile.
    records_.holdLists(true);
    try {
        save();
    } catch (...) {
        saving_ = false;
        saveButton_->setEnabled(true);
        records_.holdLists(false);
        throw;
    }
    saving_ = false;
    saveButton_->setEnabled(true);
    records_.holdLists(false);
}

void BookingDialog::save() {
    // What was confirmed is what is booked.
    std::vector<Booking::Entry> confirmed;
    confirmed.reserve(entries_.size());
    try {
        for (const BookingEntry& entry : entries_)
            confirmed.push_back(entry.record());
    } catch (const Error& e) {
        messageBox(e.message(), QStringLiteral("Error"), MsgIcon::Error, MsgButtons::Ok, this);
        return;
    }
    const bool reset = resetBox_->isChecked();
    progress_.show();
    auto busy = std::make_unique<BusyCursor>();
    progress_.begin(static_cast<int>(confirmed.size()) + 1);
    // Seen whole before the connection may keep it waiting. No event runs while the
    // booking's transaction is open: the bar repaints itself whenever it moves a visible
    // step, not on every record.
    progress_.repaint();
    const Booking::Result result =
        Booking(records_, tasks_, pending_).book(confirmed, reset, [this] { progress_.stepIt(); });
    if (!result.committed) {
        busy.reset();
        progress_.hide();
        if (result.goneEntry >= 0) {
            // The entry in view with the field to choose again; the lists show what the
            // database has now.
            records_.reloadLists();
            const auto index = static_cast<size_t>(result.goneEntry);
            EntryFrame* frame = frameInView(index);
            frame->load(entries_[index]);
            messageBox(result.error, QStringLiteral("Error"), MsgIcon::Error, MsgButtons::Ok,
                       frame);
            frame
                ->field(result.projectGone ? BookingEntry::Field::Project
                                           : BookingEntry::Field::Activity)
                ->setFocus();
            return;
        }
        messageBox(result.error, QStringLiteral("Error"), MsgIcon::Error, MsgButtons::Ok, this);
        return;
    }
    // The booked tasks are reset: the store saves them once, before anything is shown.
    if (result.resetNoted) {
        if (onBooked && onBooked())
            pending_.remove();
        else
            resetUnsaved_ = true;
    } else if (onBooked) {
        onBooked();
    }

    if (!reset)
        proposeRest();
    busy.reset();
    progress_.finish();
    messageBox(QStringLiteral("Project times saved successfully."), QStringLiteral("Information"),
               MsgIcon::Information, MsgButtons::Ok, this);
    progress_.hide();
    if (reset) {
        saving_ = false;
        close();
        if (onClosedAfterBooking)
            onClosedAfterBooking();
        const QDate today = platform::today();
        for (size_t i = 0; i < entries_.size(); ++i) {
            entries_[i].day = today;
            if (frameOf_[i])
                frameOf_[i]->setWorkDay(today);
        }
    }
}
