// What the benchmark programs share: a clock, the median, and starting the running program
// again as the other end of a measurement.
#ifndef BENCH_BENCH_PROCESS_H_
#define BENCH_BENCH_PROCESS_H_

#include <cstddef>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"

namespace bench {

// The payloads of the throughput measurements and how many messages each run sends.
struct Workload {
  const char* label;
  size_t payload;
  int count;
};

const Workload kWorkloads[] = {
    {"16 B", 16, 20000},
    {"4 KiB", 4096, 10000},
    {"1 MiB", 1 << 20, 64},
};

// Seconds on the performance counter.
double NowSeconds();

double Median(std::vector<double> values);

// Starts this program again with |arguments|; its process handle, invalid on failure.
base::win::ScopedHandle StartSelf(const std::string& arguments);

}  // namespace bench

#endif  // BENCH_BENCH_PROCESS_H_
