// Counting the process's open kernel handles, for tests that check that nothing leaks one.
#ifndef SUPPORT_HANDLE_COUNT_H_
#define SUPPORT_HANDLE_COUNT_H_

namespace test {

// The number of open handles of the calling process, found by probing each handle value
// from 4 upward in steps of 4. GetProcessHandleCount is no use: Wine answers 0. Compare
// two counts taken while no other thread of the test opens or closes handles.
int CountOpenHandles();

// Handles a runtime or Wine creates once, on the first use of a path, and keeps: counts
// taken around hundreds of repetitions may differ by this much, while a leak grows with the
// repetitions.
const int kHandlesCreatedOnce = 4;

}  // namespace test

#endif  // SUPPORT_HANDLE_COUNT_H_
