// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Start-up: makes sure a working directory is known, asking for it when the
// settings hold none (or one that is no longer a folder), then runs the main
// window until it closes. Before that, the command line: --help and
// --version print and end the program without a window.
#pragma once

namespace larkspur {

class LarkspurApp {
public:
    enum class Outcome {
        MainWindowClosed,
        DirectoryNotChosen,  // the user cancelled the saving-directory dialog
        DirectoryNotStored,  // the settings could not be written
    };

    // Needs a QApplication.
    Outcome run();

    // True when argv asks for --help or --version: they need no display, so
    // the caller may start Qt on a platform that opens none.
    static bool onlyPrints(int argc, char* argv[]);

    // Reads the arguments QApplication left (the Qt options are its own):
    // prints the help or the version and ends the program when asked; ends it
    // with a message on an unknown option. Needs a QApplication.
    static void readCommandLine();
};

}  // namespace larkspur
