// The broker's churn soak: one server process (churn_peer.exe serve) greets every client on
// connect and answers fences, while client processes (churn_peer.exe client) connect, send
// 1 B to 1 MiB to the server and to one client's id, up to 64 KiB to every client, and shut
// down, on several threads each; processes are killed outright and replaced, and the server
// serves and stops a second name. Then everything is accounted for.
//
// Commands to both kinds of process: "go", "stop", then "settle <open clients>" (server) or
// "finish" (client), then "end" (server). Answers: "ready <server id | resident ids>",
// "stopped", "settled", "finished", "shutdown" with 1 or 0. Records, one a line, written
// when a host is done (the server's at "end"):
//   S <sender> <seq> <target> <size>    sent       R <receiver> <source> <seq> <size>  whole
//   B <receiver> <source> <size>        corrupt    H <id> <connect ms> <greeted> <fenced> <shut down>
//   G <client> <server sends before its greeting>  F <client> <server sends before its fence>
//   D <client>  status 2                V <served> <stopped>  the second name
//   M <handles> <after> <heap bytes> <after> <peak committed>  N <ms>  a connect returned null
//   E <host>    IPC_Send returned false
#ifndef SUPPORT_IPC_CHURN_SOAK_H_
#define SUPPORT_IPC_CHURN_SOAK_H_

#include <cstddef>
#include <string>
#include <vector>

namespace churn {

// The first byte of every message.
const char kRegular = 'm';
const char kGreeting = 'g';
const char kFence = 'f';  // to the server, which answers with kFenceReply
const char kFenceReply = 'r';

const size_t kMaxMessage = size_t{1} << 20;
const unsigned long kConnectBudgetMs = 10000;
// How long a host waits for its greeting or a fence's answer, and the server for departures
// and its resources to settle.
const unsigned long kReplyMs = 10000;
// How long a resident's fence at "stop" waits: until then, the server may still be writing a
// backlog of what everybody sent.
const unsigned long kDrainMs = 4 * kReplyMs;
// Each sending thread waits up to this long between two sends.
const unsigned kPaceMs = 40;
// What the server's heaps may hold more once everything is gone: what the runtimes allocate
// once and keep.
const size_t kHeapSlack = size_t{1} << 20;

}  // namespace churn

namespace test {

struct ChurnOptions {
  unsigned long seed;
  unsigned long ms;  // of churn, before the accounting
  int processes;
  int threads;  // per client process; the first holds its host all along
  bool churn;   // false: every thread holds one host; nothing is killed or served again
};

struct ChurnFigures {
  double seconds = 0;
  int delivered = 0;  // messages received
  int connects = 0;   // reported to the server as status 0
  int lost = 0;       // owed and never received
  int kills = 0;
  size_t peak_committed = 0;  // of the server
};

// The seed in CHURN_SOAK_SEED, else a random one; the length in CHURN_SOAK_MS, else
// |default_ms|.
unsigned long ChurnSeed();
unsigned long ChurnMs(unsigned long default_ms);

// Runs the soak; each failure in |failures| names what failed and where.
ChurnFigures RunChurnSoak(const ChurnOptions& options, std::vector<std::string>* failures);

}  // namespace test

#endif  // SUPPORT_IPC_CHURN_SOAK_H_
