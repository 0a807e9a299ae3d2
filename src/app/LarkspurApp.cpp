#include "LarkspurApp.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <string>

#include "MainDialog.h"
#include "SelectSavingDirectoryDialog.h"
#include "UiServices.h"
#include "platform.h"
#include "settings.h"

namespace larkspur {

LarkspurApp::Outcome LarkspurApp::run()
{
    std::string stored;
    const bool haveStored = ReadWorkingDirectory(stored) == 0;
    // A folder that has gone away since it was chosen is as good as none;
    // offering the old path lets the user recreate or correct it.
    if (!haveStored || !platform::IsDirectory(stored)) {
        SelectSavingDirectoryDialog dialog;
        if (haveStored)
            dialog.setPath(QString::fromStdString(stored));
        if (ExecDialog(dialog) != QDialog::Accepted)
            return Outcome::DirectoryNotChosen;
        if (WriteWorkingDirectory(dialog.path().toStdString()) != 0) {
            ShowMessage(nullptr,
                        QCoreApplication::translate("LarkspurApp",
                                                    "The saving directory could not be stored "
                                                    "in the settings."),
                        QMessageBox::Critical);
            return Outcome::DirectoryNotStored;
        }
    }

    MainDialog mainWindow;
    ExecDialog(mainWindow);
    return Outcome::MainWindowClosed;
}

}  // namespace larkspur
