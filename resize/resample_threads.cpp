// The threads sharing a resampling's rows, and the helper threads kept for the ones to come.

#include "resize/resample_internal.h"

#include "platform/core/extended_precision.h"
#include "platform/core/processors.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <system_error>
#include <thread>

namespace resample {

namespace {

// Helper threads kept for the resamplings to come, started when first needed and never ended:
// starting a thread for every call, and waiting for it at the end, costs milliseconds when the
// processors are busy.
class HelperPool {
public:
    static HelperPool& instance() {
        static HelperPool* pool = new HelperPool; // never destroyed: its threads outlive main
        return *pool;
    }

    // Runs `task` on a helper thread, starting one if every helper is busy (at most kMaxHelpers;
    // beyond that the task waits for a free helper). When no helper can be started at all, the
    // task is dropped: the calling thread computes every block itself.
    void run(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        if (idle_ <= tasks_.size() && helpers_ < kMaxHelpers) {
            try {
                std::thread([this] { serve(); }).detach();
                ++helpers_;
                ++idle_;
            } catch (const std::system_error&) {
                if (helpers_ == 0)
                    return;
            }
        }
        tasks_.push_back(std::move(task));
        wake_.notify_one();
    }

private:
    static constexpr std::size_t kMaxHelpers = 16;

    void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !tasks_.empty(); });
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            --idle_;
            lock.unlock();
            task(); // drops the task's hold on its work before the thread waits again
            task = nullptr;
            lock.lock();
            ++idle_;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::size_t helpers_ = 0, idle_ = 0;
};

} // namespace

void run_rows(const std::shared_ptr<Work>& work, int height, int threads,
              ResampleProgress* progress) {
    const Plan& plan = work->plan;
    std::vector<RowBlends>& scratch = work->scratch;
    if (threads <= 1) {
        for (int y = 0; y < height; ++y) {
            if (progress)
                progress->row_reached(y);
            const int row = plan.row_at(y);
            compute_row(plan, scratch[0], row, plan.dst + row * plan.dst_stride);
        }
        return;
    }

    // Rows go out in blocks to whichever thread is free, so that this thread takes them all when
    // the helpers do not get a processor (a busy machine): it computes the blocks it takes
    // straight into the result. A helper computes a block into its own buffer, copied into the
    // result by the thread that finishes it first: once no block is left to take, this thread
    // computes again any block still in progress elsewhere, rather than wait for a thread that
    // the system may have paused for milliseconds, and it never waits for the helpers
    // themselves: a late helper finds its block done and drops it. This thread reports every
    // row in order as soon as it and all rows before it are in the result. (Rows grouped by
    // kind are reported by their place in that order: the progress still moves once per row,
    // from 0 to the end.)
    enum : int { kOpen, kCopying, kInPlace, kClosed };
    // When the rows go kind by kind, a block ends where a kind ends (within kMaxRowBlock rows),
    // so that the weights of a kind are computed by one thread, not by each thread that takes
    // some of its rows.
    std::vector<int>& block_first = work->block_first;
    for (int y = 0; y < height;) {
        block_first.push_back(y);
        int end = std::min(height, y + kRowBlock);
        if (!plan.order.empty())
            while (end < height && end - y < kMaxRowBlock &&
                   plan.rows.steps[static_cast<std::size_t>(plan.row_at(end))].kind ==
                       plan.rows.steps[static_cast<std::size_t>(plan.row_at(end - 1))].kind)
                ++end;
        y = end;
    }
    block_first.push_back(height);
    const int blocks = static_cast<int>(block_first.size()) - 1;
    const std::size_t row_bytes = static_cast<std::size_t>(plan.width) * 3;
    work->state.reset(new std::atomic<int>[blocks]);
    for (int b = 0; b < blocks; ++b)
        work->state[b].store(kOpen, std::memory_order_relaxed);

    // Once a block is kInPlace or kClosed no thread writes to the result for it again.
    auto compute_block = [row_bytes](Work& w, int b, RowBlends& rb) {
        std::atomic<int>& state = w.state[b];
        if (state.load(std::memory_order_acquire) != kOpen)
            return;
        const int first = w.block_first[b], end = w.block_first[b + 1];
        for (int y = first; y < end; ++y) {
            if (y > first && state.load(std::memory_order_relaxed) != kOpen)
                return; // done by another thread meanwhile, or abandoned: stop early
            compute_row(w.plan, rb, w.plan.row_at(y),
                        rb.block.data() + static_cast<std::size_t>(y - first) * row_bytes);
        }
        int open = kOpen;
        if (!state.compare_exchange_strong(open, kCopying, std::memory_order_acq_rel))
            return; // finished by another thread meanwhile (the same bytes), or abandoned
        for (int y = first; y < end; ++y)
            std::memcpy(w.plan.dst + w.plan.row_at(y) * w.plan.dst_stride,
                        rb.block.data() + static_cast<std::size_t>(y - first) * row_bytes,
                        row_bytes);
        w.set_state(b, kInPlace);
    };

    // On the way out, also by an exception from a progress call: no helper may write to the
    // result once this returns. Open blocks are closed; a block being copied is waited for.
    struct CloseBlocks {
        Work& w;
        int blocks;
        ~CloseBlocks() {
            for (int b = 0; b < blocks; ++b) {
                int s = kOpen;
                while (!w.state[b].compare_exchange_strong(s, kClosed, std::memory_order_acq_rel) &&
                       s != kInPlace && s != kClosed) {
                    w.wait_while(b, s);
                    s = kOpen;
                }
            }
        }
    } close{*work, blocks};

    // The helpers keep off this thread's processor: on a busy machine the system would rather
    // put a woken helper there, where it takes its time from this thread instead of adding
    // its own, than on a processor busy with other work.
    const int processor = current_processor();
    for (int t = 1; t < threads; ++t) {
        HelperPool::instance().run([work, t, blocks, compute_block, processor] {
            const ExtendedPrecision precision;
            avoid_processor(processor);
            for (int b; (b = work->next.fetch_add(1, std::memory_order_relaxed)) < blocks;)
                compute_block(*work, b, work->scratch[static_cast<std::size_t>(t)]);
        });
    }

    int reported = 0; // blocks whose rows have been reported
    auto report = [&](bool wait) {
        while (reported < blocks) {
            for (int s; (s = work->state[reported].load(std::memory_order_acquire)) != kInPlace;) {
                if (!wait)
                    return;
                work->wait_while(reported, s);
            }
            const int end = block_first[reported + 1];
            if (progress)
                for (int y = block_first[reported]; y < end; ++y)
                    progress->row_reached(y);
            ++reported;
        }
    };

    // The blocks this thread takes are its alone: no helper computes them, and only this
    // thread looks at their state.
    for (int b; (b = work->next.fetch_add(1, std::memory_order_relaxed)) < blocks;) {
        for (int y = block_first[b]; y < block_first[b + 1]; ++y) {
            const int row = plan.row_at(y);
            compute_row(plan, scratch[0], row, plan.dst + row * plan.dst_stride);
        }
        work->state[b].store(kInPlace, std::memory_order_relaxed);
        report(false);
    }
    for (int b = reported; b < blocks; ++b)
        compute_block(*work, b, scratch[0]);
    report(true);
}

} // namespace resample
