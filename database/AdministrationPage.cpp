#include "database/AdministrationPage.h"

#include "database/InputBox.h"
#include "database/PeopleDialog.h"
#include "model/RecordBrowser.h"
#include "platform/Error.h"
#include "widgets/BusyCursor.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace platform;

namespace {
constexpr int kIdRole = Qt::UserRole;
} // namespace

AdministrationPage::AdministrationPage(WorkRecords& records, RecordBrowser& browser)
    : records_(records), browser_(browser) {
    setObjectName(QStringLiteral("TabSheet5"));
    projectsList_ = new QListWidget;
    projectsList_->setObjectName(QStringLiteral("ListBox1"));
    activitiesList_ = new QListWidget;
    activitiesList_->setObjectName(QStringLiteral("ListBox2"));
    addProjectButton_ = button("Button4", QStringLiteral("Add"));
    editProjectButton_ = button("Button5", QStringLiteral("Edit"));
    deleteProjectButton_ = button("Button6", QStringLiteral("Delete"));
    addActivityButton_ = button("Button1", QStringLiteral("Add"));
    editActivityButton_ = button("Button3", QStringLiteral("Edit"));
    deleteActivityButton_ = button("Button2", QStringLiteral("Delete"));
    peopleButton_ = button("PeopleButton", QStringLiteral("&People..."));
    peopleButton_->hide();
    changes_ = {addProjectButton_,  editProjectButton_,  deleteProjectButton_, peopleButton_,
                addActivityButton_, editActivityButton_, deleteActivityButton_};
    onClicks(this, {{addActivityButton_, &AdministrationPage::addActivityClicked},
                    {deleteActivityButton_, &AdministrationPage::deleteActivityClicked},
                    {editActivityButton_, &AdministrationPage::renameActivityClicked},
                    {addProjectButton_, &AdministrationPage::addProjectClicked},
                    {editProjectButton_, &AdministrationPage::renameProjectClicked},
                    {deleteProjectButton_, &AdministrationPage::deleteProjectClicked},
                    {peopleButton_, &AdministrationPage::peopleClicked}});
    const auto group = [](const char* name, const QString& title, QListWidget* list,
                          std::initializer_list<QPushButton*> buttons) {
        auto* box = new QGroupBox(title);
        box->setObjectName(QLatin1String(name));
        auto* column = new QVBoxLayout;
        for (QPushButton* b : buttons)
            column->addWidget(b);
        column->addStretch();
        auto* row = new QHBoxLayout(box);
        row->addWidget(list, 1);
        row->addLayout(column);
        return box;
    };
    auto* lists = new QHBoxLayout;
    lists->addWidget(
        group("GroupBox2", QStringLiteral(" Projects "), projectsList_,
              {addProjectButton_, editProjectButton_, deleteProjectButton_, peopleButton_}));
    lists->addWidget(group("GroupBox1", QStringLiteral(" Activities "), activitiesList_,
                           {addActivityButton_, editActivityButton_, deleteActivityButton_}));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(offerOnlyToAdministrators(nullptr));
    layout->addLayout(lists, 1);
    // Keyboard order: each list, then its buttons.
    QWidget* order[] = {projectsList_,        addProjectButton_,   editProjectButton_,
                        deleteProjectButton_, peopleButton_,       activitiesList_,
                        addActivityButton_,   editActivityButton_, deleteActivityButton_};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    // Two of each button: a screen reader says which list each is for.
    projectsList_->setAccessibleName(QStringLiteral("Projects"));
    activitiesList_->setAccessibleName(QStringLiteral("Activities"));
    for (const auto& [b, name] : std::initializer_list<std::pair<QPushButton*, const char*>>{
             {addProjectButton_, "Add project"},
             {editProjectButton_, "Edit project"},
             {deleteProjectButton_, "Delete project"},
             {peopleButton_, "People who may book on the project"},
             {addActivityButton_, "Add activity"},
             {editActivityButton_, "Edit activity"},
             {deleteActivityButton_, "Delete activity"}})
        b->setAccessibleName(QLatin1String(name));
}

namespace {
// After a delete nothing is selected: a second Delete must not act on an entry the user
// never picked.
void unselect(QListWidget* list) {
    list->clearSelection();
    list->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
}
} // namespace

void AdministrationPage::fillList(QListWidget* list, const QList<WorkRecords::Entry>& entries) {
    list->clear();
    for (const WorkRecords::Entry& entry : entries) {
        auto* item = new QListWidgetItem(entry.name);
        item->setData(kIdRole, entry.id);
        list->addItem(item);
    }
}

QLabel* AdministrationPage::offerOnlyToAdministrators(QPushButton* button) {
    if (button)
        changes_.append(button);
    QLabel* note = label("AdminNote", QString());
    note->setWordWrap(true);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note->hide();
    notes_.append(note);
    return note;
}

void AdministrationPage::offerChanges(const QString& refusal, bool team, const QString& notice) {
    for (QPushButton* b : std::as_const(changes_)) {
        b->setEnabled(refusal.isEmpty());
        b->setToolTip(refusal);
    }
    const QString said = refusal.isEmpty() ? notice : refusal;
    for (QLabel* note : std::as_const(notes_)) {
        note->setText(said);
        note->setVisible(!said.isEmpty());
    }
    peopleButton_->setVisible(team);
}

