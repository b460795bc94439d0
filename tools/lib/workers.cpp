#include "tools/lib/workers.h"

#include <algorithm>

namespace tk {

WorkerPool::WorkerPool(unsigned threads, unsigned held) : limit_(std::max({held, threads, 1u}))
{
    if (threads > 1) {
        for (unsigned i = 0; i < threads; i++)
            workers_.emplace_back([this, i] { Work(i); });
    }
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    ready_.notify_all();
    for (std::thread &t : workers_)
        t.join();
}

void WorkerPool::Submit(Job job)
{
    if (workers_.empty()) {
        job(0);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return held_ < limit_; });
    held_++;
    queue_.push_back(std::move(job));
    ready_.notify_one();
}

void WorkerPool::Wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return held_ == 0; });
}

void WorkerPool::Work(unsigned worker)
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job(worker);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_--;
        }
        room_.notify_all();
    }
}

}  // namespace tk
