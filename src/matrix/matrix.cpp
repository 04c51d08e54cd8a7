#include "matrix/matrix.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#endif

namespace plattor {

namespace {

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
// Blocks from this size on come from pages of their own, aligned to and in multiples of a huge
// page. A freed one of at most keptBlockBytes is kept for the next of its size (a ladder's rungs
// and a batch's rows ask for the same sizes again and again), up to keptBytes in all: its pages
// stay mapped, and only the part asked for is zeroed again. The largest systems are not kept: a
// run's memory stays that of the systems it solves, and a little more.
constexpr std::size_t hugePage = std::size_t{2} << 20;
constexpr std::size_t ownPagesFrom = std::size_t{1} << 20;
constexpr std::size_t keptBlockBytes = std::size_t{4} << 20;
constexpr std::size_t keptBytes = std::size_t{16} << 20;

std::size_t ownPagesBytes(std::size_t count) { return (count * sizeof(double) + hugePage - 1) / hugePage * hugePage; }

class KeptBlocks {
public:
    // Never destroyed: matrices held by other objects of static duration may be freed last.
    static KeptBlocks& instance() {
        static KeptBlocks* blocks = new KeptBlocks;
        return *blocks;
    }
    void* take(std::size_t bytes) {
        const std::lock_guard lock(mutex_);
        for (std::size_t k = 0; k < kept_.size(); ++k)
            if (kept_[k].second == bytes) {
                void* block = kept_[k].first;
                kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(k));
                total_ -= bytes;
                return block;
            }
        return nullptr;
    }
    bool keep(void* block, std::size_t bytes) {
        const std::lock_guard lock(mutex_);
        if (bytes > keptBlockBytes || total_ + bytes > keptBytes) return false;
        kept_.emplace_back(block, bytes);
        total_ += bytes;
        return true;
    }
    // Every kept block back to the system; false if there was none.
    bool release() {
        const std::lock_guard lock(mutex_);
        for (const auto& [block, bytes] : kept_) munmap(block, bytes);
        const bool any = !kept_.empty();
        kept_.clear();
        total_ = 0;
        return any;
    }
    // Large blocks that came from the heap after all, where the system had no pages of their own
    // to give (its address space limited): freed to the heap again.
    void fromHeap(void* block) {
        const std::lock_guard lock(mutex_);
        heap_.push_back(block);
    }
    bool wasFromHeap(void* block) {
        const std::lock_guard lock(mutex_);
        const auto found = std::find(heap_.begin(), heap_.end(), block);
        if (found == heap_.end()) return false;
        heap_.erase(found);
        return true;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<void*, std::size_t>> kept_;
    std::size_t total_ = 0;
    std::vector<void*> heap_;
};

// Fresh pages for a block of `bytes`, aligned to a huge page; null where the system has none.
void* ownPages(std::size_t bytes) {
    void* mapped = mmap(nullptr, bytes + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    // Keep the aligned part, give back the slack before and after it.
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + hugePage - 1) / hugePage * hugePage;
    if (aligned > start) munmap(mapped, aligned - start);
    if (start + hugePage > aligned) munmap(reinterpret_cast<void*>(aligned + bytes), start + hugePage - aligned);
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}
#endif

}  // namespace

double* ZeroedBlocks::allocate(std::size_t count) {
    if (count == 0) return nullptr;
    if (count > std::size_t(-1) / sizeof(double) / 2) throw std::bad_alloc();
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    if (count * sizeof(double) >= ownPagesFrom) {
        const std::size_t bytes = ownPagesBytes(count);
        if (void* kept = KeptBlocks::instance().take(bytes)) {
            std::memset(kept, 0, count * sizeof(double));
            return static_cast<double*>(kept);
        }
        KeptBlocks& kept = KeptBlocks::instance();
        void* pages = ownPages(bytes);
        if (!pages && kept.release()) pages = ownPages(bytes);
        if (pages) return static_cast<double*>(pages);
        // No pages of its own to be had: the heap may still have room, in what it holds already.
        void* block = std::calloc(count, sizeof(double));
        if (!block) throw std::bad_alloc();
        kept.fromHeap(block);
        return static_cast<double*>(block);
    }
#endif
    void* block = std::calloc(count, sizeof(double));
    if (!block) throw std::bad_alloc();
    return static_cast<double*>(block);
}

void ZeroedBlocks::deallocate(double* block, std::size_t count) noexcept {
    if (!block) return;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    if (count * sizeof(double) >= ownPagesFrom) {
        KeptBlocks& kept = KeptBlocks::instance();
        if (kept.wasFromHeap(block)) {
            std::free(block);
            return;
        }
        const std::size_t bytes = ownPagesBytes(count);
        if (!kept.keep(block, bytes)) munmap(block, bytes);
        return;
    }
#endif
    std::free(block);
}

std::vector<double> linspace(double first, double last, std::size_t n) {
    std::vector<double> values(n);
    if (n == 0) return values;
    const double step = n > 1 ? (last - first) / static_cast<double>(n - 1) : 0.0;
    for (std::size_t k = 0; k + 1 < n; ++k) values[k] = first + static_cast<double>(k) * step;
    values[n - 1] = last;  // the end point exactly, whatever the rounding of the steps
    return values;
}

std::pair<Matrix, Matrix> gradient(const Matrix& f) {
    const std::size_t nr = f.rows();
    const std::size_t nc = f.cols();
    Matrix gx(nr, nc);
    Matrix gy(nr, nc);
    // Along x: from column to column.
    if (nc > 1) {
        for (std::size_t i = 0; i < nr; ++i) {
            gx(i, 0) = f(i, 1) - f(i, 0);
            gx(i, nc - 1) = f(i, nc - 1) - f(i, nc - 2);
        }
        for (std::size_t j = 1; j + 1 < nc; ++j) {
            const double* left = f.column(j - 1);
            const double* right = f.column(j + 1);
            double* g = gx.column(j);
            for (std::size_t i = 0; i < nr; ++i) g[i] = (right[i] - left[i]) / 2.0;
        }
    }
    // Along y: from row to row, down each column.
    if (nr > 1) {
        for (std::size_t j = 0; j < nc; ++j) {
            const double* c = f.column(j);
            double* g = gy.column(j);
            g[0] = c[1] - c[0];
            for (std::size_t i = 1; i + 1 < nr; ++i) g[i] = (c[i + 1] - c[i - 1]) / 2.0;
            g[nr - 1] = c[nr - 1] - c[nr - 2];
        }
    }
    return {std::move(gx), std::move(gy)};
}

}  // namespace plattor
