// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
#include "WalkRunner.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "UiServices.h"
#include "WalkProgressDialog.h"

namespace larkspur {

namespace {

int Progress(std::size_t entriesFound, void* context)
{
    auto* job = static_cast<WalkJob*>(context);
    job->found.store(entriesFound, std::memory_order_relaxed);
    if (job->observer && *job->observer)
        (*job->observer)(entriesFound);
    return job->cancel.load() ? 1 : 0;
}

}  // namespace

WalkRunner::WalkRunner(QWidget* window) : QObject(window), m_window(window) {}

void WalkRunner::cancel()
{
    if (m_active)
        m_active->cancel.store(true);
}

bool WalkRunner::run(WalkJob& job)
{
    m_active = &job;
    job.observer = &m_observer;
    std::unique_ptr<QThread> thread(QThread::create([&job] {
        // A site kept in git would otherwise be walked twice over, for nothing.
        WalkSettings settings;
        settings.skipVersionControl = true;
        job.result = WalkAndCount(job.scan, job.root, &job.error, &Progress, &job, settings);
    }));

    // Short walks end before anyone could notice: they run without a dialog,
    // and input waits until they are done. Paint events still go through.
    QEventLoop waiting;
    QTimer delay;
    delay.setSingleShot(true);
    connect(thread.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    connect(&delay, &QTimer::timeout, &waiting, &QEventLoop::quit);
    thread->start();
    delay.start(m_progressDelay);
    if (!thread->isFinished())
        waiting.exec(QEventLoop::ExcludeUserInputEvents);

    if (!thread->isFinished() && !job.cancel.load()) {
        WalkProgressDialog progress(QString::fromStdString(job.root), job.found, m_window);
        connect(thread.get(), &QThread::finished, &progress, &QDialog::accept);
        // The thread may have ended before the connection was made.
        if (!thread->isFinished() && ExecDialog(progress) != QDialog::Accepted)
            job.cancel.store(true);
    }
    // After a cancel the walk stops at its next progress report.
    thread->wait();
    m_active = nullptr;
    return !job.cancel.load();
}

}  // namespace larkspur
