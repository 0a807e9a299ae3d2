// Start-up: makes sure a working directory is known, asking for it when the
// settings hold none (or one that is no longer a folder), then runs the main
// window until it closes.
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
};

}  // namespace larkspur
