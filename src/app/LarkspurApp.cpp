// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "LarkspurApp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMessageBox>

#include <cstring>
#include <string>

#include "MainDialog.h"
#include "SelectSavingDirectoryDialog.h"
#include "UiServices.h"
#include "platform/paths.h"
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
            dialog.setMissing(QString::fromStdString(stored));
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

bool LarkspurApp::onlyPrints(int argc, char* argv[])
{
    // The names QCommandLineParser gives its help and version options.
    static const char* const kPrinting[] = {"-h", "-?", "--help", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        for (const char* name : kPrinting) {
            if (std::strcmp(argv[i], name) == 0)
                return true;
        }
    }
    return false;
}

void LarkspurApp::readCommandLine()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("LarkspurApp",
                                    "Writes sitemaps for a web site kept in a local folder.\n"
                                    "larkspur-cli does the same from the command line."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(*QCoreApplication::instance());
}

}  // namespace larkspur
