// The broker under churn, as applications use it: a server that greets every client and
// answers fences, client processes connecting, sending 1 B to 1 MiB every way and shutting
// down on several threads, processes killed outright, a second name served and stopped; then
// every message, greeting, departure, connect time and the server's resources are accounted
// for. The run prints its seed; CHURN_SOAK_SEED replays it, CHURN_SOAK_MS sets its length.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ipc/churn_soak.h"

namespace {

const unsigned long kChurnMs = 30000;

TEST(IPC_ChurnSoakTest, EveryMessageGreetingAndDepartureIsAccountedForAndTheServerRecovers) {
  const test::ChurnOptions options = {test::ChurnSeed(), test::ChurnMs(kChurnMs), 6, 3, true};
  printf("churn soak seed %lu (CHURN_SOAK_SEED=%lu replays it), %lu ms\n", options.seed,
         options.seed, options.ms);
  std::vector<std::string> failures;
  const test::ChurnFigures figures = test::RunChurnSoak(options, &failures);
  printf("%.1f s: %d messages received, %d connects, %d processes killed, %d lost, peak "
         "committed %zu KiB\n",
         figures.seconds, figures.delivered, figures.connects, figures.kills, figures.lost,
         figures.peak_committed >> 10);
  for (const std::string& failure : failures)
    ADD_FAILURE() << "seed " << options.seed << ": " << failure;
}

}  // namespace
