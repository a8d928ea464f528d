#pragma once

#include <QString>

class QWidget;

// The save-file dialog, behind a facade so tests can answer it.
struct SaveFileRequest {
    QString title;
    QString proposedName;  // the file name proposed (with folder, when one was chosen before)
    QString defaultSuffix; // added when the user types none
    QString filters;       // "All files (*.*)|*.*|Comma separated (*.csv)|*.csv"
    int selectedFilter = 0;
};

class SaveFileDialogService {
public:
    virtual ~SaveFileDialogService() = default;
    // The chosen file name, or empty when the user cancelled. Asks before overwriting.
    virtual QString getSaveFileName(QWidget* parent, const SaveFileRequest& request) = 0;
};

class QtSaveFileDialogService : public SaveFileDialogService {
public:
    QString getSaveFileName(QWidget* parent, const SaveFileRequest& request) override;
};
