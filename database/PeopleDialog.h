#pragma once

#include "model/WorkRecords.h"

#include <QDialog>
#include <QList>

class QCheckBox;

// Who may book on one project of a team database: a box to tick for each login the server
// lets use Korvan. OK (or Enter) keeps the ticks, Cancel (or Escape) forgets them.
class PeopleDialog : public QDialog {
    Q_OBJECT
public:
    PeopleDialog(const QString& project, const QList<WorkRecords::Permission>& people,
                 QWidget* parent = nullptr);

    // The logins ticked now.
    QStringList permitted() const;

private:
    // Object names: PeopleNote (what the boxes are for), Login_<login> (a box for each),
    // OkButton, CancelButton.
    QList<QCheckBox*> boxes_;
    QStringList logins_; // of the boxes, in their order
};
