#include "design/parallel.hpp"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "solver/solve.hpp"

namespace plattor {

unsigned defaultThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

namespace {

void runOnCallingThread(const OrderedWork& pieces) {
    const SolvesOnThisThreadOnly alone;
    for (std::size_t k = 0; pieces.start(k); ++k) {
        pieces.work(k);
        if (pieces.progress) pieces.progress(k + 1);
        pieces.finished(k);
    }
}

}  // namespace

void runInOrder(const OrderedWork& pieces, unsigned threads, std::size_t window) {
    assert(threads >= 1 && window >= threads);
    if (threads == 1) return runOnCallingThread(pieces);

    // One start at a time, in order, without holding up the calling thread: a start may wait
    // for input.
    std::mutex startMutex;
    std::mutex mutex;
    std::condition_variable changed, room;
    std::size_t next = 0, reported = 0, running = 0, doneCount = 0;
    bool over = false;
    std::vector<char> done(window, 0);  // piece k's slot is k % window
    std::exception_ptr failure;
    const auto fail = [&](std::exception_ptr error) {
        if (!failure) failure = error;
        over = true;
        room.notify_all();
        changed.notify_one();
    };
    const auto worker = [&] {
        for (;;) {
            std::unique_lock<std::mutex> startLock(startMutex);
            std::size_t k;
            {
                std::unique_lock<std::mutex> lock(mutex);
                room.wait(lock, [&] { return over || next < reported + window; });
                if (over) return;
                k = next;
            }
            bool more = false;
            std::exception_ptr error;
            try {
                more = pieces.start(k);
            } catch (...) {
                error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (error) fail(error);
                else if (!more) over = true, room.notify_all(), changed.notify_one();
                else next = k + 1, ++running;
            }
            startLock.unlock();
            if (!more) return;
            try {
                const SolvesOnThisThreadOnly alone;
                pieces.work(k);
            } catch (...) {
                error = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(mutex);
            --running;
            if (error) fail(error);
            else done[k % window] = 1, ++doneCount;
            changed.notify_one();
        }
    };
    // However the calling thread leaves, no piece starts after it and every thread is joined.
    struct Pool {
        std::mutex& mutex;
        bool& over;
        std::condition_variable& room;
        std::vector<std::thread> threads;
        ~Pool() {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                over = true;
            }
            room.notify_all();
            for (std::thread& t : threads) t.join();
        }
    } pool{mutex, over, room, {}};
    std::string why;
    try {
        for (unsigned t = 0; t < threads; ++t) pool.threads.emplace_back(worker);
    } catch (const std::system_error& e) {
        why = e.code().message();
    }
    if (pool.threads.size() < threads && pieces.fewerThreads)
        pieces.fewerThreads(std::max(1u, static_cast<unsigned>(pool.threads.size())), why);
    // No thread at all: nothing has started, and the calling thread does it all.
    if (pool.threads.empty()) return runOnCallingThread(pieces);

    // Take the pieces back in order as they come; the calling thread only waits and reports.
    std::size_t shown = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        const auto ready = [&] { return reported < next && done[reported % window]; };
        changed.wait(lock, [&] { return ready() || doneCount != shown || (over && running == 0); });
        if (doneCount != shown) {
            const std::size_t now = shown = doneCount;
            if (pieces.progress) {
                lock.unlock();
                pieces.progress(now);
                lock.lock();
            }
        }
        if (ready()) {
            const std::size_t k = reported;
            lock.unlock();
            pieces.finished(k);
            lock.lock();
            done[k % window] = 0;
            ++reported;
            room.notify_all();
        } else if (over && running == 0) {
            break;
        }
    }
    if (failure) {
        const std::exception_ptr error = failure;
        lock.unlock();
        std::rethrow_exception(error);
    }
}

void runInOrder(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& finished, const std::function<void(std::size_t)>& progress) {
    const OrderedWork pieces{[count](std::size_t k) { return k < count; }, work, finished, progress, {}};
    threads = static_cast<unsigned>(std::clamp<std::size_t>(count, 1, threads));
    runInOrder(pieces, threads, std::max<std::size_t>(count, threads));
}

}  // namespace plattor
