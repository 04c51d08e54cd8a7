#include "design/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace plattor {

unsigned defaultThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

void runInOrder(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& finished, const std::function<void(std::size_t)>& progress) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t k = 0; k < count; ++k) {
            work(k);
            if (progress) progress(k + 1);
            finished(k);
        }
        return;
    }
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done(count, 0);
    std::size_t doneCount = 0;
    std::exception_ptr failure;
    const auto worker = [&] {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= count) return;
            std::exception_ptr error;
            try {
                work(k);
            } catch (...) {
                error = std::current_exception();
                next.store(count);
            }
            const std::lock_guard<std::mutex> lock(mutex);
            if (error && !failure) failure = error;
            done[k] = 1;
            ++doneCount;
            changed.notify_one();
        }
    };
    // However the calling thread leaves, no piece starts after it and every thread is joined.
    struct Pool {
        std::atomic<std::size_t>& next;
        std::size_t count;
        std::vector<std::thread> threads;
        ~Pool() {
            next.store(count);
            for (std::thread& t : threads) t.join();
        }
    } pool{next, count, {}};
    const std::size_t size = std::min<std::size_t>(threads, count);
    for (std::size_t t = 0; t < size; ++t) pool.threads.emplace_back(worker);

    // Hand out the pieces in order as they come; the calling thread only waits and reports.
    std::size_t reported = 0, shown = 0;
    std::unique_lock<std::mutex> lock(mutex);
    while (reported < count && !failure) {
        changed.wait(lock, [&] { return done[reported] || failure || doneCount != shown; });
        if (failure) break;
        const std::size_t now = doneCount;
        std::size_t ready = reported;
        while (ready < count && done[ready]) ++ready;
        lock.unlock();
        if (progress && now != shown) progress(now);
        shown = now;
        for (; reported < ready; ++reported) finished(reported);
        lock.lock();
    }
    if (failure) {
        const std::exception_ptr error = failure;
        lock.unlock();
        std::rethrow_exception(error);
    }
}

}  // namespace plattor
