// Throughput of the named-pipe channel between two processes, and the round trip of a
// synchronous request with an int reply, each measured side by side with a raw overlapped
// named pipe of the same settings in one run; prints two tables.
// The program is both ends: run without arguments it receives (and asks), and it starts itself
// as the sending process ("--send raw|channel <channel id> <payload bytes> <count>") or as
// the answering one ("--answer raw|channel <channel id>").
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/message_loop_win.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "bench_process.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_channel.h"
#include "ipc/ipc_sync_message.h"
#include "support/raw_pipe.h"

namespace {

using base::win::ScopedHandle;
using test::RawPipe;
using bench::kWorkloads;
using bench::Median;
using bench::Workload;
using bench::NowSeconds;

const size_t kHeaderSize = IPC::Message::kHeaderSize;

// Each figure is the median of this many runs, raw and channel taking turns.
const int kRepetitions = 3;

// A sender that has not finished by then is taken as hung.
const DWORD kRunTimeoutMs = 120000;

// Message types of a measured run: the clock starts at the marker.
const uint32_t kStartType = 1;
const uint32_t kDataType = 2;

// The arguments that make this program the sender of one run.
std::string SenderArguments(const char* kind, const std::string& channel_id,
                            const Workload& workload) {
  return std::string("--send ") + kind + " " + channel_id + " " +
         std::to_string(workload.payload) + " " + std::to_string(workload.count);
}

//------------------------------------------------------------------------------------------
// The raw baseline: the same pipe settings and the same pattern of IO as the channel (one
// overlapped write per message, one in flight; 4096-byte overlapped reads), all completing
// through a completion port.

// The client end of a raw run; not open on failure.
bool OpenRaw(const std::string& channel_id, RawPipe* pipe) {
  return pipe->Open(IPC::Channel::PipePath(channel_id)) && pipe->CompleteThroughPort();
}

// The server end of a raw run: creates the pipe, starts the peer process with
// |peer_arguments| and waits for it to connect.
bool ServeRaw(const std::string& channel_id, const std::string& peer_arguments, RawPipe* pipe,
              ScopedHandle* peer) {
  if (!pipe->Listen(IPC::Channel::PipePath(channel_id)) || !pipe->CompleteThroughPort())
    return false;
  *peer = bench::StartSelf(peer_arguments);
  return pipe->AcceptClient();
}

int RunRawSender(const std::string& channel_id, size_t payload, int count) {
  RawPipe pipe(kRunTimeoutMs);
  if (!OpenRaw(channel_id, &pipe))
    return 1;
  std::vector<char> message(kHeaderSize + payload, 'r');
  for (int i = 0; i <= count; ++i) {
    if (!pipe.Write(message.data(), message.size()))
      return 1;
  }
  // Wait for the receiver to hang up, so that nothing is lost.
  char byte;
  pipe.ReadSome(&byte, 1);
  return 0;
}

// The first message's arrival starts the clock; answers the seconds until all have arrived.
double ReceiveRaw(const std::string& channel_id, const Workload& workload) {
  RawPipe pipe(kRunTimeoutMs);
  ScopedHandle sender;
  if (!ServeRaw(channel_id, SenderArguments("raw", channel_id, workload), &pipe, &sender))
    return -1;

  const size_t message_size = kHeaderSize + workload.payload;
  const size_t total = message_size * (workload.count + 1);
  char buffer[IPC::Channel::kReadBufferSize];
  size_t received = 0;
  double start = 0;
  while (received < total) {
    DWORD bytes = pipe.ReadSome(buffer, sizeof(buffer));
    if (bytes == 0)
      return -1;
    if (received < message_size && received + bytes >= message_size)
      start = NowSeconds();
    received += bytes;
  }
  double seconds = NowSeconds() - start;
  pipe.Close();
  WaitForSingleObject(sender.Get(), kRunTimeoutMs);
  return seconds;
}

//------------------------------------------------------------------------------------------
// The channel.

// Builds every message before the run, like the raw sender's ready buffer, and queues them
// all at once when connected; the channel writes them one by one.
class SendingListener : public IPC::Channel::Listener {
 public:
  SendingListener(size_t payload, int count) : channel_(nullptr) {
    std::string bytes(payload, 'c');
    for (int i = 0; i <= count; ++i) {
      IPC::Message* message = new IPC::Message(0, i == 0 ? kStartType : kDataType,
                                               IPC::Message::kPriorityNormal);
      message->WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
      messages_.push_back(message);
    }
  }
  void set_channel(IPC::Channel* channel) { channel_ = channel; }

  bool OnMessageReceived(const IPC::Message& /*message*/) override { return true; }

  void OnChannelConnected(int32_t /*peer_pid*/) override {
    for (IPC::Message* message : messages_)
      channel_->Send(message);
    messages_.clear();
  }

