// The channel proxy between a listener thread and an IPC thread: the order guarantees, the
// filters, closing and CloseWait's bound.
#include "ipc/ipc_channel_proxy.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "base/time.h"
#include "support/deadline.h"
#include "support/handle_count.h"
#include "support/ipc/channel_peer.h"
#include "support/loop_runner.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace IPC {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const uint32_t kConsumedType = 29;

std::string ConnectedEntry(const char* who, int32_t pid) {
  return std::string(who) + " connected " + std::to_string(pid);
}

std::string OwnPidEntry(const char* who) {
  return ConnectedEntry(who, static_cast<int32_t>(GetCurrentProcessId()));
}

// What listeners and filters saw, in the order they saw it, across both threads.
class EventLog {
 public:
  void Add(const std::string& entry) {
    base::AutoLock lock(lock_);
    entries_.push_back(entry);
  }
  std::vector<std::string> entries() const {
    base::AutoLock lock(lock_);
    return entries_;
  }
  size_t count(const std::string& entry) const {
    base::AutoLock lock(lock_);
    size_t n = 0;
    for (const std::string& e : entries_)
      n += e == entry;
    return n;
  }

 private:
  mutable base::Lock lock_;
  std::vector<std::string> entries_;  // guarded by lock_
};

// Logs every call on the listener thread and ends the loop's run, so that RunLoopUntil looks
// again.
class LoggingListener : public Channel::Listener {
 public:
  LoggingListener(const char* name, EventLog* log) : name_(name), log_(log) {}

  bool OnMessageReceived(const Message& message) override {
    Log("message " + std::to_string(message.type()));
    return true;
  }
  void OnChannelConnected(int32_t peer_pid) override {
    Log("connected " + std::to_string(peer_pid));
  }
  void OnChannelError() override { Log("error"); }

 private:
  void Log(const std::string& what) {
    log_->Add(std::string(name_) + " " + what);
    MessageLoop::current()->Quit();
  }

  const char* name_;
  EventLog* log_;
};

// Logs every call on the IPC thread, consumes messages of |consumed_type|, and wakes the
// listener thread after each call.
class LoggingFilter : public ChannelProxy::MessageFilter {
 public:
  LoggingFilter(const char* name, EventLog* log, uint32_t consumed_type = 0)
      : name_(name), log_(log), consumed_type_(consumed_type),
        listener_loop_(base::MessageLoopProxy::current()) {}

  void OnFilterAdded(Channel* /*channel*/) override { Log("added"); }
  void OnFilterRemoved() override { Log("removed"); }
  void OnChannelConnected(int32_t peer_pid) override {
    Log("connected " + std::to_string(peer_pid));
  }
  void OnChannelError() override { Log("error"); }
  void OnChannelClosing() override { Log("closing"); }
  bool OnMessageReceived(const Message& message) override {
    Log("message " + std::to_string(message.type()));
    return message.type() == consumed_type_;
  }

 protected:
  ~LoggingFilter() override {}

 private:
  void Log(const std::string& what) {
    log_->Add(std::string(name_) + " " + what);
    listener_loop_->PostTask(FROM_HERE, MessageLoop::QuitClosure());
  }

  const char* name_;
  EventLog* log_;
  uint32_t consumed_type_;
  scoped_refptr<base::MessageLoopProxy> listener_loop_;
};

// Counts how its last reference ends it.
class DestructCountingFilter : public ChannelProxy::MessageFilter {
 public:
  explicit DestructCountingFilter(int* destructs) : destructs_(destructs) {}
  void OnDestruct() const override {
    ++*destructs_;
    delete this;
  }

 private:
  ~DestructCountingFilter() override {}
  int* destructs_;
};

class CountingMessage : public Message {
 public:
  explicit CountingMessage(int* deletes)
      : Message(0, channel_peer::kPatternType, kPriorityNormal), deletes_(deletes) {}
  ~CountingMessage() override { ++*deletes_; }

 private:
  int* deletes_;
};

void BlockUntilReleased(base::WaitableEvent* release) {
  release->TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs));
}

Message* NewMessage(uint32_t type) {
  return new Message(0, type, Message::kPriorityNormal);
}

