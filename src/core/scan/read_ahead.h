// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// Work on the entries of a walked tree, done by a pool of threads ahead of a
// caller that needs the results one by one in the tree's order: reading each
// page's head while the sitemap is written.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/scan.h"

namespace larkspur {

template <class Result>
class ReadAhead {
public:
    // Which entries the caller will ask for, in the tree's order; called
    // under the lock, one entry after the other.
    using Wanted = std::function<bool(const FileEntry& entry)>;
    // The work on one entry: 0, or -1 when it failed. On any thread.
    using Work = std::function<int(const FileEntry& entry, Result& result)>;

    ReadAhead() = default;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    ~ReadAhead() { stop(); }

    // With one thread (jobs 1) nothing runs ahead: take() does the work.
    void start(const ScanTree& tree, Wanted wanted, Work work, unsigned jobs = 0)
    {
        stop();
        m_work = std::move(work);
        m_wanted = std::move(wanted);
        m_next = tree.entries.begin();
        m_end = tree.entries.end();
        const unsigned threads = WalkThreads(jobs);
        if (threads < 2)
            return;
        m_stopped = false;
        m_window = 256 * std::size_t{threads};
        try {
            for (unsigned i = 0; i < threads; ++i)
                m_threads.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
            // Fewer threads, or none: take() then does the work itself.
        }
    }

    // The result for `entry`; entries are asked for in the tree's order,
    // those left out skipped. Without a result ready, the work is done here.
    int take(const FileEntry& entry, Result& result)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_threads.empty()) {
            if (m_slots.empty()) {
                if (m_next == m_end)
                    break;
                m_changed.wait(lock);
                continue;
            }
            Slot& front = m_slots.front();
            if (!front.done) {
                m_changed.wait(lock);
                continue;
            }
            const bool found = front.entry == &entry;
            if (found) {
                result = std::move(front.result);
            }
            const int status = front.status;
            m_slots.pop_front();
            m_changed.notify_all();
            if (found)
                return status;
        }
        lock.unlock();
        return m_work(entry, result);
    }

private:
    struct Slot {
        const FileEntry* entry;
        Result result{};
        int status = 0;
        bool done = false;
    };

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            while (!m_stopped && m_slots.size() >= m_window)
                m_changed.wait(lock);
            while (m_next != m_end && !m_wanted(*m_next))
                ++m_next;
            if (m_stopped || m_next == m_end)
                break;
            // Slots stay where they are while others are added and taken.
            Slot& slot = m_slots.emplace_back();
            slot.entry = &*m_next++;
            lock.unlock();
            Result result{};
            const int status = m_work(*slot.entry, result);
            lock.lock();
            slot.result = std::move(result);
            slot.status = status;
            slot.done = true;
            m_changed.notify_all();
        }
        m_changed.notify_all();
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
        m_slots.clear();
    }

    Work m_work;
    Wanted m_wanted;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Slot> m_slots;  // in the tree's order
    std::deque<FileEntry>::const_iterator m_next, m_end;
    std::size_t m_window = 0;
    bool m_stopped = true;
    std::vector<std::thread> m_threads;
};

}  // namespace larkspur