void AdministrationPage::showAccess() {
    offerChanges(QString(), false);
    records_.connection().ready();
    try {
        const WorkRecords::Person& me = records_.person();
        offerChanges(records_.administrationRefusal(), me.team,
                     me.superuser ? QStringLiteral("Connected as the server's superuser \"%1\": "
                                                   "the team's rules do not hold for it, and what "
                                                   "it books is nobody's own. Connect with your "
                                                   "own login.")
                                        .arg(me.name)
                                  : QString());
    } catch (const Error& e) {
        // Only a team database asks the server who the person is.
        offerChanges(QStringLiteral("Korvan offers no change here: it cannot tell what you may "
                                    "do in this database. ") +
                         e.message(),
                     true);
    }
}

void AdministrationPage::load() {
    // Nothing of an earlier visit stays when the database cannot be read this time.
    projectsList_->clear();
    activitiesList_->clear();
    showAccess();
    fillList(projectsList_, records_.activeProjects());
    fillList(activitiesList_, records_.allActivities());
}

void AdministrationPage::addActivityClicked() {
    QString name;
    if (!nameBox_->ask(QStringLiteral("New activity"), QStringLiteral("Activity name:"), QString(),
                       name))
        return;
    BusyCursor busy;
    const int id = records_.addActivity(name);
    auto* item = new QListWidgetItem(name);
    item->setData(kIdRole, id);
    activitiesList_->addItem(item);
    browser_.reloadLists();
}

void AdministrationPage::renameActivityClicked() {
    QListWidgetItem* item = activitiesList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No activity was selected."), QStringLiteral("Edit Activity"),
                   MsgIcon::Warning, MsgButtons::Ok, window());
        return;
    }
    QString name;
    if (!nameBox_->ask(QStringLiteral("Edit activity"), QStringLiteral("Activity name:"),
                       item->text(), name))
        return;
    BusyCursor busy;
    records_.renameActivity(item->data(kIdRole).toInt(), name);
    item->setText(name);
    browser_.reloadLists();
}

void AdministrationPage::deleteActivityClicked() {
    QListWidgetItem* item = activitiesList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No activity was selected."), QStringLiteral("Delete activity"),
                   MsgIcon::Warning, MsgButtons::Ok, window());
        return;
    }
    if (messageBox(QStringLiteral("When you delete activity all associated recorded project times "
                                  "will be deleted too.\n\r\n\rAre you sure to continue anyway ?"),
                   QStringLiteral("Delete activity"), MsgIcon::Question, MsgButtons::YesNoDefaultNo,
                   window()) != MsgAnswer::Yes)
        return;
    BusyCursor busy;
    records_.deleteActivity(item->data(kIdRole).toInt());
    browser_.reloadLists();
    delete item;
    unselect(activitiesList_);
}

void AdministrationPage::addProjectClicked() {
    QString name;
    if (!nameBox_->ask(QStringLiteral("New project"), QStringLiteral("Project name:"), QString(),
                       name))
        return;
    BusyCursor busy;
    const int id = records_.addProject(name);
    auto* item = new QListWidgetItem(name);
    item->setData(kIdRole, id);
    projectsList_->addItem(item);
    browser_.reloadLists();
}

void AdministrationPage::renameProjectClicked() {
    QListWidgetItem* item = projectsList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No project was selected."), QStringLiteral("Edit project"),
                   MsgIcon::Warning, MsgButtons::Ok, window());
        return;
    }
    QString name;
    if (!nameBox_->ask(QStringLiteral("Edit project"), QStringLiteral("Project name:"),
                       item->text(), name))
        return;
    BusyCursor busy;
    records_.renameProject(item->data(kIdRole).toInt(), name);
    item->setText(name);
    browser_.reloadLists();
}

void AdministrationPage::deleteProjectClicked() {
    QListWidgetItem* item = projectsList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No project was selected."), QStringLiteral("Delete project"),
                   MsgIcon::Warning, MsgButtons::Ok, window());
        return;
    }
    const MsgAnswer answer = messageBox(
        QStringLiteral(
            "Are you sure to delete selected project and all its recorded times ?\n\r\n\r"
            "[Yes] - delete the project and all its recorded times\n\r[No] - delete the "
            "project only \n\r[Cancel] - cancel the operation\n\r\n\rPress the button of "
            "your choice."),
        QStringLiteral("Delete project"), MsgIcon::Question, MsgButtons::YesNoCancelDefaultCancel,
        window());
    if (answer != MsgAnswer::Yes && answer != MsgAnswer::No)
        return;
    BusyCursor busy;
    const int id = item->data(kIdRole).toInt();
    if (answer == MsgAnswer::No)
        records_.retireProject(id, item->text());
    else
        records_.deleteProject(id);
    browser_.reloadLists();
    delete item;
    unselect(projectsList_);
}

void AdministrationPage::peopleClicked() {
    QListWidgetItem* item = projectsList_->currentItem();
    if (!item || !item->isSelected()) {
        messageBox(QStringLiteral("No project was selected."), QStringLiteral("People"),
                   MsgIcon::Warning, MsgButtons::Ok, window());
        return;
    }
    const int id = item->data(kIdRole).toInt();
    QList<WorkRecords::Permission> people;
    {
        BusyCursor busy;
        people = records_.permissions(id);
    }
    PeopleDialog dialog(item->text(), people, window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    BusyCursor busy;
    records_.setPermissions(id, dialog.permitted());
}
