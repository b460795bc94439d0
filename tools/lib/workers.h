// The one worker pool of the tools: the build codes payload pieces on it and
// the payload check expands them on it. Jobs run in any order on any worker;
// a caller that keeps each job's result in its own slot and joins them in its
// own order gets the same bytes for any number of threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tk {

class WorkerPool {
public:
    // A job is told which worker runs it (0 .. Workers() - 1), so it can use
    // that worker's own buffers without a lock.
    using Job = std::function<void(unsigned worker)>;

    // `threads` workers; with one (or none) the jobs run in Submit, in the
    // caller, in order. At most `held` jobs wait or run at once (at least one
    // per worker), which bounds what their inputs take in memory.
    WorkerPool(unsigned threads, unsigned held);
    // Drops the jobs that have not started and waits for the running ones.
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    unsigned Workers() const { return workers_.empty() ? 1u : unsigned(workers_.size()); }
    // Blocks while the pool holds `held` jobs.
    void Submit(Job job);
    // Returns when every submitted job has run.
    void Wait();

private:
    void Work(unsigned worker);

    const unsigned limit_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<Job> queue_;
    unsigned held_ = 0;
    bool stop_ = false;
};

}  // namespace tk
