#include "timing/OptionsPanel.h"

#include "model/Options.h"
#include "platform/Error.h"
#include "timing/Countdown.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <algorithm>

using platform::guarded;

bool parseInteger(const QString& text, qint32& value) {
    bool ok = false;
    const int parsed = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = parsed;
    return ok;
}

namespace {
qint32 minutesOf(QLineEdit* edit) {
    qint32 value = 0;
    if (!parseInteger(edit->text(), value))
        throw platform::Error(QLatin1Char('\'') + edit->text() +
                              QStringLiteral("' is not a valid integer value"));
    return value;
}

bool refuseNonInteger(QLineEdit* edit, QWidget* parent) {
    qint32 value = 0;
    if (parseInteger(edit->text(), value))
        return true;
    messageBox(QStringLiteral("Invalid integer value."), QStringLiteral("Wrong input"),
               MsgIcon::Warning, MsgButtons::Ok, parent);
    edit->setFocus();
    return false;
}

// A box set to what the settings say, without its handler hearing of it.
void setQuietly(QCheckBox* box, bool on) {
    const QSignalBlocker quiet(box);
    box->setChecked(on);
}
} // namespace

OptionsPanel::OptionsPanel(Options& options, Countdown& autoSave, Countdown& reminder,
                           QWidget* window)
    : QObject(window), window_(window), options_(options), autoSave_(autoSave),
      reminder_(reminder) {
    autoSaveBox_ =
        named(new QCheckBox(QStringLiteral("Automatically save t&ime every")), "CheckBox1");
    autoSaveEdit_ = named(new QLineEdit(QStringLiteral("5")), "Edit2");
    autoSaveUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText1");
    reminderBox_ =
        named(new QCheckBox(QStringLiteral("Display &popup reminder every")), "CheckBox2");
    reminderEdit_ = named(new QLineEdit(QStringLiteral("15")), "Edit3");
    reminderUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText2");
    idleBox_ = named(new QCheckBox(QStringLiteral("Ask about time away from the &keyboard after")),
                     "CheckBox5");
    idleEdit_ = named(new QLineEdit(QStringLiteral("10")), "Edit4");
    idleUnit_ = named(new QLabel(QStringLiteral("minute(s)")), "StaticText3");
    autoStartBox_ =
        named(new QCheckBox(QStringLiteral("Automatically start application when &OS starts")),
              "CheckBox3");
    requestDescriptionBox_ = named(
        new QCheckBox(QStringLiteral("Re&quest for description when switching task")), "CheckBox4");
    autoSaveEdit_->setAccessibleName(QStringLiteral("Minutes between automatic saves"));
    reminderEdit_->setAccessibleName(QStringLiteral("Minutes between reminders"));
    idleEdit_->setAccessibleName(QStringLiteral("Minutes away before asking"));
    for (QLineEdit* edit : {autoSaveEdit_, reminderEdit_, idleEdit_}) {
        edit->setMaximumWidth(40);
        edit->installEventFilter(this);
    }
    // However a box is toggled (a click, its key, a screen reader's action); where the
    // panel sets a box itself, it blocks these.
    const auto onToggle = [this](QCheckBox* box, void (OptionsPanel::*handler)()) {
        connect(box, &QCheckBox::toggled, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    onToggle(autoSaveBox_, &OptionsPanel::autoSaveToggled);
    onToggle(reminderBox_, &OptionsPanel::reminderToggled);
    onToggle(idleBox_, &OptionsPanel::idleToggled);
    onToggle(autoStartBox_, &OptionsPanel::autoStartToggled);
    onToggle(requestDescriptionBox_, &OptionsPanel::requestDescriptionToggled);
    // Each number of minutes is an option as it is typed; what is no number waits for the
    // check when the box is left.
    // The description option also changes in the prompt's own box.
    connect(&options_, &Options::changed, this,
            [this] { setQuietly(requestDescriptionBox_, options_.values().requestDescription); });
    for (QLineEdit* edit : {autoSaveEdit_, reminderEdit_, idleEdit_})
        connect(edit, &QLineEdit::textEdited, this,
                [this, edit] { guarded([this, edit] { minutesTyped(edit); }); });

    grid_ = new QGridLayout;
    grid_->addWidget(autoSaveBox_, 0, 0);
    grid_->addWidget(autoSaveEdit_, 0, 1);
    grid_->addWidget(autoSaveUnit_, 0, 2);
    grid_->addWidget(reminderBox_, 1, 0);
    grid_->addWidget(reminderEdit_, 1, 1);
    grid_->addWidget(reminderUnit_, 1, 2);
    grid_->addWidget(idleBox_, 2, 0);
    grid_->addWidget(idleEdit_, 2, 1);
    grid_->addWidget(idleUnit_, 2, 2);
    grid_->addWidget(autoStartBox_, 3, 0, 1, 3);
    grid_->addWidget(requestDescriptionBox_, 4, 0, 1, 3);
    showSettings();
}

QList<QWidget*> OptionsPanel::tabOrder() const {
    return {autoSaveBox_, autoSaveEdit_, reminderBox_,  reminderEdit_,
            idleBox_,     idleEdit_,     autoStartBox_, requestDescriptionBox_};
}

// The options as they were loaded, or as the user left them; the countdowns run as the
// settings say from the start.
void OptionsPanel::showSettings() {
    const Settings& settings = options_.values();
    const bool autoSave = settings.autoSaveMinutes > 0;
    setQuietly(autoSaveBox_, autoSave);
    autoSaveEdit_->setEnabled(autoSave);
    autoSaveEdit_->setText(autoSave ? QString::number(settings.autoSaveMinutes)
                                    : QStringLiteral("3"));
    const bool reminder = settings.reminderMinutes > 0;
    setQuietly(reminderBox_, reminder);
    reminderEdit_->setEnabled(reminder);
    reminderEdit_->setText(reminder ? QString::number(settings.reminderMinutes)
                                    : QStringLiteral("15"));
    const bool idle = settings.idleMinutes > 0;
    setQuietly(idleBox_, idle);
    idleEdit_->setEnabled(idle);
    idleEdit_->setText(QString::number(idle ? settings.idleMinutes : 10));
    setQuietly(autoStartBox_, settings.autoStart);
    setQuietly(requestDescriptionBox_, settings.requestDescription);
}

void OptionsPanel::idleToggled() {
    idleEdit_->setEnabled(idleBox_->isChecked());
    options_.setIdleMinutes(idleBox_->isChecked() ? std::max(1, minutesOf(idleEdit_)) : 0);
}

bool OptionsPanel::idleMinutesLeft() {
    qint32 value = 0;
    if (!parseInteger(idleEdit_->text(), value) || value < 1) {
        messageBox(QStringLiteral("Enter the minutes as a whole number of at least 1."),
                   QStringLiteral("Wrong input"), MsgIcon::Warning, MsgButtons::Ok, window_);
        idleEdit_->setFocus();
        return false;
    }
    if (idleBox_->isChecked())
        options_.setIdleMinutes(value);
    return true;
}

void OptionsPanel::autoSaveToggled() {
    autoSaveEdit_->setEnabled(autoSaveBox_->isChecked());
    if (autoSaveBox_->isChecked())
        autoSave_.runEvery(minutesOf(autoSaveEdit_));
    else
        autoSave_.stop();
}

void OptionsPanel::reminderToggled() {
    reminderEdit_->setEnabled(reminderBox_->isChecked());
    if (reminderBox_->isChecked())
        reminder_.runEvery(minutesOf(reminderEdit_));
    else
        reminder_.stop();
}

void OptionsPanel::autoStartToggled() {
    if (idleBox_->isChecked()) {
        qint32 minutes = 0;
        if (parseInteger(idleEdit_->text(), minutes) && minutes > 0)
            options_.setIdleMinutes(minutes);
    } else {
        options_.setIdleMinutes(0);
    }
    options_.setAutoStart(autoStartBox_->isChecked());
}

void OptionsPanel::requestDescriptionToggled() {
    options_.setRequestDescription(requestDescriptionBox_->isChecked());
}

// The auto-save period applies when the window closes.
bool OptionsPanel::autoSaveMinutesLeft() {
    return refuseNonInteger(autoSaveEdit_, window_);
}

bool OptionsPanel::reminderMinutesLeft() {
    qint32 value = 0;
    if (!parseInteger(reminderEdit_->text(), value))
        return refuseNonInteger(reminderEdit_, window_);
    options_.setReminderMinutes(value);
    reminder_.changePeriod(value);
    return true;
}

bool OptionsPanel::eventFilter(QObject* watched, QEvent* event) {
    // The minute boxes are checked when the focus moves inside this window (Tab, a click),
    // not when the user turns to another window or the check's own message takes the focus;
    // one message at a time.
    if (event->type() == QEvent::FocusOut && !checkingMinutes_) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QObject::eventFilter(watched, event);
        QScopedValueRollback<bool> checking(checkingMinutes_, true);
        if (watched == autoSaveEdit_)
            guarded([this] { autoSaveMinutesLeft(); });
        else if (watched == reminderEdit_)
            guarded([this] { reminderMinutesLeft(); });
        else if (watched == idleEdit_)
            guarded([this] { idleMinutesLeft(); });
    }
    return QObject::eventFilter(watched, event);
}

// The number in a minute box is an option as soon as it is one; the countdowns follow when
// the box is left or the window closes, as before.
void OptionsPanel::minutesTyped(QLineEdit* edit) {
    qint32 value = 0;
    if (!parseInteger(edit->text(), value))
        return;
    if (edit == autoSaveEdit_ && autoSaveBox_->isChecked())
        options_.setAutoSaveMinutes(value);
    else if (edit == reminderEdit_ && reminderBox_->isChecked())
        options_.setReminderMinutes(value);
    else if (edit == idleEdit_ && idleBox_->isChecked() && value >= 1)
        options_.setIdleMinutes(value);
}

void OptionsPanel::capture() {
    if (autoSaveBox_->isChecked()) {
        options_.setAutoSaveMinutes(minutesOf(autoSaveEdit_));
        autoSave_.runEvery(options_.values().autoSaveMinutes);
    } else {
        options_.setAutoSaveMinutes(0);
        autoSave_.stop();
    }
    if (reminderBox_->isChecked()) {
        options_.setReminderMinutes(minutesOf(reminderEdit_));
        reminder_.runEvery(options_.values().reminderMinutes);
    } else {
        options_.setReminderMinutes(0);
        reminder_.stop();
    }
    options_.setAutoStart(autoStartBox_->isChecked());
}
