// Allocations that fail on demand: while armed, every operator new on a thread other than the one
// that armed it throws std::bad_alloc, as it would where memory runs out under a worker.
#pragma once

class FailingAllocationsElsewhere {
  public:
    FailingAllocationsElsewhere();
    ~FailingAllocationsElsewhere();
    FailingAllocationsElsewhere(const FailingAllocationsElsewhere&) = delete;
    FailingAllocationsElsewhere& operator=(const FailingAllocationsElsewhere&) = delete;
};
