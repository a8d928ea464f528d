#include "database/ProjectFrame.h"

#include "model/Project.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/MessageBox.h"
#include "platform/SqlDialect.h"
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
    Edit2 = new QLineEdit;
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->installEventFilter(this);
    // The total follows the hours as they are typed, not only when the field is left.
    connect(Edit2, &QLineEdit::textEdited, this, [this] {
        if (typedHours() && onHoursChanged)
            onHoursChanged();
    });
    DateTimePicker1 = new QDateEdit;
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setDisplayFormat(shortDateFormat());
    DBLookupComboBox2 = new TDBLookupComboBox;
    DBLookupComboBox2->setObjectName(QStringLiteral("DBLookupComboBox2"));
    DBLookupComboBox1 = new TDBLookupComboBox;
    DBLookupComboBox1->setObjectName(QStringLiteral("DBLookupComboBox1"));
    DBLookupComboBox2->setListSource(&records.projects(), records.projectModel(),
                                     QStringLiteral("id"), QStringLiteral("nazev"));
    DBLookupComboBox1->setListSource(&records.activities(), records.activityModel(),
                                     QStringLiteral("id_TypPrace"), QStringLiteral("TypPrace"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setTabChangesFocus(true);
    Memo1->setFixedHeight(54);
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label4 = new QLabel;
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont bold = Label4->font();
    bold.setBold(true);
    Label4->setFont(bold);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Task:")), 0, 0);
    grid->addWidget(Label4, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Hours:")), 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Date:")), 1, 2);
    grid->addWidget(DateTimePicker1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Project:")), 2, 0);
    grid->addWidget(DBLookupComboBox2, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Activity:")), 2, 2);
    grid->addWidget(DBLookupComboBox1, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Description:")), 3, 0);
    grid->addWidget(Memo1, 3, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Bug ID:")), 4, 0);
    grid->addWidget(Edit1, 4, 1);
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 5, 0, 1, 4);
    setTabOrder(Edit2, DateTimePicker1);
    setTabOrder(DateTimePicker1, DBLookupComboBox2);
    setTabOrder(DBLookupComboBox2, DBLookupComboBox1);
    setTabOrder(DBLookupComboBox1, Memo1);
    setTabOrder(Memo1, Edit1);
}

void TProjectBaseFrame::FillFromTask(TProject* task) {
    taskId_ = task->Id();
    DateTimePicker1->setDate(platform::today());
    Label4->setText(task->Name);
    Memo1->setPlainText(DescriptionForEditor(task->Description));
    DBLookupComboBox1->setKeyValue(task->ActivityId != 0 ? QVariant(task->ActivityId) : QVariant());
    DBLookupComboBox2->setKeyValue(task->SectionId != 0 ? QVariant(task->SectionId) : QVariant());
    task->Flush();
    Edit1->clear();
    Edit2->setText(FloatToLocaleStr(2, task->Hours()));
}

std::optional<double> TProjectBaseFrame::typedHours() const {
    // Finite numbers in the locale's notation only: "inf" and "nan" are no hours, and a
    // group separator ("1,250" in English) is a mistake, not a thousand.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(Edit2->text().trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double TProjectBaseFrame::hours() const {
    const auto value = typedHours();
    if (!value)
        throw Error(QLatin1Char('\'') + Edit2->text() +
                    QStringLiteral("' is not a valid floating point value"));
    return *value;
}

QDateTime TProjectBaseFrame::workDate() const {
    // A calendar date, stored as that day at 00:00:00 on the wall clock: never a local
    // time, which does not exist on a day whose clocks skip midnight.
    return platform::wallClock(DateTimePicker1->date(), QTime(0, 0));
}

QString TProjectBaseFrame::description() const {
    return DescriptionFromEditor(Memo1->toPlainText());
}

QVariant TProjectBaseFrame::bugNumber() const {
    if (Edit1->text().isEmpty())
        return {};
    bool ok = false;
    const int n = Edit1->text().trimmed().toInt(&ok);
    if (!ok)
        throw Error(QStringLiteral("Bug ID must be a valid integer."));
    return n;
}

QString TProjectBaseFrame::taskName() const {
    return Label4->text();
}

bool TProjectBaseFrame::Edit2Exit() {
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
    Edit2->setFocus();
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
    if (hoursSingle() <= 0)
        return true;
    if (Memo1->toPlainText().isEmpty())
        return refuse(QStringLiteral("The description field cannot be empty."), Memo1);
    // The record keeps at most this much; a longer text is not cut behind the user's back.
    if (description().size() > ::kDescriptionLimit)
        return refuse(QStringLiteral("The description cannot be longer than %1 characters.")
                          .arg(::kDescriptionLimit),
                      Memo1);
    // An id that is not in the list (deleted, or the database cleared) shows an empty
    // drop-down: it counts as not chosen, never as a record with a blank project.
    if (DBLookupComboBox1->KeyValue().isNull() || DBLookupComboBox1->currentIndex() < 0)
        return refuse(QStringLiteral("Select some activity before proceeding."), DBLookupComboBox1);
    if (DBLookupComboBox2->KeyValue().isNull() || DBLookupComboBox2->currentIndex() < 0)
        return refuse(QStringLiteral("Select some project before proceeding."), DBLookupComboBox2);
    if (!Edit1->text().isEmpty()) {
        bool ok = false;
        Edit1->text().trimmed().toInt(&ok);
        if (!ok)
            return refuse(QStringLiteral("Bug ID must be a valid integer."), Edit1);
    }
    return true;
}

bool TProjectBaseFrame::eventFilter(QObject* watched, QEvent* event) {
    // Only when the user leaves the field: not when a message box or a pop-up takes the
    // focus for a moment, which would stack a second message on the first.
    if (watched == Edit2 && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            guarded([this] { Edit2Exit(); });
    }
    return QFrame::eventFilter(watched, event);
}
