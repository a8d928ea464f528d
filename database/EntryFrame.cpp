#include "database/EntryFrame.h"

#include "model/WorkRecords.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "widgets/ElidedLabel.h"
#include "widgets/LookupComboBox.h"
#include "widgets/MessageBox.h"

#include <QDateEdit>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>

using namespace platform;

EntryFrame::EntryFrame(WorkRecords& records, QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    hoursEdit_ = new QLineEdit;
    hoursEdit_->setObjectName(QStringLiteral("Edit2"));
    hoursEdit_->installEventFilter(this);
    // The total follows the hours as they are typed, not only when the field is left.
    connect(hoursEdit_, &QLineEdit::textEdited, this, [this] {
        if (typedHours() && onHoursChanged)
            onHoursChanged();
    });
    dateEdit_ = new QDateEdit;
    dateEdit_->setObjectName(QStringLiteral("DateTimePicker1"));
    dateEdit_->setCalendarPopup(true);
    dateEdit_->setDisplayFormat(shortDateFormat());
    projectBox_ = new LookupComboBox;
    projectBox_->setObjectName(QStringLiteral("DBLookupComboBox2"));
    activityBox_ = new LookupComboBox;
    activityBox_->setObjectName(QStringLiteral("DBLookupComboBox1"));
    projectBox_->setListSource(records.projectList());
    activityBox_->setListSource(records.activityList());
    descriptionEdit_ = new QPlainTextEdit;
    descriptionEdit_->setObjectName(QStringLiteral("Memo1"));
    descriptionEdit_->setTabChangesFocus(true);
    descriptionEdit_->setFixedHeight(54);
    bugEdit_ = new QLineEdit;
    bugEdit_->setObjectName(QStringLiteral("Edit1"));
    // A long name shows shortened, whole in its tooltip: the entries keep their width.
    taskLabel_ = new ElidedLabel;
    taskLabel_->setObjectName(QStringLiteral("Label4"));
    QFont bold = taskLabel_->font();
    bold.setBold(true);
    taskLabel_->setFont(bold);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Task:")), 0, 0);
    grid->addWidget(taskLabel_, 0, 1, 1, 3);
    // Each label is its field's; the field's own name says for which task (see load()).
    const auto labelled = [grid](const QString& text, QWidget* field, int row, int column,
                                 int columns) {
        auto* label = new QLabel(text);
        label->setBuddy(field);
        grid->addWidget(label, row, column);
        grid->addWidget(field, row, column + 1, 1, columns);
    };
    labelled(QStringLiteral("Hours:"), hoursEdit_, 1, 0, 1);
    labelled(QStringLiteral("Date:"), dateEdit_, 1, 2, 1);
    labelled(QStringLiteral("Project:"), projectBox_, 2, 0, 1);
    labelled(QStringLiteral("Activity:"), activityBox_, 2, 2, 1);
    labelled(QStringLiteral("Description:"), descriptionEdit_, 3, 0, 3);
    labelled(QStringLiteral("Bug ID:"), bugEdit_, 4, 0, 1);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 5, 0, 1, 4);
    setTabOrder(hoursEdit_, dateEdit_);
    setTabOrder(dateEdit_, projectBox_);
    setTabOrder(projectBox_, activityBox_);
    setTabOrder(activityBox_, descriptionEdit_);
    setTabOrder(descriptionEdit_, bugEdit_);
}

void EntryFrame::load(const BookingEntry& entry) {
    taskId_ = entry.taskId;
    dateEdit_->setDate(entry.day);
    taskLabel_->setText(entry.taskName);
    // Every entry has the same six fields: a screen reader hears for which task each is.
    for (const auto& [field, what] :
         std::initializer_list<std::pair<QWidget*, const char*>>{{hoursEdit_, "Hours"},
                                                                 {dateEdit_, "Date"},
                                                                 {projectBox_, "Project"},
                                                                 {activityBox_, "Activity"},
                                                                 {descriptionEdit_, "Description"},
                                                                 {bugEdit_, "Bug ID"}})
        field->setAccessibleName(
            QStringLiteral("%1 for %2").arg(QLatin1String(what), entry.taskName));
    descriptionEdit_->setPlainText(entry.descriptionText);
    activityBox_->setKeyValue(entry.activityId);
    projectBox_->setKeyValue(entry.projectId);
    bugEdit_->setText(entry.bugText);
    hoursEdit_->setText(entry.hoursText);
}

void EntryFrame::store(BookingEntry& entry) const {
    entry.hoursText = hoursEdit_->text();
    entry.day = dateEdit_->date();
    entry.projectId = projectBox_->keyValue();
    entry.activityId = activityBox_->keyValue();
    entry.descriptionText = descriptionEdit_->toPlainText();
    entry.bugText = bugEdit_->text();
}

std::optional<double> EntryFrame::typedHours() const {
    return parseHours(hoursEdit_->text());
}

void EntryFrame::setWorkDay(const QDate& day) {
    dateEdit_->setDate(day);
}

QString EntryFrame::taskName() const {
    return taskLabel_->text();
}

QWidget* EntryFrame::field(BookingEntry::Field which) const {
    switch (which) {
    case BookingEntry::Field::Hours:
        return hoursEdit_;
    case BookingEntry::Field::Description:
        return descriptionEdit_;
    case BookingEntry::Field::Activity:
        return activityBox_;
    case BookingEntry::Field::Project:
        return projectBox_;
    case BookingEntry::Field::BugNumber:
        return bugEdit_;
    }
    return hoursEdit_;
}

QWidget* EntryFrame::firstField() const {
    return hoursEdit_;
}

QWidget* EntryFrame::lastField() const {
    return bugEdit_;
}

void EntryFrame::chainAfter(QWidget* previous) {
    setTabOrder(previous, hoursEdit_);
    setTabOrder(hoursEdit_, dateEdit_);
    setTabOrder(dateEdit_, projectBox_);
    setTabOrder(projectBox_, activityBox_);
    setTabOrder(activityBox_, descriptionEdit_);
    setTabOrder(descriptionEdit_, bugEdit_);
}

bool EntryFrame::hoursLeft() {
    const auto value = typedHours();
    if (value && *value >= 0) {
        if (onHoursChanged)
            onHoursChanged();
        return true;
    }
    return refuseHours();
}

bool EntryFrame::refuseHours() {
    // The mistake in view while the message tells of it: the wheel may have taken it away.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            area->ensureWidgetVisible(hoursEdit_);
            break;
        }
    }
    const BookingEntry::Problem problem = badHours();
    messageBox(problem.text, problem.caption, MsgIcon::Warning, MsgButtons::Ok, this);
    hoursEdit_->setFocus();
    return false;
}

bool EntryFrame::eventFilter(QObject* watched, QEvent* event) {
    // Only when the user leaves the field: not when a message box or a pop-up takes the
    // focus for a moment, which would stack a second message on the first.
    if (watched == hoursEdit_ && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            checking_ = true;
            guarded([this] { hoursLeft(); });
            checking_ = false;
        }
    }
    return QFrame::eventFilter(watched, event);
}
