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
#include <variant>
#include <vector>

#include "scan/scan.h"

namespace larkspur {

// `State` is what one thread keeps from entry to entry (an open folder).
template <class Result, class State = std::monostate>
class ReadAhead {
public:
    // Which entries the caller will ask for, in the tree's order; called
    // under the lock, one entry after the other.
    using Wanted = std::function<bool(const FileEntry& entry)>;
    // The work on one entry: 0, or -1 when it failed. On any thread, with
    // that thread's state.
    using Work = std::function<int(const FileEntry& entry, Result& result, State& state)>;

    ReadAhead() = default;
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    ~ReadAhead() { stop(); }

    // With one thread (jobs 1) nothing runs ahead: take() does the work.
    void start(const ScanTree& tree, Wanted wanted, Work work, unsigned jobs = 0)
    {
        stop();
        m_takerState = State();
        m_work = std::move(work);
        m_wanted = std::move(wanted);
        m_next = tree.entries.begin();
        m_end = tree.entries.end();
        const unsigned threads = WalkThreads(jobs);
        if (threads < 2)
            return;
        m_stopped = false;
        m_window = 8 * std::size_t{threads};
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
        while (!m_threads.empty()) {
            if (!m_front && !nextBatch())
                break;
            // The batch is the taker's alone until it lets go of it.
            while (m_taken < m_front->entries.size()) {
                const std::size_t i = m_taken++;
                if (m_front->entries[i] == &entry) {
                    result = std::move(m_front->results[i]);
                    return m_front->status[i];
                }
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_batches.pop_front();
            m_front = nullptr;
            if (m_waiting > 0)
                m_room.notify_one();
        }
        return m_work(entry, result, m_takerState);
    }

private:
    // Entries are handed out in batches: one lock for many pages.
    static constexpr std::size_t kBatch = 32;

    struct Batch {
        std::vector<const FileEntry*> entries;
        std::vector<Result> results;
        std::vector<int> status;
        bool done = false;
    };

    // Waits for the oldest batch to be done; false at the end.
    bool nextBatch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (!m_batches.empty() && m_batches.front().done) {
                m_front = &m_batches.front();
                m_taken = 0;
                return true;
            }
            if (m_batches.empty() && m_next == m_end)
                return false;
            m_taking = true;
            m_ready.wait(lock);
            m_taking = false;
        }
    }

    void run()
    {
        State state;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            while (!m_stopped && m_batches.size() >= m_window) {
                ++m_waiting;
                m_room.wait(lock);
                --m_waiting;
            }
            if (m_stopped)
                break;
            std::vector<const FileEntry*> entries;
            for (; m_next != m_end && entries.size() < kBatch; ++m_next) {
                if (m_wanted(*m_next))
                    entries.push_back(&*m_next);
            }
            if (entries.empty())
                break;
            // Batches stay where they are while others are added and taken.
            Batch& batch = m_batches.emplace_back();
            lock.unlock();
            std::vector<Result> results(entries.size());
            std::vector<int> status(entries.size());
            for (std::size_t i = 0; i < entries.size(); ++i)
                status[i] = m_work(*entries[i], results[i], state);
            lock.lock();
            batch.entries = std::move(entries);
            batch.results = std::move(results);
            batch.status = std::move(status);
            batch.done = true;
            // Waking the taker costs a system call: only when it waits.
            if (m_taking)
                m_ready.notify_one();
        }
        m_ready.notify_one();
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_room.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
        m_threads.clear();
        m_batches.clear();
        m_front = nullptr;
    }

    Work m_work;
    Wanted m_wanted;
    State m_takerState;
    std::mutex m_mutex;
    std::condition_variable m_ready;  // to the taker: a batch done, or the end
    std::condition_variable m_room;   // to the threads: room for a batch
    std::deque<Batch> m_batches;      // in the tree's order
    std::deque<FileEntry>::const_iterator m_next, m_end;
    std::size_t m_window = 0;         // batches at most
    bool m_stopped = true;
    bool m_taking = false;            // the taker waits
    unsigned m_waiting = 0;           // threads waiting for room
    std::vector<std::thread> m_threads;
    Batch* m_front = nullptr;         // the batch being taken from
    std::size_t m_taken = 0;          // its entries taken or passed
};

}  // namespace larkspur