// A server proxy whose messages can also be delivered straight on the listener thread, the
// way a sync channel dispatches the requests it receives while blocked.
class DirectDeliveryProxy : public ChannelProxy {
 public:
  DirectDeliveryProxy(const std::string& id, Channel::Listener* listener,
                      base::MessageLoopProxy* ipc_thread)
      : ChannelProxy(new DeliveringContext(listener, ipc_thread)) {
    Init(id, Channel::kModeServer, true);
  }

  void DeliverNow(const Message& message) {
    static_cast<DeliveringContext*>(context())->Deliver(message);
  }

 private:
  class DeliveringContext : public Context {
   public:
    DeliveringContext(Channel::Listener* listener, base::MessageLoopProxy* ipc_thread)
        : Context(listener, ipc_thread) {}
    void Deliver(const Message& message) { DeliverMessage(message); }

   private:
    ~DeliveringContext() override {}
  };
};

class ChannelProxyTest : public testing::Test {
 protected:
  ChannelProxyTest() : io_thread_("channel-proxy-test-io") {
    io_thread_.StartWithOptions(base::Thread::Options(MessageLoop::TYPE_IO, 0));
  }
  ~ChannelProxyTest() override {
    // The proxies close on the IPC thread, so it stops after them.
    server_.reset();
    client_.reset();
    io_thread_.Stop();
  }

  base::MessageLoopProxy* ipc() { return io_thread_.message_loop_proxy().get(); }

  // A server proxy "server" and a client proxy "client" for a fresh name, both logging to
  // log_. Filters added before they connect go to |server_filter|.
  void OpenPair(ChannelProxy::MessageFilter* server_filter = nullptr) {
    id_ = test::UniqueName("proxy-");
    server_.reset(new ChannelProxy(id_, Channel::kModeServer, &server_listener_, ipc()));
    if (server_filter)
      server_->AddFilter(server_filter);
    client_.reset(new ChannelProxy(id_, Channel::kModeClient, &client_listener_, ipc()));
  }

  // Runs this thread's loop until |entry| has been logged.
  bool WaitForLog(const std::string& entry) {
    return test::RunLoopUntil([&] { return log_.count(entry) > 0; });
  }

  // Waits, without running this thread's loop, until a filter has logged |entry| and the
  // IPC thread has finished that call, so that what it posted here is queued but not run.
  void WaitForFilterLog(const std::string& entry) {
    ASSERT_TRUE(test::WaitUntil([&] { return log_.count(entry) > 0; }, test::kDeadlineMs));
    ASSERT_EQ(1u, log_.count(entry));
    WaitForIpcThread();
  }

  // The entries of one listener or filter.
  std::vector<std::string> EntriesOf(const std::string& name) const {
    std::vector<std::string> entries;
    for (const std::string& entry : log_.entries()) {
      if (entry.compare(0, name.size() + 1, name + " ") == 0)
        entries.push_back(entry);
    }
    return entries;
  }

  // Blocks this thread until the IPC thread has run every task posted to it so far, so
  // that what it posts back is queued here but not yet run.
  void WaitForIpcThread() {
    base::WaitableEvent done(true, false);
    ipc()->PostTask(FROM_HERE, base::Bind(&base::WaitableEvent::Signal, base::Unretained(&done)));
    ASSERT_TRUE(done.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs)));
  }

  MessageLoop loop_;
  base::Thread io_thread_;
  EventLog log_;
  LoggingListener server_listener_{"server", &log_};
  LoggingListener client_listener_{"client", &log_};
  std::string id_;
  scoped_ptr<ChannelProxy> server_;
  scoped_ptr<ChannelProxy> client_;
};

// Ordering --------------------------------------------------------------------------------------

TEST_F(ChannelProxyTest, MessageDeliveredBeforeTheConnectedTaskRanFollowsOneConnectedCall) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  id_ = test::UniqueName("direct-");
  DirectDeliveryProxy server(id_, &server_listener_, ipc());
  server.AddFilter(filter.get());
  client_.reset(new ChannelProxy(id_, Channel::kModeClient, &client_listener_, ipc()));
  // The connected delivery is queued here but has not run.
  WaitForFilterLog(OwnPidEntry("filter"));
  server.DeliverNow(Message(0, 9, Message::kPriorityNormal));
  EXPECT_THAT(EntriesOf("server"), ElementsAre(OwnPidEntry("server"), "server message 9"));

  test::RunLoopFor(50);
  EXPECT_THAT(EntriesOf("server"), ElementsAre(OwnPidEntry("server"), "server message 9"));
  EXPECT_EQ(static_cast<int32_t>(GetCurrentProcessId()), server.peer_pid());
  server.Close();
}

