// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Walks a site folder on a thread of its own while the window waits: short
// walks without a dialog, long ones behind a progress dialog with Cancel.
#pragma once

#include <QObject>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "scan/scan.h"

class QWidget;

namespace larkspur {

// One walk. The thread fills `scan` and nothing else; the window takes the
// finished scan over only after the thread has ended, so no command ever
// sees a tree half-built.
struct WalkJob {
    std::string root;
    ScanResult scan;
    WalkError error;
    int result = -1;
    std::atomic<std::size_t> found{0};
    std::atomic<bool> cancel{false};
    const std::function<void(std::size_t)>* observer = nullptr;
};

class WalkRunner : public QObject {
    Q_OBJECT
public:
    // Called on the walking thread each time the walk reports progress.
    using Observer = std::function<void(std::size_t entriesFound)>;

    explicit WalkRunner(QWidget* window);

    // How long a walk may run before its progress dialog shows.
    void setProgressDelay(int milliseconds) { m_progressDelay = milliseconds; }
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    bool running() const { return m_active != nullptr; }
    // Asks the running walk to stop at its next progress report.
    void cancel();
    // Walks job.root into job.scan; false when the walk was cancelled.
    bool run(WalkJob& job);

private:
    QWidget* m_window;
    int m_progressDelay = 500;
    Observer m_observer;
    WalkJob* m_active = nullptr;
};

}  // namespace larkspur
