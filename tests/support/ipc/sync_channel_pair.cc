// Sync channel pairs in one process, their scripted listeners and the requests they trade.
#include "support/ipc/sync_channel_pair.h"

#include <algorithm>
#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/time.h"
#include "ipc/ipc_message_utils.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace sync_test {

namespace {

base::TimeDelta Deadline() {
  return base::TimeDelta::FromMilliseconds(test::kDeadlineMs);
}

void RunAndSignal(const std::function<void()>& body, base::WaitableEvent* done) {
  body();
  done->Signal();
}

}  // namespace

IPC::SyncMessage* NewIntRequest(uint32_t type, int input, int* output) {
  IPC::SyncMessage* request =
      new IPC::SyncMessage(kRoute, type, IPC::Message::kPriorityNormal,
                           new IPC::ParamDeserializer<Tuple1<int&>>(MakeRefTuple(*output)));
  request->WriteInt(input);
  return request;
}

int IntInput(const IPC::Message& request) {
  PickleIterator iter = IPC::SyncMessage::GetDataIterator(&request);
  int input = -1;
  iter.ReadInt(&input);
  return input;
}

IPC::Message* NewIntReply(const IPC::Message& request, int value) {
  IPC::Message* reply = IPC::SyncMessage::GenerateReply(&request);
  reply->WriteInt(value);
  return reply;
}

IPC::Message* NewErrorReply(const IPC::Message& request) {
  IPC::Message* reply = IPC::SyncMessage::GenerateReply(&request);
  reply->set_reply_error();
  return reply;
}

IPC::Message* NewNotification(int value) {
  IPC::Message* message = new IPC::Message(kRoute, kNotifyType, IPC::Message::kPriorityNormal);
  message->WriteInt(value);
  return message;
}

void EventLog::Add(const std::string& event) {
  base::AutoLock lock(lock_);
  events_.push_back(event);
}

std::vector<std::string> EventLog::events() const {
  base::AutoLock lock(lock_);
  return events_;
}

//------------------------------------------------------------------------------
// ScriptedListener

ScriptedListener::ScriptedListener() : sender_(nullptr), errors_(0), changed_(false, false) {}

void ScriptedListener::Reply(const IPC::Message& request, int value) {
  sender_->Send(NewIntReply(request, value));
}

bool ScriptedListener::OnMessageReceived(const IPC::Message& message) {
  {
    base::AutoLock lock(lock_);
    received_.push_back(message.type());
  }
  std::map<uint32_t, Handler>::const_iterator it = handlers_.find(message.type());
  if (it != handlers_.end())
    it->second(message);
  changed_.Signal();
  return true;
}

void ScriptedListener::OnChannelError() {
  {
    base::AutoLock lock(lock_);
    ++errors_;
  }
  changed_.Signal();
}

std::vector<uint32_t> ScriptedListener::received() const {
  base::AutoLock lock(lock_);
  return received_;
}

int ScriptedListener::errors() const {
  base::AutoLock lock(lock_);
  return errors_;
}

bool ScriptedListener::WaitFor(const std::function<bool()>& done) {
  base::TimeTicks end = base::TimeTicks::Now() + Deadline();
  while (!done()) {
    base::TimeDelta left = end - base::TimeTicks::Now();
    if (left <= base::TimeDelta())
      return false;
    changed_.TimedWait(left);
  }
  return true;
}

bool ScriptedListener::WaitForMessage(uint32_t type, size_t count) {
  return WaitFor([this, type, count] {
    std::vector<uint32_t> types = received();
    return static_cast<size_t>(std::count(types.begin(), types.end(), type)) >= count;
  });
}

bool ScriptedListener::WaitForError() {
  return WaitFor([this] { return errors() > 0; });
}

//------------------------------------------------------------------------------
// SyncChannelPairTest

SyncChannelPairTest::SyncChannelPairTest()
    : local_io_("sync-test-local-io"),
      remote_io_("sync-test-remote-io"),
      peer_("sync-test-peer"),
      local_shutdown_(true, false),
      remote_shutdown_(true, false),
      pair_(nullptr),
      test_done_(true, false),
      watchdog_fired_(false) {
  base::Thread::Options io_options(MessageLoop::TYPE_IO, 0);
  EXPECT_TRUE(local_io_.StartWithOptions(io_options));
  EXPECT_TRUE(remote_io_.StartWithOptions(io_options));
  EXPECT_TRUE(peer_.Start());
  watchdog_.reset(new test::BackgroundThread([this] { Watch(); }));
  pair_ = AddPair();
}

SyncChannelPairTest::~SyncChannelPairTest() {
  test_done_.Signal();
  watchdog_.reset();
  EXPECT_FALSE(watchdog_fired_) << "a send was still blocked at the deadline";
  // Releases the sends still blocked (a peer waiting for an answer that never comes), so
  // that the peer thread is free to close its channels.
  local_shutdown_.Signal();
  remote_shutdown_.Signal();
  for (std::unique_ptr<ChannelPair>& pair : pairs_)
    pair->local.channel.reset();
  EXPECT_TRUE(RunOnPeer([this] {
    for (std::unique_ptr<ChannelPair>& pair : pairs_)
      pair->remote.channel.reset();
  }));
  peer_.Stop();
  local_io_.Stop();
  remote_io_.Stop();
}

void SyncChannelPairTest::Watch() {
  if (test_done_.TimedWait(Deadline()))
    return;
  watchdog_fired_ = true;
  local_shutdown_.Signal();
  remote_shutdown_.Signal();
}

ChannelPair* SyncChannelPairTest::AddPair() {
  pairs_.emplace_back(new ChannelPair);
  Connect(pairs_.back().get());
  return pairs_.back().get();
}

void SyncChannelPairTest::Connect(ChannelPair* pair) {
  std::string id = test::UniqueName("sync-pair-");
  pair->local.channel.reset(new IPC::SyncChannel(id, IPC::Channel::kModeServer,
                                                 &pair->local.listener,
                                                 local_io_.message_loop_proxy().get(), true,
                                                 &local_shutdown_));
  pair->local.listener.set_sender(pair->local.channel.get());
  // The server's pipe exists once its constructor returns, so the client opens it at once.
  EXPECT_TRUE(RunOnPeer([this, pair, id] {
    pair->remote.channel.reset(new IPC::SyncChannel(id, IPC::Channel::kModeClient,
                                                    &pair->remote.listener,
                                                    remote_io_.message_loop_proxy().get(),
                                                    true, &remote_shutdown_));
    pair->remote.listener.set_sender(pair->remote.channel.get());
  }));
}

bool SyncChannelPairTest::RunOnPeer(const std::function<void()>& body) {
  base::WaitableEvent done(true, false);
  peer_.message_loop_proxy()->PostTask(FROM_HERE, base::Bind(&RunAndSignal, body, &done));
  return done.TimedWait(Deadline());
}

bool SyncChannelPairTest::RunUntil(const std::function<bool()>& done) {
  const int64_t kSliceMs = 5;
  base::TimeTicks end = base::TimeTicks::Now() + Deadline();
  while (!done()) {
    if (base::TimeTicks::Now() >= end)
      return false;
    loop_.PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(), kSliceMs);
    loop_.Run();
  }
  return true;
}

bool SyncChannelPairTest::Flush(base::Thread* thread) {
  base::WaitableEvent done(true, false);
  thread->message_loop_proxy()->PostTask(
      FROM_HERE, base::Bind(&base::WaitableEvent::Signal, base::Unretained(&done)));
  return done.TimedWait(Deadline());
}

}  // namespace sync_test
