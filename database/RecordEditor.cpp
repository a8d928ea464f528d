#include "database/RecordEditor.h"

#include "database/BookingEntry.h"
#include "model/Records.h"
#include "model/Task.h"
#include "platform/Centre.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "widgets/LookupComboBox.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace platform;

namespace {
const QString kCaption = QStringLiteral("Edit record");
// More than a day's hours in one record is possible (a task left running over night), but
// more often a slip: it is saved only when the user says so.
constexpr double kHoursOfADay = 24;
// Hours as long as they can be written sensibly ("1234.25"), a bug number as long as an int.
constexpr int kLongestHours = 16;
constexpr int kLongestBugNumber = 11;
} // namespace

RecordEditor::RecordEditor(WorkRecords& records, QWidget* parent)
    : QDialog(parent), records_(records) {
    setObjectName(QStringLiteral("RecordEditor"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Modal to the records only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    auto* grid = new QGridLayout(this);
    int row = 0;
    // Made in their tab order; each label's key takes the focus to its field.
    const auto labelled = [this, grid, &row](const QString& text, QWidget* field) {
        QLabel* caption = new QLabel(text, this);
        caption->setBuddy(field);
        grid->addWidget(caption, row, 0);
        grid->addWidget(field, row++, 1);
    };
    dateEdit_ = named(new QDateEdit, "DateEdit");
    dateEdit_->setCalendarPopup(true);
    dateEdit_->setDisplayFormat(shortDateFormat());
    labelled(QStringLiteral("&Date:"), dateEdit_);
    projectBox_ = named(new LookupComboBox, "ProjectBox");
    projectBox_->setListSource(records.projectList());
    labelled(QStringLiteral("&Project:"), projectBox_);
    activityBox_ = named(new LookupComboBox, "ActivityBox");
    activityBox_->setListSource(records.activityList());
    labelled(QStringLiteral("&Activity:"), activityBox_);
    // The boxes ask for this width, not for their longest entry's: a long name shows
    // shortened and the window never grows for it.
    for (LookupComboBox* box : {projectBox_, activityBox_})
        box->setMinimumWidth(fontMetrics().averageCharWidth() * 30);
    hoursEdit_ = named(new QLineEdit, "HoursEdit");
    hoursEdit_->setMaxLength(kLongestHours);
    labelled(QStringLiteral("&Hours:"), hoursEdit_);
    bugEdit_ = named(new QLineEdit, "BugEdit");
    bugEdit_->setMaxLength(kLongestBugNumber);
    labelled(QStringLiteral("&Bug number:"), bugEdit_);
    descriptionEdit_ = named(new QPlainTextEdit, "DescriptionEdit");
    descriptionEdit_->setTabChangesFocus(true);
    labelled(QStringLiteral("D&escription:"), descriptionEdit_);
    grid->setRowStretch(row - 1, 1);
    okButton_ = button("OkButton", QStringLiteral("&OK"));
    okButton_->setDefault(true);
    cancelButton_ = button("CancelButton", QStringLiteral("&Cancel"));
    connect(okButton_, &QPushButton::clicked, this, [this] { guarded([this] { okClicked(); }); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    grid->addLayout(buttons, row, 0, 1, 2);
    resize(sizeOnScreen(this, QSize(440, 320)));
}

RecordEditor::~RecordEditor() {
    // Hidden while whole: hiding gives the lists back.
    hide();
}

void RecordEditor::edit(const WorkRecords::BookedRecord& record) {
    // The lists before the window shows, so that it is laid out and shown with them; given
    // back when it hides.
    try {
        records_.openLists();
    } catch (...) {
        records_.closeLists();
        throw;
    }
    record_ = record;
    dateEdit_->setDate(record.workDate.date());
    // A retired project is not offered any more, but the record keeps it unless the user
    // chooses another: its name stands in the empty box.
    projectBox_->setPlaceholderText(record.projectName);
    projectBox_->setKeyValue(record.projectId);
    activityBox_->setKeyValue(record.activityId);
    hoursEdit_->setText(hoursText(record.hours));
    bugEdit_->setText(record.bugNumber.isNull() ? QString() : record.bugNumber.toString());
    descriptionEdit_->setPlainText(descriptionForEditor(record.description));
    open();
    hoursEdit_->setFocus();
    hoursEdit_->selectAll();
}

void RecordEditor::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        guarded([this] { records_.closeLists(); });
}

QString RecordEditor::describe(const WorkRecords::BookedRecord& record) {
    // Its first line, and not all of that: the question stays the size of a question.
    constexpr int kShown = 60;
    QString text = record.description;
    for (const QChar lineEnd : {QLatin1Char('\r'), QLatin1Char('\n')})
        if (const qsizetype at = text.indexOf(lineEnd); at >= 0)
            text.truncate(at);
    if (text.size() > kShown || text.size() < record.description.size())
        text = text.left(kShown) + QChar(0x2026);
    QString line = QStringLiteral("%1, %2, %3 h")
                       .arg(recordDateText(record.workDate), record.projectName.left(kShown),
                            hoursText(record.hours));
    return text.isEmpty() ? line : line + QStringLiteral(": \"") + text + QLatin1Char('"');
}

bool RecordEditor::refuse(QWidget* field, const QString& text) {
    messageBox(text, kCaption, MsgIcon::Warning, MsgButtons::Ok, this);
    field->setFocus();
    return false;
}

std::optional<WorkRecords::BookedRecord> RecordEditor::typed() {
    WorkRecords::BookedRecord record = record_;
    const std::optional<double> hours = parseHours(hoursEdit_->text());
    if (!hours) {
        refuse(hoursEdit_,
               QStringLiteral("Type the hours as a number, such as %1.").arg(hoursText(1.5)));
        return std::nullopt;
    }
    if (const QString problem = WorkRecords::hoursProblem(*hours); !problem.isEmpty()) {
        refuse(hoursEdit_, problem);
        return std::nullopt;
    }
    record.hours = *hours;
    if (projectBox_->keyValue().isNull()) {
        refuse(projectBox_, QStringLiteral("Choose the project of the record."));
        return std::nullopt;
    }
    if (activityBox_->keyValue().isNull()) {
        refuse(activityBox_, QStringLiteral("Choose the activity of the record."));
        return std::nullopt;
    }
    record.projectId = projectBox_->keyValue().toLongLong();
    record.activityId = activityBox_->keyValue().toLongLong();
    if (projectBox_->currentIndex() >= 0)
        record.projectName = projectBox_->currentText();
    record.bugNumber = QVariant();
    if (const QString bug = bugEdit_->text().trimmed(); !bug.isEmpty()) {
        bool ok = false;
        record.bugNumber = bug.toInt(&ok);
        if (!ok) {
            refuse(bugEdit_, QStringLiteral("Bug ID must be a valid integer."));
            return std::nullopt;
        }
    }
    record.description = descriptionFromEditor(descriptionEdit_->toPlainText());
    if (record.description.size() > kDescriptionLimit) {
        refuse(descriptionEdit_,
               QStringLiteral("The description cannot be longer than %1 characters.")
                   .arg(kDescriptionLimit));
        return std::nullopt;
    }
    // The day as chosen, at the time of day it had.
    record.workDate = wallClock(dateEdit_->date(), record_.workDate.time());
    return record;
}

void RecordEditor::okClicked() {
    const std::optional<WorkRecords::BookedRecord> record = typed();
    if (!record)
        return;
    const WorkRecords::BookedRecord& was = record_;
    if (record->workDate == was.workDate && record->projectId == was.projectId &&
        record->activityId == was.activityId && record->hours == was.hours &&
        record->bugNumber == was.bugNumber && record->description == was.description) {
        accept();
        return;
    }
    const bool overADay = record->hours > kHoursOfADay && record->hours != was.hours;
    const QString question =
        overADay ? QStringLiteral("%1 hours is more than a whole day.\n\nSave the record with "
                                  "these hours?")
                       .arg(hoursText(record->hours))
                 : QStringLiteral("Save the changes to this record?\n\n") + describe(*record);
    if (messageBox(question, kCaption, overADay ? MsgIcon::Warning : MsgIcon::Question,
                   overADay ? MsgButtons::YesNoDefaultNo : MsgButtons::YesNo,
                   this) != MsgAnswer::Yes) {
        if (overADay)
            hoursEdit_->setFocus();
        return;
    }
    try {
        if (onSave)
            onSave(*record);
    } catch (const Error& e) {
        messageBox(e.message(), kCaption, MsgIcon::Warning, MsgButtons::Ok, this);
        return;
    }
    accept();
}
