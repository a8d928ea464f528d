#include "database/SummaryUnit.h"

#include "database/Progress.h"
#include "database/ProjectFrame.h"
#include "model/Records.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/BusyCursor.h"
#include "platform/Centre.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/MessageBox.h"
#include "widgets/LookupComboBox.h"

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
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

using namespace platform;

TSummary::TSummary(WorkRecords& records, TaskList& tasks, TForm4& progress)
    : records_(records), tasks_(tasks), progress_(progress) {
    setObjectName(QStringLiteral("Summary"));
    setWindowTitle(QStringLiteral("Summary"));
    setModal(false);
    frameArea_ = new QScrollArea;
    frameArea_->setObjectName(QStringLiteral("ScrollBox1"));
    frameArea_->setWidgetResizable(true);
    frameHolder_ = new QWidget;
    auto* column = new QVBoxLayout(frameHolder_);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch();
    frameArea_->setWidget(frameHolder_);
    totalCaption_ = new QLabel(QStringLiteral("Total time (h):"));
    totalCaption_->setObjectName(QStringLiteral("Label1"));
    totalLabel_ = new QLabel;
    totalLabel_->setObjectName(QStringLiteral("Label2"));
    QFont bold = totalLabel_->font();
    bold.setBold(true);
    totalLabel_->setFont(bold);
    resetBox_ = new QCheckBox(QStringLiteral("Reset times && descriptions. Close after save."));
    resetBox_->setObjectName(QStringLiteral("CheckBox1"));
    resetBox_->setChecked(true);
    saveButton_ = new QPushButton(QStringLiteral("Save to DB"));
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

TSummary::~TSummary() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

QList<TProjectBaseFrame*> TSummary::frames() const {
    QList<TProjectBaseFrame*> result;
    for (int i = 0;; ++i) {
        auto* frame = frameHolder_->findChild<TProjectBaseFrame*>(QStringLiteral("Frame%1").arg(i),
                                                                  Qt::FindDirectChildrenOnly);
        if (!frame)
            return result;
        result << frame;
    }
}

void TSummary::ShowSummary() {
    // A running save keeps its frames: the booking reads them until it ends.
    if (saving_) {
        raise();
        return;
    }
    {
        BusyCursor busy;
        TaskList& tasks = tasks_;
        tasks.sort([](const TProject* a, const TProject* b) { return CompareByHours(a, b) < 0; });
        for (TProjectBaseFrame* old : frames()) {
            old->setParent(nullptr);
            delete old;
        }
        auto* column = static_cast<QVBoxLayout*>(frameHolder_->layout());
        for (size_t i = 0; i < tasks.size(); ++i) {
            auto* frame = new TProjectBaseFrame(records_, frameHolder_);
            frame->setObjectName(QStringLiteral("Frame%1").arg(i));
            frame->onHoursChanged = [this] { UpdateTotal(); };
            column->insertWidget(static_cast<int>(i), frame);
            frame->FillFromTask(tasks[i]);
        }
        UpdateTotal();
    }
    show();
    raise();
    activateWindow();
}

void TSummary::UpdateTotal() {
    // Hours that are no number yet count as none until they are.
    float sum = 0;
    for (TProjectBaseFrame* frame : frames())
        sum += static_cast<float>(frame->typedHours().value_or(0));
    totalLabel_->setText(FloatToLocaleStr(2, sum));
}

bool TSummary::ConfirmSave() {
    QString text = QStringLiteral("Are you sure to save following records to database ?\r\n\r\n");
    for (TProjectBaseFrame* frame : frames()) {
        if (!frame->ValidateEntry())
            return false;
        if (frame->hoursSingle() <= 0)
            continue;
        // The task's name tells two records of one project apart.
        text += QStringLiteral("%1 - %2 : %3 h (%4)\r\n")
                    .arg(shortDateText(frame->workDay()), frame->projectName(), frame->hoursText(),
                         frame->taskName());
    }
    // Hours confirmed with Enter were never left: the total is what the frames say now.
    UpdateTotal();
    text = QStringLiteral("%1\r\nTotal: %2 h").arg(text, totalLabel_->text());
    return messageBox(text, QStringLiteral("Confirm"), MsgIcon::Question, MsgButtons::YesNo,
                      this) == MsgAnswer::Yes;
}

void TSummary::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { records_.openLists(); });
}

void TSummary::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { records_.closeLists(); });
}

void TSummary::saveClicked() {
    if (saving_)
        return;
    if (!ConfirmSave())
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

void TSummary::save() {
    const QList<TProjectBaseFrame*> all = frames();
    std::unique_ptr<BusyCursor> busy;
    try {
        progress_.show();
        busy = std::make_unique<BusyCursor>();
        progress_.begin(static_cast<int>(all.size()) + 1);
        records_.connection().BeginTrans();
        for (TProjectBaseFrame* frame : all) {
            progress_.StepIt();
            progress_.repaint();
            QCoreApplication::processEvents();
            const double hours = frame->hours();
            if (hours <= 0)
                continue;
            RefreshParameterTypes(records_.recordInsert());
            records_.recordInsert().ParamByName(QStringLiteral("datum")).Value = frame->workDate();
            records_.recordInsert().ParamByName(QStringLiteral("typ")).Value = frame->activityId();
            records_.recordInsert().ParamByName(QStringLiteral("nazev")).Value =
                frame->description();
            records_.recordInsert().ParamByName(QStringLiteral("id_projekt")).Value =
                frame->projectId();
            records_.recordInsert().ParamByName(QStringLiteral("pocetHodin")).Value = hours;
            records_.recordInsert().ParamByName(QStringLiteral("id_uzivatel")).Value = 1;
            records_.recordInsert().ParamByName(QStringLiteral("bugid")).Value = frame->bugNumber();
            records_.recordInsert().Execute();
        }
        records_.connection().CommitTrans();

        // Right after the commit, before anything is shown: the booked tasks are reset and
        // the store saved once. Until then a crash or a power cut would leave the hours in
        // the store, and the next booking would book them again.
        for (TProjectBaseFrame* frame : all) {
            // Each frame into its own task, also when two tasks share a name; a task removed
            // meanwhile gets nothing.
            TProject* task = tasks_.byId(frame->taskId());
            if (!task)
                continue;
            if (!frame->activityId().isNull())
                task->setActivityId(frame->activityId().toInt());
            if (!frame->projectId().isNull())
                task->setSectionId(frame->projectId().toInt());
            // Only what was booked: not a task added while this dialog was open, nor one
            // whose frame booked nothing.
            if (resetBox_->isChecked() && frame->hours() > 0)
                task->Reset();
        }
        if (onBooked)
            onBooked();

        busy.reset();
        progress_.finish();
        messageBox(QStringLiteral("Project times saved successfully."),
                   QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok, this);
        progress_.hide();
        if (resetBox_->isChecked()) {
            saving_ = false;
            close();
            if (onClosedAfterBooking)
                onClosedAfterBooking();
            for (TProjectBaseFrame* frame : all)
                frame->setWorkDay(platform::today());
        }
    } catch (const std::exception& e) {
        busy.reset();
        progress_.hide();
        try {
            records_.connection().RollbackTrans();
        } catch (...) {
        }
        const auto* error = dynamic_cast<const Error*>(&e);
        messageBox(error ? error->message() : QString::fromLocal8Bit(e.what()),
                   QStringLiteral("Error"), MsgIcon::Error, MsgButtons::Ok, this);
    }
}
