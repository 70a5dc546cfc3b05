// Throughput and latency of the task runtime's message loops, measured side by side with raw
// IO completion packets in one run; prints one table.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "bench_process.h"

namespace {

using base::win::ScopedHandle;
using bench::Median;

const int kBurstSizes[] = {1, 100, 10000};
const int kTasksPerBurstSize[] = {2000, 10000, 20000};
const int kRoundTrips = 2000;
const int kDelaysMs[] = {1, 10, 50};
const int kDelayedSamples[] = {100, 50, 25};

// Each throughput figure is the median of this many runs, the three columns taking turns, so
// that other load on the machine falls on all of them alike.
const int kRepetitions = 3;

const int kReferenceCalls = 2000;

// Completion keys of the raw baseline.
const ULONG_PTR kTaskKey = 0;
const ULONG_PTR kLastOfBurstKey = 1;
const ULONG_PTR kExitKey = 2;

double NowMicroseconds() {
  static const double frequency = [] {
    LARGE_INTEGER value;
    ::QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart * 1e6 / frequency;
}

ScopedHandle NewPort() {
  return ScopedHandle(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
}

ULONG_PTR WaitForPacket(HANDLE port) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  ::GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, INFINITE);
  return key;
}

void PostPacket(HANDLE port, ULONG_PTR key) {
  ::PostQueuedCompletionStatus(port, 0, key, nullptr);
}

// A raw thread around a function, joined by its destructor.
template <typename Body>
class RawThread : public base::PlatformThread::Delegate {
 public:
  explicit RawThread(Body body) : body_(body) {
    base::PlatformThread::Create(0, this, &handle_);
  }
  ~RawThread() override { base::PlatformThread::Join(std::move(handle_)); }
  void ThreadMain() override { body_(); }

 private:
  Body body_;
  base::PlatformThreadHandle handle_;
};

template <typename Body>
RawThread<Body>* StartRawThread(Body body) {
  return new RawThread<Body>(body);
}

scoped_refptr<base::MessageLoopProxy> StartLoop(base::Thread* thread, MessageLoop::Type type) {
  thread->StartWithOptions(base::Thread::Options(type, 0));
  return thread->message_loop_proxy();
}

void EmptyTask() {}

void SignalTask(base::WaitableEvent* event) {
  event->Signal();
}

// Microseconds per task: bursts of |burst| empty tasks posted from this thread, each burst
// waited for until its last task has run.
double LoopBurst(MessageLoop::Type type, int burst, int total) {
  base::Thread thread("bench burst target");
  scoped_refptr<base::MessageLoopProxy> target = StartLoop(&thread, type);
  base::WaitableEvent burst_done(false, false);
  const base::Closure empty = base::Bind(&EmptyTask);
  const base::Closure last = base::Bind(&SignalTask, &burst_done);
  const int rounds = total / burst;
  const double start = NowMicroseconds();
  for (int round = 0; round < rounds; ++round) {
    for (int i = 1; i < burst; ++i)
      target->PostTask(FROM_HERE, empty);
    target->PostTask(FROM_HERE, last);
    burst_done.Wait();
  }
  return (NowMicroseconds() - start) / (rounds * burst);
}

// The same with one completion packet per task, consumed by another thread.
double RawBurst(int burst, int total) {
  ScopedHandle port = NewPort();
  base::WaitableEvent burst_done(false, false);
  HANDLE raw_port = port.Get();
  auto consumer = StartRawThread([raw_port, &burst_done] {
    for (;;) {
      ULONG_PTR key = WaitForPacket(raw_port);
      if (key == kExitKey)
        return;
      if (key == kLastOfBurstKey)
        burst_done.Signal();
    }
  });
  const int rounds = total / burst;
  const double start = NowMicroseconds();
  for (int round = 0; round < rounds; ++round) {
    for (int i = 1; i < burst; ++i)
      PostPacket(raw_port, kTaskKey);
    PostPacket(raw_port, kLastOfBurstKey);
    burst_done.Wait();
  }
  const double elapsed = NowMicroseconds() - start;
  PostPacket(raw_port, kExitKey);
  delete consumer;
  return elapsed / (rounds * burst);
}

struct PingPong {
  scoped_refptr<base::MessageLoopProxy> loops[2];
  int hops_left;
  base::WaitableEvent done{false, false};
};

void Bounce(PingPong* game, int next) {
  if (--game->hops_left == 0) {
    game->done.Signal();
    return;
  }
  game->loops[next]->PostTask(FROM_HERE, base::Bind(&Bounce, game, 1 - next));
}

// Microseconds per round trip of one task between two loops.
double LoopPingPong(MessageLoop::Type type) {
  base::Thread first("bench ping");
  base::Thread second("bench pong");
  PingPong game;
  game.loops[0] = StartLoop(&first, type);
  game.loops[1] = StartLoop(&second, type);
  game.hops_left = 2 * kRoundTrips;
  const double start = NowMicroseconds();
  game.loops[0]->PostTask(FROM_HERE, base::Bind(&Bounce, &game, 1));
  game.done.Wait();
  return (NowMicroseconds() - start) / kRoundTrips;
}

// The same with one packet bouncing between two threads' ports.
double RawPingPong() {
  ScopedHandle ports[2] = {NewPort(), NewPort()};
  HANDLE first = ports[0].Get();
  HANDLE second = ports[1].Get();
  base::WaitableEvent done(false, false);
  // The first player counts the hops and ends the game; the second answers until told to go.
  auto pong = StartRawThread([first, second] {
    while (WaitForPacket(second) != kExitKey)
      PostPacket(first, kTaskKey);
  });
  auto ping = StartRawThread([first, second, &done] {
    for (int hops_left = 2 * kRoundTrips - 1; hops_left > 0; hops_left -= 2) {
      WaitForPacket(first);
      if (hops_left > 1)
        PostPacket(second, kTaskKey);
    }
    done.Signal();
  });
  const double start = NowMicroseconds();
  PostPacket(second, kTaskKey);
  done.Wait();
  const double elapsed = NowMicroseconds() - start;
  PostPacket(second, kExitKey);
  delete ping;
  delete pong;
  return elapsed / kRoundTrips;
}

// Microseconds per call of the two port operations the IO loop's pump makes: posting a packet,
// and the zero-timeout poll it makes every turn, here of an empty port.
double PostPacketCost() {
  ScopedHandle port = NewPort();
  const double start = NowMicroseconds();
  for (int i = 0; i < kReferenceCalls; ++i)
    PostPacket(port.Get(), kTaskKey);
  return (NowMicroseconds() - start) / kReferenceCalls;
}

double EmptyPollCost() {
  ScopedHandle port = NewPort();
  const double start = NowMicroseconds();
  for (int i = 0; i < kReferenceCalls; ++i) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    ::GetQueuedCompletionStatus(port.Get(), &bytes, &key, &overlapped, 0);
  }
  return (NowMicroseconds() - start) / kReferenceCalls;
}