TEST_F(ChannelProxyTest, MessageQueuedBeforeTheConnectedDeliveryFollowsOneConnectedCall) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  client_->Send(NewMessage(7));
  // Both deliveries wait in this thread's queue before either has run.
  WaitForFilterLog("filter message 7");
  ASSERT_TRUE(WaitForLog("server message 7"));
  EXPECT_THAT(EntriesOf("server"), ElementsAre(OwnPidEntry("server"), "server message 7"));
}

TEST_F(ChannelProxyTest, SendsArriveInTheOrderOfSend) {
  OpenPair();
  for (uint32_t type = 1; type <= 100; ++type)
    client_->Send(NewMessage(type));
  ASSERT_TRUE(WaitForLog("server message 100"));
  std::vector<std::string> expected = {OwnPidEntry("server")};
  for (uint32_t type = 1; type <= 100; ++type)
    expected.push_back("server message " + std::to_string(type));
  EXPECT_EQ(expected, EntriesOf("server"));
}

// Filters ---------------------------------------------------------------------------------------

TEST_F(ChannelProxyTest, ConsumingFilterHidesItsTypeFromLaterFiltersAndTheListener) {
  scoped_refptr<LoggingFilter> first(new LoggingFilter("first", &log_, kConsumedType));
  scoped_refptr<LoggingFilter> second(new LoggingFilter("second", &log_));
  OpenPair(first.get());
  server_->AddFilter(second.get());
  client_->Send(NewMessage(kConsumedType));
  client_->Send(NewMessage(30));
  ASSERT_TRUE(WaitForLog("server message 30"));

  EXPECT_EQ(1u, log_.count("first message 29"));
  EXPECT_EQ(0u, log_.count("second message 29"));
  EXPECT_EQ(0u, log_.count("server message 29"));
  EXPECT_EQ(1u, log_.count("second message 30"));
}

TEST_F(ChannelProxyTest, FilterAddedAfterTheConnectionIsToldOnAdoption) {
  OpenPair();
  ASSERT_TRUE(WaitForLog(OwnPidEntry("server")));
  scoped_refptr<LoggingFilter> late(new LoggingFilter("late", &log_));
  server_->AddFilter(late.get());
  ASSERT_TRUE(WaitForLog(OwnPidEntry("late")));
  EXPECT_EQ(1u, log_.count("late added"));
  client_->Send(NewMessage(5));
  EXPECT_TRUE(WaitForLog("late message 5"));
}

TEST_F(ChannelProxyTest, RemovingAFilterThatWasNeverAddedDoesNothing) {
  scoped_refptr<LoggingFilter> added(new LoggingFilter("added", &log_));
  scoped_refptr<LoggingFilter> stranger(new LoggingFilter("stranger", &log_));
  OpenPair(added.get());
  server_->RemoveFilter(stranger.get());
  client_->Send(NewMessage(5));
  ASSERT_TRUE(WaitForLog("server message 5"));
  EXPECT_EQ(1u, log_.count("added message 5"));
  EXPECT_EQ(0u, log_.count("stranger removed"));

  server_->RemoveFilter(added.get());
  ASSERT_TRUE(WaitForLog("added removed"));
  client_->Send(NewMessage(6));
  ASSERT_TRUE(WaitForLog("server message 6"));
  EXPECT_EQ(0u, log_.count("added message 6"));
}

TEST_F(ChannelProxyTest, FilterDestructHookEndsTheFilterWhenTheLastReferenceGoes) {
  int destructs = 0;
  OpenPair(new DestructCountingFilter(&destructs));
  server_->Close();
  WaitForIpcThread();
  EXPECT_EQ(1, destructs);
}

TEST_F(ChannelProxyTest, ServerWhosePipeNameIsTakenReportsOneError) {
  OpenPair();
  LoggingListener second_listener("second", &log_);
  ChannelProxy second(id_, Channel::kModeServer, &second_listener, ipc());
  ASSERT_TRUE(WaitForLog("second error"));
  test::RunLoopFor(100);
  EXPECT_THAT(EntriesOf("second"), ElementsAre("second error"));
}