  void OnChannelError() override { MessageLoop::current()->Quit(); }

 private:
  std::vector<IPC::Message*> messages_;  // owned until sent
  IPC::Channel* channel_;
};

// Runs a client channel with |listener| on this thread until the loop quits.
template <class ChannelListener>
int RunClientChannel(const std::string& channel_id, ChannelListener* listener) {
  MessageLoopForIO loop;
  IPC::Channel channel(channel_id, IPC::Channel::kModeClient, listener);
  listener->set_channel(&channel);
  if (!channel.Connect())
    return 1;
  loop.Run();
  return 0;
}

int RunChannelSender(const std::string& channel_id, size_t payload, int count) {
  SendingListener listener(payload, count);
  return RunClientChannel(channel_id, &listener);
}

class CountingListener : public IPC::Channel::Listener {
 public:
  explicit CountingListener(int count) : count_(count), received_(0), start_(0), seconds_(-1) {}

  bool OnMessageReceived(const IPC::Message& message) override {
    if (message.type() == kStartType) {
      start_ = NowSeconds();
    } else if (++received_ == count_) {
      seconds_ = NowSeconds() - start_;
      MessageLoop::current()->Quit();
    }
    return true;
  }
  void OnChannelError() override { MessageLoop::current()->Quit(); }

  double seconds() const { return seconds_; }

 private:
  int count_;
  int received_;
  double start_;
  double seconds_;
};

double ReceiveChannel(const std::string& channel_id, const Workload& workload) {
  MessageLoopForIO loop;
  CountingListener listener(workload.count);
  double seconds = -1;
  {
    IPC::Channel channel(channel_id, IPC::Channel::kModeServer, &listener);
    if (!channel.Connect())
      return -1;
    ScopedHandle sender = bench::StartSelf(SenderArguments("channel", channel_id, workload));
    loop.Run();
    seconds = listener.seconds();
    channel.Close();
    WaitForSingleObject(sender.Get(), kRunTimeoutMs);
  }
  return seconds;
}

//------------------------------------------------------------------------------------------
// Round trips: a synchronous request with an int reply through a sync channel (listener
// thread, IO thread, the answering process's channel) against a raw ping-pong of the same
// bytes between the two processes' main threads.

const int kRoundTrips = 2000;
const int kWarmUpRoundTrips = 100;
const uint32_t kQueryType = 3;
const size_t kRequestSize = kHeaderSize + 4;  // the sync header
const size_t kReplySize = kHeaderSize + 8;    // the sync header and the int

// Answers every request until the asking end hangs up.
int RunRawAnswerer(const std::string& channel_id) {
  RawPipe pipe(kRunTimeoutMs);
  if (!OpenRaw(channel_id, &pipe))
    return 1;
  std::vector<char> request(kRequestSize);
  std::vector<char> reply(kReplySize, 'a');
  while (pipe.Read(request.data(), request.size()) && pipe.Write(reply.data(), reply.size())) {
  }
  return 0;
}

// Seconds per round trip, or -1.
double AskRaw(const std::string& channel_id) {
  RawPipe pipe(kRunTimeoutMs);
  ScopedHandle answerer;
  if (!ServeRaw(channel_id, "--answer raw " + channel_id, &pipe, &answerer))
    return -1;
  std::vector<char> request(kRequestSize, 'q');
  std::vector<char> reply(kReplySize);
  double start = 0;
  for (int i = 0; i < kWarmUpRoundTrips + kRoundTrips; ++i) {
    if (i == kWarmUpRoundTrips)
      start = NowSeconds();
    if (!pipe.Write(request.data(), request.size()) ||
        !pipe.Read(reply.data(), reply.size()))
      return -1;
  }
  double seconds = (NowSeconds() - start) / kRoundTrips;
  pipe.Close();
  WaitForSingleObject(answerer.Get(), kRunTimeoutMs);
  return seconds;
}

// Answers each request at once on the IO thread, as the broker's filters do.
class AnsweringListener : public IPC::Channel::Listener {
 public:
  AnsweringListener() : channel_(nullptr) {}
  void set_channel(IPC::Channel* channel) { channel_ = channel; }

  bool OnMessageReceived(const IPC::Message& request) override {
    IPC::Message* reply = IPC::SyncMessage::GenerateReply(&request);
    reply->WriteInt(IPC::SyncMessage::GetMessageId(request));
    channel_->Send(reply);
    return true;
  }
  void OnChannelError() override { MessageLoop::current()->Quit(); }

