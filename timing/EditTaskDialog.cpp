#include "timing/EditTaskDialog.h"

#include "model/Task.h"
#include "model/TaskList.h"
#include "model/WorkRecords.h"
#include "platform/Centre.h"
#include "platform/Error.h"
#include "widgets/BusyCursor.h"
#include "widgets/LookupComboBox.h"
#include "widgets/MessageBox.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace platform;

QString EditTaskDialog::timeSeparator() {
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    for (QChar c : format)
        if (!c.isLetter() && c != QLatin1Char(' '))
            return QString(c);
    return QStringLiteral(":");
}

bool EditTaskDialog::parseRecordedTime(const QString& text, double& days) {
    const QStringList parts = text.trimmed().split(timeSeparator());
    if (parts.size() != 3)
        return false;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        const QString p = parts.at(i).trimmed();
        bool ok = false;
        values[i] = p.toInt(&ok);
        if (!ok || p.isEmpty() || p.size() > (i == 0 ? 4 : 2) || p.startsWith(QLatin1Char('-')) ||
            p.startsWith(QLatin1Char('+')))
            return false;
    }
    if (values[1] > 59 || values[2] > 59)
        return false;
    days = (values[0] * 3600.0 + values[1] * 60.0 + values[2]) / 86400.0;
    return true;
}

EditTaskDialog::EditTaskDialog(WorkRecords& records, TaskList& tasks, QWidget* parent)
    : Deferred(parent), records_(records), tasks_(tasks) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Edit task"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    // Resizable for a long description, which takes the height the dialog gains.
    resize(platform::sizeOnScreen(this, QSize(420, 330)));
}

void EditTaskDialog::buildControls() {
    nameEdit_ = new QLineEdit;
    nameEdit_->setObjectName(QStringLiteral("Edit1"));
    // Typed or pasted, a name is no longer than a task keeps.
    nameEdit_->setMaxLength(kLongestTaskName);
    timeEdit_ = new QLineEdit;
    timeEdit_->setObjectName(QStringLiteral("MaskEdit1"));
    // Hours of any length up to 9999 (a task may run for days); the value is checked on OK.
    const QString sep = QRegularExpression::escape(timeSeparator());
    timeEdit_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9 ]{0,4}(%1[0-9 ]{0,2}(%1[0-9 ]{0,2})?)?").arg(sep)),
        timeEdit_));
    timeEdit_->setMaxLength(10);
    okButton_ = new QPushButton(QStringLiteral("&OK"));
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Cancel"));
    cancelButton_->setObjectName(QStringLiteral("Button2"));
    descriptionEdit_ = new QPlainTextEdit;
    descriptionEdit_->setObjectName(QStringLiteral("Memo1"));
    descriptionEdit_->setTabChangesFocus(true);
    projectBox_ = new LookupComboBox;
    projectBox_->setObjectName(QStringLiteral("DBLookupComboBox1"));
    activityBox_ = new LookupComboBox;
    activityBox_->setObjectName(QStringLiteral("DBLookupComboBox2"));
    projectBox_->setListSource(records_.projectList());
    activityBox_->setListSource(records_.activityList());
    // An invalid time keeps the dialog open with everything typed, to be corrected.
    connect(okButton_, &QPushButton::clicked, this, [this] {
        bool stored = true;
        guarded([this, &stored] { stored = okClicked(); });
        if (stored)
            accept();
    });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    // Each label is its field's: its key goes there, and a screen reader names the field by it.
    form->addRow(QStringLiteral("Task &name:"), nameEdit_);
    form->addRow(QStringLiteral("Recorded &time:"), timeEdit_);
    // In the order Tab walks them; the description, last, takes the height the dialog gains.
    form->addRow(QStringLiteral("&Project:"), projectBox_);
    form->addRow(QStringLiteral("&Activity:"), activityBox_);
    form->addRow(QStringLiteral("&Description:"), descriptionEdit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setTabOrder(nameEdit_, timeEdit_);
    setTabOrder(timeEdit_, projectBox_);
    setTabOrder(projectBox_, activityBox_);
    setTabOrder(activityBox_, descriptionEdit_);
    setTabOrder(descriptionEdit_, okButton_);
    setTabOrder(okButton_, cancelButton_);
}

EditTaskDialog::~EditTaskDialog() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

void EditTaskDialog::editTask(Task* task) {
    ensurePolished();
    editedTask_ = task;
    task->flush();
    nameEdit_->setText(task->name());
    timeEdit_->setText(task->timeText().replace(QLatin1Char(':'), timeSeparator()));
    shownTime_ = timeEdit_->text();
    descriptionEdit_->setPlainText(descriptionForEditor(task->description()));
    descriptionEdit_->document()->setModified(false);
    exec();
}

int EditTaskDialog::newTask() {
    ensurePolished();
    editedTask_ = nullptr;
    nameEdit_->clear();
    timeEdit_->setText(QStringLiteral("00") + timeSeparator() + QStringLiteral("00") +
                       timeSeparator() + QStringLiteral("00"));
    shownTime_.clear(); // a new task takes the time shown
    descriptionEdit_->clear();
    return exec();
}

void EditTaskDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    guarded([this] { onShown(); });
}

void EditTaskDialog::onShown() {
    BusyCursor busy;
    // No key of an earlier edit may stay behind, even when the lists cannot be opened.
    projectBox_->setKeyValue(QVariant());
    activityBox_->setKeyValue(QVariant());
    records_.openLists();
    if (editedTask_) {
        if (editedTask_->activityId() != 0)
            activityBox_->setKeyValue(editedTask_->activityId());
        if (editedTask_->sectionId() != 0)
            projectBox_->setKeyValue(editedTask_->sectionId());
    }
    nameEdit_->setFocus();
}

void EditTaskDialog::done(int result) {
    guarded([this] { onClosed(); });
    QDialog::done(result);
}

void EditTaskDialog::onClosed() {
    records_.closeLists();
}

bool EditTaskDialog::okClicked() {
    double days = 0;
    if (!parseRecordedTime(timeEdit_->text(), days)) {
        messageBox(QStringLiteral("The recorded time value entered is invalid."),
                   QStringLiteral("Input Error"), MsgIcon::Warning, MsgButtons::Ok, this);
        timeEdit_->setFocus();
        return false;
    }
    if (!editedTask_) {
        editedTask_ = new Task(nameEdit_->text());
        tasks_.pushBack(editedTask_);
    }
    editedTask_->setName(nameEdit_->text());
    // The time as shown when the dialog opened is no change: a task started or stopped from
    // the tray meanwhile keeps what it recorded since.
    // A typed time is the time now: a running task counts on from it, not from the moment
    // the dialog opened.
    editedTask_->flush();
    if (timeEdit_->text() != shownTime_)
        editedTask_->setTime(days);
    // The editor turns no-break spaces into spaces and lone CR or LF into CR LF: a
    // description the user did not touch stays exactly as it was.
    if (descriptionEdit_->document()->isModified() || editedTask_->description().isEmpty())
        editedTask_->setDescription(descriptionFromEditor(descriptionEdit_->toPlainText()));
    const QVariant project = projectBox_->keyValue();
    if (!project.isNull())
        editedTask_->setSectionId(project.toInt());
    const QVariant activity = activityBox_->keyValue();
    if (!activity.isNull())
        editedTask_->setActivityId(activity.toInt());
    return true;
}
