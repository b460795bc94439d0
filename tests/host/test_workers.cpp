// The worker pool: every job runs once, a worker's index is its own while a
// job runs on it, and no more than the held limit of jobs wait or run (the
// build's memory bound on pieces).
#include "tools/lib/workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(WorkerPool, EveryJobOnceWithinItsLimits)
{
    struct Case {
        unsigned threads, held, jobs;
    };
    const Case cases[] = {
        {0, 0, 5},     // no workers: in the caller
        {1, 2, 5},
        {2, 4, 200},
        {8, 8, 200},
        {4, 1, 50},    // a limit below the workers is raised to one per worker
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.held << " held");
        std::vector<int> ran(c.jobs, 0);
        std::atomic<unsigned> inFlight{0}, finished{0};
        std::atomic<int> clashes{0};
        const unsigned limit = std::max({c.held, c.threads, 1u});
        unsigned workers = 0;
        {
            tk::WorkerPool pool(c.threads, c.held);
            workers = pool.Workers();
            EXPECT_EQ(workers, c.threads > 1 ? c.threads : 1u);
            std::vector<std::atomic<int>> busy(workers);
            for (unsigned i = 0; i < c.jobs; i++) {
                pool.Submit([&, i](unsigned worker) {
                    ASSERT_LT(worker, workers);
                    if (busy[worker]++ != 0)
                        clashes++;
                    inFlight++;
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                    ran[i]++;
                    inFlight--;
                    busy[worker]--;
                    finished++;
                });
                // Submit returns only with room: what waits or runs is within the limit.
                EXPECT_LE(i + 1 - finished.load(), limit) << "job " << i;
            }
            pool.Wait();
            EXPECT_EQ(inFlight.load(), 0u) << "Wait returned before every job ran";
        }
        EXPECT_EQ(clashes.load(), 0) << "two jobs ran on one worker's index at once";
        for (unsigned i = 0; i < c.jobs; i++)
            EXPECT_EQ(ran[i], 1) << "job " << i;
    }
}

}  // namespace
