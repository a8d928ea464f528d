#pragma once

#include "model/WorkRecords.h"

#include <QObject>

#include <functional>
#include <optional>

class QPushButton;
class QTableView;
class RecordBrowser;
class RecordEditor;

// Corrects and deletes the booked records a grid shows: its two buttons, Enter or a double
// click on a row to edit the record, the Delete key to delete it. Each change is asked
// first and made in one transaction; afterwards the records are read again with the
// selection kept sensible.
class RecordCorrector : public QObject {
    Q_OBJECT
public:
    RecordCorrector(WorkRecords& records, RecordBrowser& browser, QTableView* grid);

    // Object names: EditButton, DeleteButton; the editor is RecordEditor.
    QPushButton* editButton() const { return editButton_; }
    QPushButton* deleteButton() const { return deleteButton_; }

    void editCurrent();
    void deleteCurrent();
    // The records are no longer shown: an open editor is cancelled.
    void closeEditor();

    // Reads the filter's records again, with their total and chart.
    std::function<void()> reread;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The record of the grid's current row; none without one, or when it was deleted since
    // the records were read (they are read again then).
    std::optional<WorkRecords::BookedRecord> currentRecord();
    // After a change: the record stays selected where it is still shown, else the row that
    // took its place.
    void showChanged(qint64 id, int row);

    WorkRecords& records_;
    RecordBrowser& browser_;
    QTableView* grid_;
    QPushButton *editButton_, *deleteButton_;
    RecordEditor* editor_ = nullptr;
    qint64 savedId_ = 0; // a save was tried: read the records again when the editor closes
};
