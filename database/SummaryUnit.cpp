#include "database/SummaryUnit.h"

#include "database/Progress.h"
#include "database/ProjectFrame.h"
#include "desktop/TrayIcon.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "platform/BusyCursor.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/MessageBox.h"
#include "timing/MainWindow.h"
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

TSummary::TSummary(WorkRecords& records, TForm1& mainWindow, TForm4& progress)
    : records_(records), mainWindow_(mainWindow), progress_(progress) {
    setObjectName(QStringLiteral("Summary"));
    setWindowTitle(QStringLiteral("Summary"));
    setModal(false);
    ScrollBox1 = new QScrollArea;
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(true);
    frameHolder_ = new QWidget;
    auto* column = new QVBoxLayout(frameHolder_);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch();
    ScrollBox1->setWidget(frameHolder_);
    Label1 = new QLabel(QStringLiteral("Total time (h):"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel;
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    CheckBox1 = new QCheckBox(QStringLiteral("Reset times && descriptions. Close after save."));
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    Button2 = new QPushButton(QStringLiteral("Save to DB"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("&Close"));
    Button1->setObjectName(QStringLiteral("Button1"));
    connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { close(); });

    auto* total = new QHBoxLayout;
    total->addWidget(Label1);
    total->addWidget(Label2);
    total->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ScrollBox1, 1);
    layout->addLayout(total);
    layout->addLayout(buttons);
    resize(560, 520);
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
        TaskList& tasks = mainWindow_.Tasks;
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
    Label2->setText(FloatToLocaleStr(2, sum));
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
                    .arg(shortDateText(frame->DateTimePicker1->date()),
                         frame->DBLookupComboBox2->Text(), frame->Edit2->text(), frame->taskName());
    }
    // Hours confirmed with Enter were never left: the total is what the frames say now.
    UpdateTotal();
    text = QStringLiteral("%1\r\nTotal: %2 h").arg(text, Label2->text());
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

void TSummary::Button2Click() {
    if (saving_)
        return;
    if (!ConfirmSave())
        return;
    saving_ = true;
    Button2->setEnabled(false);
    // The lists stay open until the booking ends, also when the dialog closes meanwhile.
    records_.holdLists(true);
    try {
        save();
    } catch (...) {
        saving_ = false;
        Button2->setEnabled(true);
        records_.holdLists(false);
        throw;
    }
    saving_ = false;
    Button2->setEnabled(true);
    records_.holdLists(false);
}

void TSummary::save() {
    const QList<TProjectBaseFrame*> all = frames();
    std::unique_ptr<BusyCursor> busy;
    try {
        progress_.show();
        busy = std::make_unique<BusyCursor>();
        progress_.ProgressBar1->setMaximum((static_cast<int>(all.size()) + 1) * 10);
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
            records_.recordInsert().ParamByName(QStringLiteral("typ")).Value =
                frame->DBLookupComboBox1->KeyValue();
            records_.recordInsert().ParamByName(QStringLiteral("nazev")).Value =
                frame->description();
            records_.recordInsert().ParamByName(QStringLiteral("id_projekt")).Value =
                frame->DBLookupComboBox2->KeyValue();
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
            TProject* task = mainWindow_.Tasks.byId(frame->taskId());
            if (!task)
                continue;
            if (!frame->DBLookupComboBox1->KeyValue().isNull())
                task->ActivityId = frame->DBLookupComboBox1->KeyValue().toInt();
            if (!frame->DBLookupComboBox2->KeyValue().isNull())
                task->SectionId = frame->DBLookupComboBox2->KeyValue().toInt();
            // Only what was booked: not a task added while this dialog was open, nor one
            // whose frame booked nothing.
            if (CheckBox1->isChecked() && frame->hours() > 0)
                task->Reset();
        }
        mainWindow_.SaveSettings();
        mainWindow_.RefreshGrid();
        mainWindow_.RefreshMenu();

        busy.reset();
        progress_.ProgressBar1->setValue(progress_.ProgressBar1->maximum());
        messageBox(QStringLiteral("Project times saved successfully."),
                   QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok, this);
        progress_.hide();
        if (CheckBox1->isChecked()) {
            saving_ = false;
            close();
            mainWindow_.TrayIcon1->HideMainWindow();
            for (TProjectBaseFrame* frame : all)
                frame->DateTimePicker1->setDate(platform::today());
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
