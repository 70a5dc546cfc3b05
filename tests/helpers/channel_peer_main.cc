// The channel peer program: runs the script of its command line against one channel end and
// reports what it sees. The commands and the report lines are described in channel_peer.h.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <functional>
#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/scoped_ptr.h"
#include "base/message_loop_win.h"
#include "base/win/scoped_handle.h"
#include "ipc/internal/ipc_channel_win.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_message.h"
#include "support/ipc/channel_peer.h"

namespace {

void Report(const std::string& line) {
  printf("%s\n", line.c_str());
  fflush(stdout);
}

void OnLifetimeOver() {
  Report("timeout");
  exit(channel_peer::kTimeoutExitCode);
}

bool WriteAll(HANDLE pipe, const void* data, size_t size) {
  DWORD written = 0;
  return WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
}

// Runs the script against its channel. Every listener call is reported and ends the current
// run of the loop, so that an await looks again at what it waits for. IO completions are
// counted, so that the test can tell which messages one read delivered.
class ScriptRunner : public IPC::Channel::Listener, public MessageLoopForIO::IOObserver {
 public:
  ScriptRunner(const std::string& ready_event, int argc, char** argv)
      : ready_event_(ready_event), argc_(argc), argv_(argv), next_(0) {}

  int Run() {
    MessageLoopForIO::current()->AddIOObserver(this);
    while (next_ < argc_ && RunCommand(argv_[next_++])) {
    }
    MessageLoopForIO::current()->RemoveIOObserver(this);
    return 0;
  }

  bool OnMessageReceived(const IPC::Message& message) override {
    char line[128];
    snprintf(line, sizeof(line), channel_peer::kMessageReportFormat, message.type(),
             static_cast<unsigned>(message.payload_size()),
             channel_peer::Checksum(message.payload(), message.payload_size()), io_events_);
    Report(line);
    ++messages_;
    if (echo_)
      channel_->Send(new IPC::Message(message));
    MessageLoop::current()->Quit();
    return true;
  }

  void OnChannelConnected(int32_t peer_pid) override {
    Report("connected " + std::to_string(peer_pid));
    peer_pid_ = peer_pid;
    connected_ = true;
    MessageLoop::current()->Quit();
  }

  void OnChannelError() override {
    Report("error");
    failed_ = true;
    MessageLoop::current()->Quit();
  }

  void WillProcessIOEvent() override { ++io_events_; }
  void DidProcessIOEvent() override {}

 private:
  // False when the script ends here.
  bool RunCommand(const std::string& command) {
    if (command == "listen")
      return OpenChannel(IPC::Channel::kModeServer);
    if (command == "connect")
      return OpenChannel(IPC::Channel::kModeClient);
    if (command == "ready")
      return SignalReady();
    if (command == "echo")
      return StartEchoing();
    if (command == "send")
      return Send(channel_peer::NewPatternMessage(atoi(NextArgument())));
    if (command == "send-pid")
      return SendPeerPid();
    if (command == "close")
      return Close();
    if (command == "await-connected")
      return Await([this] { return connected_; });
    if (command == "await-messages") {
      int count = atoi(NextArgument());
      return Await([this, count] { return messages_ >= count; });
    }
    if (command == "await-error")
      return Await([this] { return failed_; });
    if (command == "raw-connect")
      return RawConnect(NextArgument());
    if (command == "raw-write-half")
      return RawWriteHalf(atoi(NextArgument()));
    if (command == "hang")
      return Hang();
    return BadScript();
  }

  bool BadScript() {
    Report("bad-script");
    return false;
  }

  const char* NextArgument() { return next_ < argc_ ? argv_[next_++] : ""; }

  bool OpenChannel(IPC::Channel::Mode mode) {
    channel_.reset(new IPC::Channel(NextArgument(), mode, this));
    if (channel_->Connect())
      return true;
    Report("connect-failed");
    return false;
  }

  bool SignalReady() {
    std::wstring name(ready_event_.begin(), ready_event_.end());
    base::win::ScopedHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    SetEvent(event.Get());
    return true;
  }

  bool StartEchoing() {
    echo_ = true;
    return true;
  }

  // Takes |message|.
  bool Send(IPC::Message* message) {
    scoped_ptr<IPC::Message> owned(message);
    if (!channel_)
      return BadScript();
    Report(channel_->Send(owned.release()) ? "send-result 1" : "send-result 0");
    return true;
  }

  bool SendPeerPid() {
    IPC::Message* message =
        new IPC::Message(0, channel_peer::kPeerPidType, IPC::Message::kPriorityNormal);
    message->WriteInt(peer_pid_);
    return Send(message);
  }

  bool Close() {
    if (!channel_)
      return BadScript();
    channel_->Close();
    Report("closed");
    return true;
  }

  // Runs the loop until |done| holds; false when the channel failed first.
  bool Await(const std::function<bool()>& done) {
    while (!done()) {
      if (failed_)
        return false;
      MessageLoop::current()->Run();
    }
    return true;
  }

  bool RawConnect(const std::string& channel_id) {
    int32_t secret = 0;
    std::wstring pipe_name = IPC::Channel::ChannelImpl::PipeNameFor(channel_id, &secret);
    raw_pipe_.Set(CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (!raw_pipe_.IsValid()) {
      Report("connect-failed");
      return false;
    }
    scoped_ptr<IPC::Message> hello(
        IPC::Message::CreateHello(static_cast<int32_t>(GetCurrentProcessId()), secret));
    return RawWrite(hello->data(), hello->size());
  }

  bool RawWriteHalf(size_t payload_size) {
    scoped_ptr<IPC::Message> message(channel_peer::NewPatternMessage(payload_size));
    return RawWrite(message->data(), message->size() / 2);
  }

  bool RawWrite(const void* data, size_t size) {
    if (WriteAll(raw_pipe_.Get(), data, size))
      return true;
    Report("error");
    return false;
  }

  // The lifetime task ends the process.
  bool Hang() {
    for (;;)
      MessageLoop::current()->Run();
  }

  std::string ready_event_;
  int argc_;
  char** argv_;
  int next_;
  scoped_ptr<IPC::Channel> channel_;
  base::win::ScopedFileHandle raw_pipe_;
  bool echo_ = false;
  bool connected_ = false;
  bool failed_ = false;
  int32_t peer_pid_ = -1;
  int messages_ = 0;
  int io_events_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: channel_peer <ready event> <command> [argument] ...\n");
    return 2;
  }
  MessageLoopForIO loop;
  loop.PostDelayedTask(FROM_HERE, base::Bind(&OnLifetimeOver),
                       static_cast<int64_t>(channel_peer::kPeerLifetimeMs));
  ScriptRunner runner(argv[1], argc - 2, argv + 2);
  return runner.Run();
}
