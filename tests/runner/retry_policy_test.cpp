#include "runner/retry_policy.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FakeClock : public RetryClock {
  public:
    uint64_t NowMs() override { return now; }
    void Sleep(uint32_t ms) override {
        pauses.push_back(ms);
        now += ms;
    }
    uint64_t now = 1000;
    std::vector<uint32_t> pauses;
};

// Retries until the deadline says no; returns how long the step went on.
uint64_t RetryUntilGivenUp(FakeClock& clock, RetryDeadline& deadline, FileFault fault) {
    const uint64_t start = clock.now;
    while (deadline.Retry(fault)) {
    }
    return clock.now - start;
}

TEST(RetryDeadline, EachFaultHasItsOwnTimeFromTheStepsStart) {
    const struct {
        FileFault fault;
        uint64_t lasted;
    } cases[] = {
        {FileFault::held, 50000},
        {FileFault::denied, 5000},
        {FileFault::other, 0},
    };
    for (const auto& c : cases) {
        FakeClock clock;
        RetryDeadline deadline(clock);
        EXPECT_EQ(RetryUntilGivenUp(clock, deadline, c.fault), c.lasted);
    }
}

TEST(RetryDeadline, PausesDoubleUpToTheLongestAndEndAtTheDeadline) {
    FakeClock clock;
    RetryDeadline deadline(clock, RetryLimits{5000, 1000, 100, 800});
    RetryUntilGivenUp(clock, deadline, FileFault::held);
    const std::vector<uint32_t> expected = {100, 200, 400, 800, 800, 800, 800, 800, 300};
    EXPECT_EQ(clock.pauses, expected);
}

TEST(RetryDeadline, OneDeadlineForTheWholeStep) {
    FakeClock clock;
    RetryDeadline deadline(clock);
    clock.now += 49990;  // earlier files of the same clean-up used up the time
    EXPECT_TRUE(deadline.Retry(FileFault::held));
    EXPECT_FALSE(deadline.Retry(FileFault::held));
    EXPECT_FALSE(deadline.Retry(FileFault::denied));
}

}  // namespace
