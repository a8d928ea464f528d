#include "timing/EditDialog.h"

#include "model/Project.h"
#include "model/WorkRecords.h"
#include "platform/BusyCursor.h"
#include "platform/Error.h"
#include "platform/MessageBox.h"
#include "timing/MainWindow.h"
#include "widgets/LookupComboBox.h"

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

QString TForm2::timeSeparator() {
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    for (QChar c : format)
        if (!c.isLetter() && c != QLatin1Char(' '))
            return QString(c);
    return QStringLiteral(":");
}

bool TForm2::parseRecordedTime(const QString& text, double& days) {
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

TForm2::TForm2(WorkRecords& records, TForm1* mainWindow)
    : QDialog(mainWindow), records_(records), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Edit task"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    MaskEdit1 = new QLineEdit;
    MaskEdit1->setObjectName(QStringLiteral("MaskEdit1"));
    // Hours of any length up to 9999 (a task may run for days); the value is checked on OK.
    const QString sep = QRegularExpression::escape(timeSeparator());
    MaskEdit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9 ]{0,4}(%1[0-9 ]{0,2}(%1[0-9 ]{0,2})?)?").arg(sep)),
        MaskEdit1));
    MaskEdit1->setMaxLength(10);
    Button1 = new QPushButton(QStringLiteral("&OK"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setTabChangesFocus(true);
    DBLookupComboBox1 = new TDBLookupComboBox;
    DBLookupComboBox1->setObjectName(QStringLiteral("DBLookupComboBox1"));
    DBLookupComboBox2 = new TDBLookupComboBox;
    DBLookupComboBox2->setObjectName(QStringLiteral("DBLookupComboBox2"));
    DBLookupComboBox1->setListSource(&records_.projects(), records_.projectModel(),
                                     QStringLiteral("id"), QStringLiteral("nazev"));
    DBLookupComboBox2->setListSource(&records_.activities(), records_.activityModel(),
                                     QStringLiteral("id_TypPrace"), QStringLiteral("TypPrace"));
    // An invalid time keeps the dialog open with everything typed, to be corrected.
    connect(Button1, &QPushButton::clicked, this, [this] {
        bool stored = true;
        guarded([this, &stored] { stored = Button1Click(); });
        if (stored)
            accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Task name:"), Edit1);
    form->addRow(QStringLiteral("Recorded time:"), MaskEdit1);
    form->addRow(QStringLiteral("Description:"), Memo1);
    form->addRow(QStringLiteral("Project:"), DBLookupComboBox1);
    form->addRow(QStringLiteral("Activity:"), DBLookupComboBox2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setTabOrder(Edit1, MaskEdit1);
    setTabOrder(MaskEdit1, DBLookupComboBox1);
    setTabOrder(DBLookupComboBox1, DBLookupComboBox2);
    setTabOrder(DBLookupComboBox2, Memo1);
    setTabOrder(Memo1, Button1);
    setTabOrder(Button1, Button2);
    setFixedSize(420, 330);
}

TForm2::~TForm2() {
    // Hidden while whole: hiding tells the children, whose handlers use this window.
    hide();
}

void TForm2::EditTask(TProject* task) {
    EditedTask = task;
    task->Flush();
    Edit1->setText(task->Name);
    MaskEdit1->setText(task->TimeText().replace(QLatin1Char(':'), timeSeparator()));
    shownTime_ = MaskEdit1->text();
    Memo1->setPlainText(DescriptionForEditor(task->Description));
    Memo1->document()->setModified(false);
    exec();
}

int TForm2::NewTask() {
    EditedTask = nullptr;
    Edit1->clear();
    MaskEdit1->setText(QStringLiteral("00") + timeSeparator() + QStringLiteral("00") +
                       timeSeparator() + QStringLiteral("00"));
    shownTime_.clear(); // a new task takes the time shown
    Memo1->clear();
    return exec();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm2::FormShow() {
    BusyCursor busy;
    // No key of an earlier edit may stay behind, even when the lists cannot be opened.
    DBLookupComboBox1->setKeyValue(QVariant());
    DBLookupComboBox2->setKeyValue(QVariant());
    records_.openLists();
    if (EditedTask) {
        if (EditedTask->ActivityId != 0)
            DBLookupComboBox2->setKeyValue(EditedTask->ActivityId);
        if (EditedTask->SectionId != 0)
            DBLookupComboBox1->setKeyValue(EditedTask->SectionId);
    }
    Edit1->setFocus();
}

void TForm2::done(int result) {
    guarded([this] { FormClose(); });
    QDialog::done(result);
}

void TForm2::FormClose() {
    records_.closeLists();
}

bool TForm2::Button1Click() {
    double days = 0;
    if (!parseRecordedTime(MaskEdit1->text(), days)) {
        messageBox(QStringLiteral("The recorded time value entered is invalid."),
                   QStringLiteral("Input Error"), MsgIcon::Warning, MsgButtons::Ok, this);
        MaskEdit1->setFocus();
        return false;
    }
    if (!EditedTask) {
        EditedTask = new TProject(Edit1->text());
        mainWindow_->Tasks.push_back(EditedTask);
    }
    EditedTask->Name = Edit1->text();
    // The time as shown when the dialog opened is no change: a task started or stopped from
    // the tray meanwhile keeps what it recorded since.
    if (MaskEdit1->text() != shownTime_)
        EditedTask->SetTime(days);
    else
        EditedTask->Flush();
    // The editor turns no-break spaces into spaces and lone CR or LF into CR LF: a
    // description the user did not touch stays exactly as it was.
    if (Memo1->document()->isModified() || EditedTask->Description.isEmpty())
        EditedTask->Description = DescriptionFromEditor(Memo1->toPlainText());
    const QVariant project = DBLookupComboBox1->KeyValue();
    if (!project.isNull())
        EditedTask->SectionId = project.toInt();
    const QVariant activity = DBLookupComboBox2->KeyValue();
    if (!activity.isNull())
        EditedTask->ActivityId = activity.toInt();
    mainWindow_->RefreshGrid();
    return true;
}