struct Lateness {
  double median_ms;
  double p99_ms;
};

void RecordRunTime(double* ran_at, base::WaitableEvent* done) {
  *ran_at = NowMicroseconds();
  done->Signal();
}

// How late delayed tasks of |delay_ms| run, one at a time, posted from another thread.
Lateness DelayedLateness(MessageLoop::Type type, int delay_ms, int samples) {
  base::Thread thread("bench timer");
  scoped_refptr<base::MessageLoopProxy> target = StartLoop(&thread, type);
  base::WaitableEvent done(false, false);
  std::vector<double> late_ms;
  for (int i = 0; i < samples; ++i) {
    double ran_at = 0;
    const double posted_at = NowMicroseconds();
    target->PostDelayedTask(FROM_HERE, base::Bind(&RecordRunTime, &ran_at, &done), delay_ms);
    done.Wait();
    late_ms.push_back((ran_at - posted_at) / 1000.0 - delay_ms);
  }
  std::sort(late_ms.begin(), late_ms.end());
  const size_t p99 = std::min(late_ms.size() - 1, late_ms.size() * 99 / 100);
  return Lateness{late_ms[late_ms.size() / 2], late_ms[p99]};
}

void PrintRule() {
  std::printf("%s\n", std::string(78, '-').c_str());
}

// One table row of three figures measured in turns.
void PrintThroughputRow(const char* label,
                        const std::function<double()>& on_default,
                        const std::function<double()>& on_io,
                        const std::function<double()>& raw) {
  std::vector<double> figures[3];
  for (int i = 0; i < kRepetitions; ++i) {
    figures[0].push_back(on_default());
    figures[1].push_back(on_io());
    figures[2].push_back(raw());
  }
  std::printf("%-34s %14.3f %14.3f %14.3f\n", label, Median(figures[0]), Median(figures[1]),
              Median(figures[2]));
}

}  // namespace

int main() {
  std::printf("Task runtime benchmark: cross-thread posting, lower is better (median of %d)\n",
              kRepetitions);
  PrintRule();
  std::printf("%-34s %14s %14s %14s\n", "case", "default loop", "IO loop", "raw packets");
  PrintRule();
  for (size_t i = 0; i < sizeof(kBurstSizes) / sizeof(kBurstSizes[0]); ++i) {
    const int burst = kBurstSizes[i];
    const int total = kTasksPerBurstSize[i];
    char label[64];
    std::snprintf(label, sizeof(label), "burst %d: us per task", burst);
    PrintThroughputRow(
        label, [=] { return LoopBurst(MessageLoop::TYPE_DEFAULT, burst, total); },
        [=] { return LoopBurst(MessageLoop::TYPE_IO, burst, total); },
        [=] { return RawBurst(burst, total); });
  }
  PrintThroughputRow(
      "ping-pong: us per round trip", [] { return LoopPingPong(MessageLoop::TYPE_DEFAULT); },
      [] { return LoopPingPong(MessageLoop::TYPE_IO); }, [] { return RawPingPong(); });
  PrintRule();
  std::printf("%-34s %14s %14s %14.3f\n", "reference: one packet post, us", "", "",
              PostPacketCost());
  std::printf("%-34s %14s %14s %14.3f\n", "reference: empty port poll, us", "", "",
              EmptyPollCost());
  PrintRule();
  std::printf("%-34s %14s %14s\n", "delayed task lateness, ms", "default loop", "IO loop");
  std::printf("%-34s %14s %14s\n", "", "median / p99", "median / p99");
  PrintRule();
  for (size_t i = 0; i < sizeof(kDelaysMs) / sizeof(kDelaysMs[0]); ++i) {
    const Lateness on_default =
        DelayedLateness(MessageLoop::TYPE_DEFAULT, kDelaysMs[i], kDelayedSamples[i]);
    const Lateness on_io = DelayedLateness(MessageLoop::TYPE_IO, kDelaysMs[i], kDelayedSamples[i]);
    char label[64];
    std::snprintf(label, sizeof(label), "delay %d ms (%d samples)", kDelaysMs[i],
                  kDelayedSamples[i]);
    std::printf("%-34s %6.2f /%6.2f %6.2f /%6.2f\n", label, on_default.median_ms,
                on_default.p99_ms, on_io.median_ms, on_io.p99_ms);
  }
  PrintRule();
  return 0;
}
