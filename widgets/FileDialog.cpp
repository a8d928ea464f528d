#include "widgets/FileDialog.h"

#include <QFileDialog>

QString QtSaveFileDialogService::getSaveFileName(QWidget* parent, const SaveFileRequest& request) {
    QFileDialog dialog(parent, request.title);
    dialog.setWindowModality(Qt::WindowModal); // the tray icon stays usable
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // "Name|pattern|Name|pattern" becomes Qt's "Name (pattern)" entries.
    const QStringList parts = request.filters.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts.at(i);
    dialog.setNameFilters(filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < filters.size())
        dialog.selectNameFilter(filters.at(request.selectedFilter));
    dialog.selectFile(request.proposedName);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