 private:
  IPC::Channel* channel_;
};

int RunChannelAnswerer(const std::string& channel_id) {
  AnsweringListener listener;
  return RunClientChannel(channel_id, &listener);
}

// The asking end's listener: nothing but replies comes in, and the channel takes those.
class IdleListener : public IPC::Channel::Listener {
 public:
  bool OnMessageReceived(const IPC::Message& /*message*/) override { return true; }
};

// Seconds per round trip, or -1.
double AskSyncChannel(const std::string& channel_id) {
  MessageLoop loop;
  base::Thread io_thread("ipc-bench-io");
  if (!io_thread.StartWithOptions(base::Thread::Options(MessageLoop::TYPE_IO, 0)))
    return -1;
  base::WaitableEvent shutdown(true, false);
  IdleListener listener;
  double seconds = -1;
  {
    IPC::SyncChannel channel(channel_id, IPC::Channel::kModeServer, &listener,
                             io_thread.message_loop_proxy().get(), true, &shutdown);
    ScopedHandle answerer = bench::StartSelf("--answer channel " + channel_id);
    bool answered = answerer.IsValid();
    double start = 0;
    for (int i = 0; answered && i < kWarmUpRoundTrips + kRoundTrips; ++i) {
      if (i == kWarmUpRoundTrips)
        start = NowSeconds();
      int answer = 0;
      answered = channel.SendWithTimeout(
          new IPC::SyncMessage(0, kQueryType, IPC::Message::kPriorityNormal,
                               new IPC::ParamDeserializer<Tuple1<int&>>(MakeRefTuple(answer))),
          kRunTimeoutMs);
    }
    if (answered)
      seconds = (NowSeconds() - start) / kRoundTrips;
    channel.Close();
    WaitForSingleObject(answerer.Get(), kRunTimeoutMs);
  }
  io_thread.Stop();
  return seconds;
}

//------------------------------------------------------------------------------------------

std::string NextChannelId() {
  static int serial = 0;
  return "ipc-bench-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
}

void RunBenchmarks() {
  printf("Named-pipe channel against a raw overlapped pipe (byte mode, 4096-byte buffers),\n"
         "two processes, median of %d runs\n\n", kRepetitions);
  printf("| message payload | count | raw msg/s | channel msg/s | raw MB/s | channel MB/s |"
         " channel/raw |\n");
  printf("|---|---|---|---|---|---|---|\n");
  for (const Workload& workload : kWorkloads) {
    std::vector<double> raw, channel;
    for (int i = 0; i < kRepetitions; ++i) {
      raw.push_back(ReceiveRaw(NextChannelId(), workload));
      channel.push_back(ReceiveChannel(NextChannelId(), workload));
    }
    double raw_seconds = Median(raw);
    double channel_seconds = Median(channel);
    if (raw_seconds <= 0 || channel_seconds <= 0) {
      printf("| %s | %d | failed | | | | |\n", workload.label, workload.count);
      continue;
    }
    double megabytes = workload.payload * static_cast<double>(workload.count) / 1e6;
    printf("| %s | %d | %.0f | %.0f | %.1f | %.1f | %.0f %% |\n", workload.label,
           workload.count, workload.count / raw_seconds, workload.count / channel_seconds,
           megabytes / raw_seconds, megabytes / channel_seconds,
           100.0 * raw_seconds / channel_seconds);
    fflush(stdout);
  }

  printf("\nSynchronous request with an int reply against a raw ping-pong of the same bytes\n"
         "(%u-byte request, %u-byte reply), %d round trips, median of %d runs\n\n",
         static_cast<unsigned>(kRequestSize), static_cast<unsigned>(kReplySize), kRoundTrips,
         kRepetitions);
  printf("| exchange | raw round trip (us) | sync channel round trip (us) | sync/raw |\n");
  printf("|---|---|---|---|\n");
  std::vector<double> raw, sync;
  for (int i = 0; i < kRepetitions; ++i) {
    raw.push_back(AskRaw(NextChannelId()));
    sync.push_back(AskSyncChannel(NextChannelId()));
  }
  double raw_seconds = Median(raw);
  double sync_seconds = Median(sync);
  if (raw_seconds <= 0 || sync_seconds <= 0)
    printf("| int reply | failed | | |\n");
  else
    printf("| int reply | %.1f | %.1f | %.2f x |\n", raw_seconds * 1e6, sync_seconds * 1e6,
           sync_seconds / raw_seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--send") {
    std::string kind = argv[2];
    size_t payload = static_cast<size_t>(atoi(argv[4]));
    int count = atoi(argv[5]);
    return kind == "raw" ? RunRawSender(argv[3], payload, count)
                         : RunChannelSender(argv[3], payload, count);
  }
  if (argc == 4 && std::string(argv[1]) == "--answer")
    return std::string(argv[2]) == "raw" ? RunRawAnswerer(argv[3]) : RunChannelAnswerer(argv[3]);
  RunBenchmarks();
  return 0;
}
