#include "database/RecordCorrector.h"

#include "database/RecordEditor.h"
#include "model/RecordBrowser.h"
#include "platform/Error.h"
#include "widgets/BusyCursor.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

using namespace platform;

RecordCorrector::RecordCorrector(WorkRecords& records, RecordBrowser& browser, QTableView* grid)
    : QObject(grid), records_(records), browser_(browser), grid_(grid) {
    editButton_ = button("EditButton", QStringLiteral("Ed&it record..."));
    deleteButton_ = button("DeleteButton", QStringLiteral("&Delete record"));
    connect(editButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { editCurrent(); }); });
    connect(deleteButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { deleteCurrent(); }); });
    grid_->installEventFilter(this);
    connect(grid_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& at) {
        if (at.isValid())
            guarded([this] { editCurrent(); });
    });
    const auto followCurrent = [this] {
        const bool shown = grid_->currentIndex().isValid();
        editButton_->setEnabled(shown);
        deleteButton_->setEnabled(shown);
    };
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, followCurrent);
    connect(grid_->model(), &QAbstractItemModel::modelReset, this, followCurrent);
    followCurrent();
}

bool RecordCorrector::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        // Enter is the row's, not a default button's of the window.
        if (key->modifiers() == Qt::NoModifier && (enter || key->key() == Qt::Key_Delete)) {
            guarded([this, enter] { enter ? editCurrent() : deleteCurrent(); });
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<WorkRecords::BookedRecord> RecordCorrector::currentRecord() {
    const int row = grid_->currentIndex().row();
    if (row < 0)
        return std::nullopt;
    std::optional<WorkRecords::BookedRecord> record = browser_.recordAt(row);
    if (!record) {
        messageBox(QStringLiteral("The record no longer exists: it was deleted meanwhile."),
                   QStringLiteral("Records"), MsgIcon::Warning, MsgButtons::Ok, grid_->window());
        showChanged(0, row);
    }
    return record;
}

void RecordCorrector::editCurrent() {
    const std::optional<WorkRecords::BookedRecord> record = currentRecord();
    if (!record)
        return;
    if (!editor_) {
        editor_ = new RecordEditor(records_, grid_->window());
        editor_->onSave = [this](const WorkRecords::BookedRecord& changed) {
            BusyCursor busy;
            savedId_ = changed.id;
            records_.updateRecord(changed);
        };
        connect(editor_, &QDialog::finished, this, [this] {
            if (savedId_ == 0)
                return;
            const qint64 id = savedId_;
            savedId_ = 0;
            guarded([this, id] { showChanged(id, grid_->currentIndex().row()); });
        });
    }
    editor_->edit(*record);
}

void RecordCorrector::deleteCurrent() {
    const std::optional<WorkRecords::BookedRecord> record = currentRecord();
    if (!record)
        return;
    const QString caption = QStringLiteral("Delete record");
    if (messageBox(QStringLiteral("Delete this record? It cannot be undone.\n\n") +
                       RecordEditor::describe(*record),
                   caption, MsgIcon::Warning, MsgButtons::YesNoDefaultNo,
                   grid_->window()) != MsgAnswer::Yes)
        return;
    const int row = grid_->currentIndex().row();
    try {
        BusyCursor busy;
        records_.deleteRecord(record->id);
    } catch (const Error& e) {
        messageBox(e.message(), caption, MsgIcon::Warning, MsgButtons::Ok, grid_->window());
    }
    showChanged(0, row);
}

void RecordCorrector::closeEditor() {
    if (editor_ && editor_->isVisible())
        editor_->reject();
}

void RecordCorrector::showChanged(qint64 id, int row) {
    const int column = std::max(grid_->currentIndex().column(), 0);
    if (reread)
        reread();
    const platform::DataSet& shown = browser_.records();
    const int rows = shown.recordCount();
    if (rows == 0)
        return;
    const int found = id != 0 ? shown.locate(shown.keyField, id) : -1;
    grid_->setCurrentIndex(
        grid_->model()->index(found >= 0 ? found : std::clamp(row, 0, rows - 1), column));
}
