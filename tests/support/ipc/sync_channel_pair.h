// Sync channels of one process joined by real pipes, for the sync channel and sync filter
// tests: the test thread's end (the server) and a peer end on a thread of its own, each with
// its own IO thread, and listeners that answer requests by script.
#ifndef SUPPORT_IPC_SYNC_CHANNEL_PAIR_H_
#define SUPPORT_IPC_SYNC_CHANNEL_PAIR_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/memory/scoped_ptr.h"
#include "base/message_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_sync_channel.h"
#include "ipc/ipc_sync_message.h"
#include "support/background_thread.h"

namespace sync_test {

const int32_t kRoute = 7;

// Requests of the tests; what each end does with them is scripted per test.
enum MessageTypes : uint32_t {
  kDoubleType = 100,   // int in, twice the input out
  kIgnoreType,         // never answered
  kErrorType,          // answered with an error reply
  kMalformedType,      // answered with a reply that carries no output
  kAskBackType,        // the receiver asks a question back before it answers
  kQuestionType,       // the question asked back
  kOuterType,
  kInnerType,
  kCloseType,          // the receiver closes its channel
  kNotifyType,         // an asynchronous message
};

// A request with one int input and one int output, read into |*output|.
IPC::SyncMessage* NewIntRequest(uint32_t type, int input, int* output);

// The int input of such a request; -1 when it has none.
int IntInput(const IPC::Message& request);

IPC::Message* NewIntReply(const IPC::Message& request, int value);
IPC::Message* NewErrorReply(const IPC::Message& request);

// An asynchronous message.
IPC::Message* NewNotification(int value);

// What happened, in order, from any thread.
class EventLog {
 public:
  void Add(const std::string& event);
  std::vector<std::string> events() const;

 private:
  mutable base::Lock lock_;
  std::vector<std::string> events_;  // guarded by lock_
};

// Records every message and runs the handler scripted for its type. Handlers are set before
// any traffic; messages arrive on the listener thread of its channel, the record is read from
// any thread.
class ScriptedListener : public IPC::Channel::Listener {
 public:
  typedef std::function<void(const IPC::Message&)> Handler;

  ScriptedListener();

  void On(uint32_t type, const Handler& handler) { handlers_[type] = handler; }

  // The channel replies go out on.
  void set_sender(IPC::Message::Sender* sender) { sender_ = sender; }
  IPC::Message::Sender* sender() const { return sender_; }

  // Sends an int reply to |request|.
  void Reply(const IPC::Message& request, int value);

  bool OnMessageReceived(const IPC::Message& message) override;
  void OnChannelError() override;

  std::vector<uint32_t> received() const;
  int errors() const;

  // From a thread other than the listener's: waits up to the deadline for a message of
  // |type| (|count| of them in all), or for a channel error.
  bool WaitForMessage(uint32_t type, size_t count = 1);
  bool WaitForError();

 private:
  bool WaitFor(const std::function<bool()>& done);

  std::map<uint32_t, Handler> handlers_;
  IPC::Message::Sender* sender_;
  mutable base::Lock lock_;
  std::vector<uint32_t> received_;  // guarded by lock_
  int errors_;                      // guarded by lock_
  base::WaitableEvent changed_;     // auto reset
};

struct Endpoint {
  ScriptedListener listener;
  scoped_ptr<IPC::SyncChannel> channel;
};

struct ChannelPair {
  Endpoint local;   // on the test thread
  Endpoint remote;  // on the peer thread
};

// The default pair is connected before each test. Every blocked send is released by the
// watchdog once the deadline passes (which fails the test), and by the fixture's end.
class SyncChannelPairTest : public testing::Test {
 protected:
  SyncChannelPairTest();
  ~SyncChannelPairTest() override;

  // Another pair, connected over a new pipe, closed with the fixture.
  ChannelPair* AddPair();

  // Runs |body| on the peer thread and waits up to the deadline for it.
  bool RunOnPeer(const std::function<void()>& body);

  // Runs this thread's loop until |done| holds; false when the deadline passed first.
  bool RunUntil(const std::function<bool()>& done);

  // Waits until the tasks queued on |thread| so far have run.
  bool Flush(base::Thread* thread);

  IPC::SyncChannel* local_channel() { return pair_->local.channel.get(); }
  IPC::SyncChannel* remote_channel() { return pair_->remote.channel.get(); }
  ScriptedListener& local_listener() { return pair_->local.listener; }
  ScriptedListener& remote_listener() { return pair_->remote.listener; }

  MessageLoop loop_;
  base::Thread local_io_;
  base::Thread remote_io_;
  base::Thread peer_;
  base::WaitableEvent local_shutdown_;
  base::WaitableEvent remote_shutdown_;

 private:
  void Connect(ChannelPair* pair);
  void Watch();

  std::vector<std::unique_ptr<ChannelPair>> pairs_;
  ChannelPair* pair_;
  base::WaitableEvent test_done_;
  std::atomic<bool> watchdog_fired_;
  std::unique_ptr<test::BackgroundThread> watchdog_;
};

}  // namespace sync_test

#endif  // SUPPORT_IPC_SYNC_CHANNEL_PAIR_H_
