#pragma once
// Independent pieces of work on a pool of threads, their results taken in order.
#include <cstddef>
#include <functional>
#include <string>

namespace plattor {

// The threads a run uses by default: one per core the system reports, at least one.
unsigned defaultThreads();

// Pieces of work numbered k = 0, 1, …, each taken by the next free thread.
struct OrderedWork {
    // Readies piece k, or returns false where there is none (no later piece is asked for). Called
    // one at a time, in order of k, on the thread that then calls work(k).
    std::function<bool(std::size_t)> start;
    std::function<void(std::size_t)> work;
    // On the calling thread, for k = 0, 1, … in order, each once work(k) and those before it
    // have returned.
    std::function<void(std::size_t)> finished;
    // On the calling thread, whenever more pieces have finished: how many. May be empty.
    std::function<void(std::size_t)> progress;
    // On the calling thread before any piece starts, where only `running` of the threads asked
    // for could be started, and why. May be empty.
    std::function<void(unsigned running, const std::string& why)> fewerThreads;
};

// Runs the pieces on `threads` threads (with one, all of it on the calling thread), at most
// `window` (≥ threads) of them started and not yet finished at once: piece k starts only after
// finished(k − window) has returned, so that slot k % window of a ring can hold it. An exception
// from `start` or `work` stops the pieces not yet started and is rethrown here once the running
// ones are done; the pieces finished after the failing one are not taken back.
void runInOrder(const OrderedWork& pieces, unsigned threads, std::size_t window);

// The pieces k < count, all at once: work(k) on `threads` threads, finished(k) in order, progress
// whenever more have finished; fewer threads than asked for are used silently.
void runInOrder(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& finished,
                const std::function<void(std::size_t)>& progress = {});

}  // namespace plattor
