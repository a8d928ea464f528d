#include "widgets/WidgetServices.h"

#include "platform/Services.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/ServerWaitWindow.h"

void installWidgetServices() {
    static QtMessageBoxService messageBox;
    static BoxErrorReport errorReport;
    static QtSaveFileDialogService saveFileDialog;
    static WindowedServerWait serverWait;
    platform::Services& s = platform::services();
    if (!s.messageBox)
        s.messageBox = &messageBox;
    if (!s.errorReport)
        s.errorReport = &errorReport;
    if (!s.saveFileDialog)
        s.saveFileDialog = &saveFileDialog;
    if (!s.serverWait)
        s.serverWait = &serverWait;
}
