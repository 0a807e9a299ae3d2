// The working directory, and the main window's place on the screen: the
// values Larkspur keeps in the user's settings store (organisation "Brindle",
// application "Larkspur"). The desktop program and the command line read the
// same working directory.
#pragma once

#include <QByteArray>

#include <string>

namespace larkspur {

// 0 with the stored folder, -1 when there is none (or it is empty).
int ReadWorkingDirectory(std::string& path);
// -1 at once for an empty path, or when the store cannot be written.
int WriteWorkingDirectory(const std::string& path);

// As QWidget::saveGeometry gives it; empty when none is stored.
QByteArray ReadWindowGeometry();
void WriteWindowGeometry(const QByteArray& geometry);

}  // namespace larkspur
