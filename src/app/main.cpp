// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include <QApplication>

#include "ApplicationIcon.h"
#include "LarkspurApp.h"
#include "ReadableLook.h"
#include "platform/atomic_file.h"

int main(int argc, char* argv[])
{
    larkspur::platform::HandleInterruptions();
    // --help and --version answer on a server too, where no display would
    // let the window system start.
    if (larkspur::LarkspurApp::onlyPrints(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Larkspur"));
    QApplication::setApplicationVersion(QStringLiteral(LARKSPUR_VERSION));
    larkspur::LarkspurApp::readCommandLine();
    // Lets the desktop match the running window to larkspur.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("larkspur"));
    QApplication::setWindowIcon(larkspur::ApplicationIcon());
    larkspur::ApplyReadableLook(application);

    larkspur::LarkspurApp app;
    const auto outcome = app.run();
    return outcome == larkspur::LarkspurApp::Outcome::DirectoryNotStored ? 1 : 0;
}
