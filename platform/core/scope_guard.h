#pragma once
// Clean-ups that must run also when a command fails part-way.

#include <exception>
#include <utility>

// Runs `work`, then `finish`, whether `work` returned or threw; an error of `work` is passed on
// once `finish` has run. For steps that must happen "also on failure", before the rest of a
// command goes on.
template <class Work, class Finish> void also_on_failure(Work&& work, Finish&& finish) {
    try {
        std::forward<Work>(work)();
    } catch (...) {
        std::forward<Finish>(finish)();
        throw;
    }
    std::forward<Finish>(finish)();
}

// Runs a clean-up when the scope it guards is left through an error, and not when it is left
// normally: for what a failed command must undo (show a hidden window again, take an overlay
// down). The clean-up must not throw.
template <class Cleanup> class OnFailure {
public:
    explicit OnFailure(Cleanup cleanup)
        : cleanup_(std::move(cleanup)), exceptions_(std::uncaught_exceptions()) {}
    ~OnFailure() {
        if (armed_ && std::uncaught_exceptions() > exceptions_)
            cleanup_();
    }
    OnFailure(const OnFailure&) = delete;
    OnFailure& operator=(const OnFailure&) = delete;
    // From here on, an error no longer runs the clean-up.
    void dismiss() { armed_ = false; }

private:
    Cleanup cleanup_;
    int exceptions_;
    bool armed_ = true;
};
