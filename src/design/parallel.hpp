#pragma once
// Independent pieces of work on a pool of threads, their results taken in order.
#include <cstddef>
#include <functional>

namespace plattor {

// The threads a run uses by default: one per core the system reports, at least one.
unsigned defaultThreads();

// Calls work(k) for every k < count on `threads` threads, each k once, the next free thread
// taking the lowest k not yet started; on the calling thread meanwhile, finished(k) for
// k = 0, 1, … in order, each once work(k) and those before it have returned, and progress(done)
// whenever more pieces have finished. With one thread all of it runs on the calling thread.
// An exception from `work` stops the pieces not yet started and is rethrown here once the
// running ones are done; `work` is expected to catch what belongs to one piece itself.
void runInOrder(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work,
                const std::function<void(std::size_t)>& finished,
                const std::function<void(std::size_t)>& progress = {});

}  // namespace plattor