TEST_F(ChannelProxyTest, ChannelErrorReachesTheFiltersBeforeTheListener) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  ASSERT_TRUE(WaitForLog(OwnPidEntry("server")));
  client_.reset();
  ASSERT_TRUE(WaitForLog("server error"));
  std::vector<std::string> entries = log_.entries();
  std::vector<std::string>::iterator filter_error =
      std::find(entries.begin(), entries.end(), "filter error");
  EXPECT_LT(filter_error, std::find(entries.begin(), entries.end(), "server error"));
}

// Closing ---------------------------------------------------------------------------------------

TEST_F(ChannelProxyTest, ClosingTwiceClosesOnce) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  ASSERT_TRUE(WaitForLog(OwnPidEntry("server")));
  server_->Close();
  server_->Close();
  WaitForIpcThread();
  EXPECT_EQ(1u, log_.count("filter closing"));
  EXPECT_EQ(1u, log_.count("filter removed"));
  // The peer sees the pipe go.
  EXPECT_TRUE(WaitForLog("client error"));
}

TEST_F(ChannelProxyTest, CloseThenDestructionDropsQueuedDeliveries) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  client_->Send(NewMessage(1));
  client_->Send(NewMessage(2));
  WaitForFilterLog("filter message 2");
  server_->Close();
  server_.reset();
  test::RunLoopFor(100);
  EXPECT_THAT(EntriesOf("server"), IsEmpty());
}

TEST_F(ChannelProxyTest, SendAfterCloseIsDeletedOnTheIpcThread) {
  OpenPair();
  int deletes = 0;
  server_->Close();
  server_->Send(new CountingMessage(&deletes));
  WaitForIpcThread();
  EXPECT_EQ(1, deletes);
}

TEST_F(ChannelProxyTest, CloseWaitReturnsOnceTheIpcThreadHasClosed) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  server_->CloseWait();
  EXPECT_EQ(1u, log_.count("filter closing"));
}

TEST_F(ChannelProxyTest, CloseWaitGivesUpAfterFiveSeconds) {
  scoped_refptr<LoggingFilter> filter(new LoggingFilter("filter", &log_));
  OpenPair(filter.get());
  base::WaitableEvent release(true, false);
  // Keeps the IPC thread busy past the bound, and then lets it go.
  ipc()->PostTask(FROM_HERE, base::Bind(&BlockUntilReleased, &release));
  base::TimeTicks start = base::TimeTicks::Now();
  server_->CloseWait();
  int64_t waited_ms = (base::TimeTicks::Now() - start).InMilliseconds();
  EXPECT_GE(waited_ms, 4900);
  EXPECT_LT(waited_ms, 8000);
  EXPECT_EQ(0u, log_.count("filter closing"));

  release.Signal();
  WaitForIpcThread();
  EXPECT_EQ(1u, log_.count("filter closing"));
}

// Lifetime --------------------------------------------------------------------------------------

TEST(ChannelProxyLifetimeTest, IpcThreadThatEndsBeforeTheCloseTakesTheContextAndItsPipe) {
  MessageLoop loop;
  EventLog log;
  LoggingListener listener("server", &log);
  auto open_then_end_the_ipc_thread = [&listener](int* filter_destructs) {
    base::Thread io_thread("channel-proxy-lifetime-io");
    ASSERT_TRUE(io_thread.StartWithOptions(base::Thread::Options(MessageLoop::TYPE_IO, 0)));
    scoped_ptr<ChannelProxy> proxy(new ChannelProxy(test::UniqueName("lifetime-"),
                                                    Channel::kModeServer, &listener,
                                                    io_thread.message_loop_proxy().get()));
    proxy->AddFilter(new DestructCountingFilter(filter_destructs));
    // The open runs before the thread ends; the close is posted to a loop that is gone.
    io_thread.Stop();
  };
  int warm_up_destructs = 0;
  open_then_end_the_ipc_thread(&warm_up_destructs);  // lazily created runtime state
  int handles_before = test::CountOpenHandles();
  int filter_destructs = 0;
  open_then_end_the_ipc_thread(&filter_destructs);
  EXPECT_EQ(1, filter_destructs);
  EXPECT_EQ(handles_before, test::CountOpenHandles());
}

}  // namespace
}  // namespace IPC
