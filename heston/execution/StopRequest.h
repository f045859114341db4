// StopRequest: how a long computation learns that its caller wants it abandoned.
//
// The caller hands the computation a function answering "should I stop?". The computation asks
// it through a StopPoll at points where everything that outlives the computation is whole (a
// finished simulation, a finished member of a population, a finished evaluation), so that the
// asking stays cheap and a stop leaves no state half-updated. When the answer is yes, the
// computation ends by throwing CalculationCancelled, whose text is "Calculation cancelled".
//
// The poll reads the clock only every so many polls, adapting that count so that the clock is
// read a few times per interval, and asks the function at the first poll and then once per
// interval of work (50 ms unless the caller says otherwise). Without a function nothing is
// ever asked, and a computation gives exactly the numbers it gives without a poll.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

namespace heston {

struct StopRequest {
    std::function<bool()> shouldStop;  // empty: never stop
    std::chrono::steady_clock::duration interval = std::chrono::milliseconds(50);
};

class CalculationCancelled : public std::runtime_error {
  public:
    CalculationCancelled() : std::runtime_error("Calculation cancelled") {}
};

class StopPoll {
  public:
    explicit StopPoll(StopRequest request) : request_(std::move(request)) {}

    // True once the request has answered yes; cheap enough to call at every step of a loop.
    // Never throws: a request that throws counts as "go on".
    bool Requested() noexcept {
        if (stopped_) return true;
        if (!request_.shouldStop || --countdown_ > 0) return false;
        return Ask();
    }

    void ThrowIfRequested() {
        if (Requested()) throw CalculationCancelled();
    }

    // Whether an earlier poll was answered yes; asks nothing.
    bool Stopped() const noexcept { return stopped_; }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint32_t kLongestStride = 1u << 20;

    bool Ask() noexcept {
        const Clock::time_point now = Clock::now();
        if (asked_) {
            // Polls come faster than the clock needs reading: look at it half as often; or
            // slower than a quarter interval apart: twice as often.
            const Clock::duration sinceRead = now - lastRead_;
            if (sinceRead < request_.interval / 16 && stride_ < kLongestStride)
                stride_ *= 2;
            else if (sinceRead > request_.interval / 4 && stride_ > 1)
                stride_ /= 2;
        }
        lastRead_ = now;
        countdown_ = stride_;
        if (!asked_ || now - lastAsked_ >= request_.interval) {
            asked_ = true;
            lastAsked_ = now;
            try {
                stopped_ = request_.shouldStop();
            } catch (...) {
                stopped_ = false;
            }
        }
        return stopped_;
    }

    const StopRequest request_;
    std::uint32_t stride_ = 1;
    std::uint32_t countdown_ = 1;
    bool asked_ = false;
    bool stopped_ = false;
    Clock::time_point lastRead_;
    Clock::time_point lastAsked_;
};

}  // namespace heston
