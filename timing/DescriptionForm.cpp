#include "timing/DescriptionForm.h"

#include "desktop/PopupMenu.h"
#include "model/Project.h"
#include "platform/Centre.h"
#include "timing/MainWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TForm5::TForm5(TForm1* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Task description"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    Label2 = new QLabel(QStringLiteral("Task: "));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3 = new QLabel;
    Label3->setObjectName(QStringLiteral("Label3"));
    Label1 = new QLabel(QStringLiteral("Enter detailed description for your current task:"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setTabChangesFocus(true);
    Memo1->installEventFilter(this);
    CheckBox1 = new QCheckBox(QStringLiteral("Do not show this dialog next time"));
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Button1 = new QPushButton(QStringLiteral("OK"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"));
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* taskLine = new QHBoxLayout;
    taskLine->addWidget(Label2);
    taskLine->addWidget(Label3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(taskLine);
    layout->addWidget(Label1);
    layout->addWidget(Memo1);
    layout->addLayout(buttons);
    setFixedSize(420, 260);
}

TForm5::~TForm5() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

QString TForm5::withFreshLine(const QString& text) {
    const QString lineBreak = QStringLiteral("\r\n");
    // A line break at the very end closes the line before it.
    QString body = text;
    if (body.endsWith(lineBreak))
        body.chop(2);
    const int at = body.lastIndexOf(lineBreak);
    const QString lastLine = at < 0 ? body : body.mid(at + 2);
    return lastLine.isEmpty() ? text : text + lineBreak;
}

void TForm5::Prompt(TProject* task) {
    // Opens and returns: whoever started the task (a click, the tray menu, a script on the
    // bus) goes on, and the answer is written back when the user gives it.
    if (isVisible())
        return;
    Label3->setText(task->Name);
    Memo1->setPlainText(DescriptionForEditor(task->Description));
    prompted_ = task;
    mainWindow_->PopupMenu1->AutoPopup = false;
    open();
}

void TForm5::done(int result) {
    QDialog::done(result);
    TProject* task = prompted_;
    prompted_ = nullptr;
    mainWindow_->PopupMenu1->AutoPopup = true;
    // The task may have been removed meanwhile.
    const bool known = mainWindow_->Tasks.contains(task);
    if (result != QDialog::Accepted || !task || !known)
        return;
    task->Description = DescriptionFromEditor(Memo1->toPlainText());
    mainWindow_->RequestDescription = !CheckBox1->isChecked();
    mainWindow_->CheckBox4->setChecked(mainWindow_->RequestDescription);
}

void TForm5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        platform::centreOnScreen(this);
    FormShow();
}

void TForm5::FormShow() {
    CheckBox1->setChecked(false);
    const QString text = DescriptionFromEditor(Memo1->toPlainText());
    const QString fresh = withFreshLine(text);
    if (fresh != text)
        Memo1->setPlainText(DescriptionForEditor(fresh));
    Memo1->setFocus();
    Memo1->moveCursor(QTextCursor::End);
}

bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            mods == Qt::ControlModifier) {
            Button1->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
