#include "timing/DescriptionDialog.h"

#include "model/Task.h"
#include "model/TaskList.h"
#include "platform/Centre.h"
#include "widgets/ElidedLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

DescriptionDialog::DescriptionDialog(TaskList& tasks, QWidget* parent)
    : Deferred(parent), tasks_(tasks) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Task description"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    // Resizable for a long description, which takes the height the dialog gains.
    resize(platform::sizeOnScreen(this, QSize(420, 260)));
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* focused) { keepTheKeys(focused); });
}

void DescriptionDialog::buildControls() {
    taskCaption_ = new QLabel(QStringLiteral("Task: "));
    taskCaption_->setObjectName(QStringLiteral("Label2"));
    taskName_ = new ElidedLabel;
    taskName_->setObjectName(QStringLiteral("Label3"));
    requestLabel_ =
        new QLabel(QStringLiteral("Enter detailed &description for your current task:"));
    requestLabel_->setObjectName(QStringLiteral("Label1"));
    descriptionEdit_ = new QPlainTextEdit;
    descriptionEdit_->setObjectName(QStringLiteral("Memo1"));
    descriptionEdit_->setTabChangesFocus(true);
    descriptionEdit_->installEventFilter(this);
    requestLabel_->setBuddy(descriptionEdit_);
    doNotAskBox_ = new QCheckBox(QStringLiteral("Do &not show this dialog next time"));
    doNotAskBox_->setObjectName(QStringLiteral("CheckBox1"));
    okButton_ = new QPushButton(QStringLiteral("&OK"));
    okButton_->setObjectName(QStringLiteral("Button1"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("&Cancel"));
    cancelButton_->setObjectName(QStringLiteral("Button2"));
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    auto* taskLine = new QHBoxLayout;
    taskLine->addWidget(taskCaption_);
    taskLine->addWidget(taskName_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(doNotAskBox_);
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(taskLine);
    layout->addWidget(requestLabel_);
    layout->addWidget(descriptionEdit_, 1);
    layout->addLayout(buttons);
}

DescriptionDialog::~DescriptionDialog() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

QString DescriptionDialog::withFreshLine(const QString& text) {
    const QString lineBreak = QStringLiteral("\r\n");
    // A line break at the very end closes the line before it.
    QString body = text;
    if (body.endsWith(lineBreak))
        body.chop(2);
    const int at = body.lastIndexOf(lineBreak);
    const QString lastLine = at < 0 ? body : body.mid(at + 2);
    return lastLine.isEmpty() ? text : text + lineBreak;
}

void DescriptionDialog::prompt(Task* task) {
    // Opens and returns: whoever started the task (a click, the tray menu, a script on the
    // bus) goes on, and the answer is written back when the user gives it.
    if (isVisible()) {
        // Another task started meanwhile (an item host's menu, a script): the open prompt
        // stays with the task it names, and this one is asked about when it is answered.
        if (task->id() != promptedTask_)
            nextTask_ = task->id();
        return;
    }
    ensurePolished();
    taskName_->setText(task->name());
    descriptionEdit_->setPlainText(descriptionForEditor(task->description()));
    descriptionEdit_->setAccessibleName(QStringLiteral("Description of %1").arg(task->name()));
    promptedTask_ = task->id();
    if (setTrayMenuEnabled)
        setTrayMenuEnabled(false);
    open();
    // The user has just started the task and is asked now: the keys come here, also when
    // another dialog of Korvan (editing a task) had them.
    raise();
    activateWindow();
}

// While it is open the keys are its own. A window it blocks may take them back after it
// showed: a menu of the tray, closing, gives them to the dialog it was opened over, and Qt
// passes them on to the main window, where every key is lost.
void DescriptionDialog::keepTheKeys(QWindow* focused) {
    if (!focused || !isVisible() || focused == windowHandle() ||
        QApplication::activeModalWidget() != this)
        return;
    for (const QWindow* w = focused; w; w = w->transientParent()) {
        if (w->isAncestorOf(windowHandle(), QWindow::IncludeTransients)) {
            activateWindow();
            return;
        }
    }
}

void DescriptionDialog::done(int result) {
    QDialog::done(result);
    // The keys go back to the dialog this prompt was opened over ("Edit task"): the window
    // manager may give them to no one, and the user's next key would be lost.
    if (QWidget* below = QApplication::activeModalWidget(); below && below != this) {
        below->raise();
        below->activateWindow();
    }
    Task* task = tasks_.byId(promptedTask_); // null when removed meanwhile
    promptedTask_ = 0;
    const quint64 next = std::exchange(nextTask_, 0);
    if (setTrayMenuEnabled)
        setTrayMenuEnabled(true);
    const bool stillAsked = !(result == QDialog::Accepted && doNotAskBox_->isChecked());
    if (result == QDialog::Accepted && task) {
        task->setDescription(descriptionFromEditor(descriptionEdit_->toPlainText()));
        if (setRequestDescription)
            setRequestDescription(!doNotAskBox_->isChecked());
    }
    // The task started while the prompt was open, if it still runs (and the user did not
    // just ask for no more prompts).
    if (next && stillAsked)
        QTimer::singleShot(0, this, [this, next] {
            Task* started = tasks_.byId(next);
            if (started && started->running() && !isVisible())
                prompt(started);
        });
}

void DescriptionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        platform::centreOnScreen(this);
    onShown();
}

void DescriptionDialog::onShown() {
    doNotAskBox_->setChecked(false);
    const QString text = descriptionFromEditor(descriptionEdit_->toPlainText());
    const QString fresh = withFreshLine(text);
    if (fresh != text)
        descriptionEdit_->setPlainText(descriptionForEditor(fresh));
    descriptionEdit_->setFocus();
    descriptionEdit_->moveCursor(QTextCursor::End);
}

bool DescriptionDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == descriptionEdit_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            mods == Qt::ControlModifier) {
            okButton_->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
