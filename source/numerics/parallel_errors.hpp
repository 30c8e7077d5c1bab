#pragma once
// Exceptions out of OpenMP loops. An exception that leaves a parallel region ends the process
// (std::terminate), so each iteration runs through FirstError::run inside the region and the
// error is rethrown after it. The error kept is that of the lowest failing iteration index, the
// one a serial loop would have met first, whatever the number of threads: iterations above a
// failed index are skipped, those below it still run and may replace it.

#include <atomic>
#include <climits>
#include <exception>
#include <utility>

namespace skarven {

class FirstError {
  public:
    // Runs work() for iteration `index` unless a lower index has already failed.
    template <class Work>
    void run(int index, Work&& work) noexcept {
        if (index > lowest_.load(std::memory_order_relaxed)) return;
        try {
            std::forward<Work>(work)();
        } catch (...) {
            keep(index, std::current_exception());
        }
    }
    bool failed() const noexcept { return lowest_.load(std::memory_order_relaxed) != INT_MAX; }
    // After the region: throws the kept error, if any.
    void rethrow() const {
        if (error_) std::rethrow_exception(error_);
    }

  private:
    void keep(int index, std::exception_ptr error) noexcept {
#pragma omp critical(skarven_first_error)
        if (index < lowest_.load(std::memory_order_relaxed)) {
            lowest_.store(index, std::memory_order_relaxed);
            error_ = std::move(error);
        }
    }

    std::atomic<int> lowest_{INT_MAX};
    std::exception_ptr error_;
};

}  // namespace skarven
