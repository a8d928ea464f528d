#include "database/ProjectFrame.h"

#include "model/Project.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/MessageBox.h"
#include "platform/SqlDialect.h"
#include "widgets/ElidedLabel.h"
#include "widgets/LookupComboBox.h"

#include <QDateEdit>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <cmath>

using namespace platform;

TProjectBaseFrame::TProjectBaseFrame(WorkRecords& records, QWidget* parent) : QFrame(parent) {
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
    projectBox_ = new TDBLookupComboBox;
    projectBox_->setObjectName(QStringLiteral("DBLookupComboBox2"));
    activityBox_ = new TDBLookupComboBox;
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
    grid->addWidget(new QLabel(QStringLiteral("Hours:")), 1, 0);
    grid->addWidget(hoursEdit_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Date:")), 1, 2);
    grid->addWidget(dateEdit_, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Project:")), 2, 0);
    grid->addWidget(projectBox_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Activity:")), 2, 2);
    grid->addWidget(activityBox_, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Description:")), 3, 0);
    grid->addWidget(descriptionEdit_, 3, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Bug ID:")), 4, 0);
    grid->addWidget(bugEdit_, 4, 1);
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

void TProjectBaseFrame::FillFromTask(TProject* task) {
    taskId_ = task->Id();
    dateEdit_->setDate(platform::today());
    taskLabel_->setText(task->name());
    descriptionEdit_->setPlainText(DescriptionForEditor(task->description()));
    activityBox_->setKeyValue(task->activityId() != 0 ? QVariant(task->activityId()) : QVariant());
    projectBox_->setKeyValue(task->sectionId() != 0 ? QVariant(task->sectionId()) : QVariant());
    task->Flush();
    bugEdit_->clear();
    hoursEdit_->setText(FloatToLocaleStr(2, task->Hours()));
}

std::optional<double> TProjectBaseFrame::typedHours() const {
    // Finite numbers in the locale's notation only: "inf" and "nan" are no hours, and a
    // group separator ("1,250" in English) is a mistake, not a thousand.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(hoursEdit_->text().trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double TProjectBaseFrame::hours() const {
    const auto value = typedHours();
    if (!value)
        throw Error(QLatin1Char('\'') + hoursEdit_->text() +
                    QStringLiteral("' is not a valid floating point value"));
    return *value;
}

QDateTime TProjectBaseFrame::workDate() const {
    // A calendar date, stored as that day at 00:00:00 on the wall clock: never a local
    // time, which does not exist on a day whose clocks skip midnight.
    return platform::wallClock(dateEdit_->date(), QTime(0, 0));
}

QString TProjectBaseFrame::description() const {
    return DescriptionFromEditor(descriptionEdit_->toPlainText());
}

QVariant TProjectBaseFrame::bugNumber() const {
    if (bugEdit_->text().isEmpty())
        return {};
    bool ok = false;
    const int n = bugEdit_->text().trimmed().toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("Bug ID must be a valid integer."));
    return n;
}

QVariant TProjectBaseFrame::activityId() const {
    return activityBox_->KeyValue();
}

QVariant TProjectBaseFrame::projectId() const {
    return projectBox_->KeyValue();
}

QString TProjectBaseFrame::projectName() const {
    return projectBox_->Text();
}

QString TProjectBaseFrame::hoursText() const {
    return hoursEdit_->text();
}

QDate TProjectBaseFrame::workDay() const {
    return dateEdit_->date();
}

void TProjectBaseFrame::setWorkDay(const QDate& day) {
    dateEdit_->setDate(day);
}

QString TProjectBaseFrame::taskName() const {
    return taskLabel_->text();
}

bool TProjectBaseFrame::hoursLeft() {
    const auto value = typedHours();
    if (value && *value >= 0) {
        if (onHoursChanged)
            onHoursChanged();
        return true;
    }
    return refuseHours();
}

bool TProjectBaseFrame::refuseHours() {
    messageBox(QStringLiteral("The value entered in the hours filed is invalid."),
               QStringLiteral("Input Error"), MsgIcon::Warning, MsgButtons::Ok, this);
    hoursEdit_->setFocus();
    return false;
}

bool TProjectBaseFrame::refuse(const QString& text, QWidget* focus) {
    messageBox(text, QStringLiteral("Invalid input"), MsgIcon::Warning, MsgButtons::Ok, this);
    focus->setFocus();
    return false;
}

bool TProjectBaseFrame::ValidateEntry() {
    const auto typed = typedHours();
    if (!typed || *typed < 0)
        return refuseHours();
    if (static_cast<float>(*typed) <= 0)
        return true;
    if (descriptionEdit_->toPlainText().isEmpty())
        return refuse(QStringLiteral("The description field cannot be empty."), descriptionEdit_);
    // The record keeps at most this much; a longer text is not cut behind the user's back.
    if (description().size() > ::kDescriptionLimit)
        return refuse(QStringLiteral("The description cannot be longer than %1 characters.")
                          .arg(::kDescriptionLimit),
                      descriptionEdit_);
    // An id that is not in the list (deleted, or the database cleared) shows an empty
    // drop-down: it counts as not chosen, never as a record with a blank project.
    if (activityBox_->KeyValue().isNull() || activityBox_->currentIndex() < 0)
        return refuse(QStringLiteral("Select some activity before proceeding."), activityBox_);
    if (projectBox_->KeyValue().isNull() || projectBox_->currentIndex() < 0)
        return refuse(QStringLiteral("Select some project before proceeding."), projectBox_);
    if (!bugEdit_->text().isEmpty()) {
        bool ok = false;
        bugEdit_->text().trimmed().toInt(&ok);
        if (!ok)
            return refuse(QStringLiteral("Bug ID must be a valid integer."), bugEdit_);
    }
    return true;
}

bool TProjectBaseFrame::eventFilter(QObject* watched, QEvent* event) {
    // Only when the user leaves the field: not when a message box or a pop-up takes the
    // focus for a moment, which would stack a second message on the first.
    if (watched == hoursEdit_ && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            guarded([this] { hoursLeft(); });
    }
    return QFrame::eventFilter(watched, event);
}
