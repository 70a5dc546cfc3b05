// Waiting for a condition with a deadline, so a hung peer fails a test instead of
// hanging the suite.
#ifndef SUPPORT_DEADLINE_H_
#define SUPPORT_DEADLINE_H_

#include <functional>

namespace test {

// Polls |condition| until it holds or |timeoutMs| have passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs);

// |ms| times the factor in LAUNCHER_TEST_TIME_SCALE (1 when unset), which the test command
// sets where every program runs several times slower: for limits a test asserts itself.
unsigned long ScaledMs(unsigned long ms);

}  // namespace test

#endif  // SUPPORT_DEADLINE_H_
