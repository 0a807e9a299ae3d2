// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
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
// The file the settings store keeps the value in (for messages).
std::string SettingsFileName();

// Where the working directory in force comes from, strongest first: a
// folder given for one run, the environment (a server's service unit or a
// deploy script sets it), the value stored by either program.
enum class WorkingDirectoryOrigin { None, Given, Environment, Stored };
constexpr const char* kWorkingDirectoryVariable = "LARKSPUR_WORKING_DIR";
// `given` when not null, else LARKSPUR_WORKING_DIR when not empty, else the
// stored one; None (and `path` unchanged) when there is none.
WorkingDirectoryOrigin FindWorkingDirectory(const std::string* given, std::string& path);

// As QWidget::saveGeometry gives it; empty when none is stored.
QByteArray ReadWindowGeometry();
void WriteWindowGeometry(const QByteArray& geometry);

}  // namespace larkspur
