#include "database/PeopleDialog.h"

#include "widgets/Named.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

PeopleDialog::PeopleDialog(const QString& project, const QList<WorkRecords::Permission>& people,
                           QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PeopleDialog"));
    setWindowTitle(QStringLiteral("People"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Modal to its window only: the tray icon answers while it is open.
    setWindowModality(Qt::WindowModal);
    QLabel* note = label("PeopleNote",
                         people.isEmpty()
                             ? QStringLiteral("No login may use Korvan here yet: the server's "
                                              "administrator grants korvan_member or korvan_admin.")
                             : QStringLiteral("Who may book on \"%1\":").arg(project));
    note->setWordWrap(true);
    // A team of many scrolls; a few fit without.
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    for (const WorkRecords::Permission& person : people) {
        // A login is a name, not a caption: an "&" in it is shown, not taken as a key.
        auto* box =
            new QCheckBox(QString(person.login).replace(QLatin1Char('&'), QLatin1String("&&")));
        box->setObjectName(QStringLiteral("Login_") + person.login);
        box->setChecked(person.permitted);
        column->addWidget(box);
        boxes_.append(box);
        logins_.append(person.login);
    }
    column->addStretch();
    auto* scroll = new QScrollArea;
    scroll->setWidget(list);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setAccessibleName(QStringLiteral("People"));
    QPushButton* ok = button("OkButton", QStringLiteral("&OK"));
    ok->setDefault(true);
    QPushButton* cancel = button("CancelButton", QStringLiteral("&Cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);
    if (!boxes_.isEmpty())
        boxes_.first()->setFocus();
}

QStringList PeopleDialog::permitted() const {
    QStringList logins;
    for (qsizetype i = 0; i < boxes_.size(); ++i)
        if (boxes_[i]->isChecked())
            logins << logins_[i];
    return logins;
}
