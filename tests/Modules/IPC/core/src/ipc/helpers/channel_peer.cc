// The second process of the channel tests: one end of a channel that reports what it sees,
// or a raw client that dies in the middle of a message.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/scoped_ptr.h"
#include "base/message_loop.h"
#include "base/win/scoped_handle.h"
#include "helpers/channel_peer_protocol.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_channel_win.h"
#include "ipc/ipc_message.h"

namespace {

void Report(const char* line) {
  printf("%s\n", line);
  fflush(stdout);
}

void SignalNamedEvent(const char* name) {
  std::wstring wide_name(name, name + strlen(name));
  base::win::ScopedHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, wide_name.c_str()));
  SetEvent(event.Get());
}

struct Options {
  Options() : ready_event(nullptr), echo(false), send_on_listen(-1), send_and_close(-1) {}
  const char* ready_event;
  bool echo;
  int send_on_listen;
  int send_and_close;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 0; i < argc; ++i) {
    std::string option = argv[i];
    bool has_value = i + 1 < argc;
    if (option == channel_peer::kEchoOption)
      options.echo = true;
    else if (option == channel_peer::kReadyOption && has_value)
      options.ready_event = argv[++i];
    else if (option == channel_peer::kSendOnListenOption && has_value)
      options.send_on_listen = atoi(argv[++i]);
    else if (option == channel_peer::kSendAndCloseOption && has_value)
      options.send_and_close = atoi(argv[++i]);
  }
  return options;
}

// Reports every listener call and counts the IO completions of the loop, so that the test
// can tell which messages one read delivered.
class ReportingPeer : public IPC::Channel::Listener, public MessageLoopForIO::IOObserver {
 public:
  ReportingPeer(const std::string& channel_id, IPC::Channel::Mode mode, const Options& options)
      : options_(options), mode_(mode), io_events_(0),
        channel_(new IPC::Channel(channel_id, mode, this)) {}

  int Run() {
    MessageLoopForIO::current()->AddIOObserver(this);
    if (!channel_->Connect()) {
      Report("connect-failed");
      return 0;
    }
    if (options_.send_on_listen >= 0) {
      bool sent = channel_->Send(channel_peer::NewPatternMessage(options_.send_on_listen));
      Report(sent ? "send-result 1" : "send-result 0");
    }
    if (options_.ready_event)
      SignalNamedEvent(options_.ready_event);
    MessageLoop::current()->Run();
    MessageLoopForIO::current()->RemoveIOObserver(this);
    return 0;
  }

  bool OnMessageReceived(const IPC::Message& message) override {
    char line[128];
    snprintf(line, sizeof(line), channel_peer::kMessageReportFormat, message.type(),
             static_cast<unsigned>(message.payload_size()),
             channel_peer::Checksum(message.payload(), message.payload_size()), io_events_);
    Report(line);
    if (options_.echo)
      channel_->Send(new IPC::Message(message));
    return true;
  }

  void OnChannelConnected(int32_t peer_pid) override {
    char line[64];
    snprintf(line, sizeof(line), "connected %d", static_cast<int>(peer_pid));
    Report(line);
    if (mode_ == IPC::Channel::kModeClient) {
      IPC::Message* report =
          new IPC::Message(0, channel_peer::kPeerPidType, IPC::Message::kPriorityNormal);
      report->WriteInt(peer_pid);
      channel_->Send(report);
    }
    if (options_.send_and_close >= 0) {
      channel_->Send(channel_peer::NewPatternMessage(options_.send_and_close));
      channel_->Close();
      Report("closed");
      MessageLoop::current()->Quit();
    }
  }

  void OnChannelError() override {
    Report("error");
    MessageLoop::current()->Quit();
  }

  void WillProcessIOEvent() override { ++io_events_; }
  void DidProcessIOEvent() override {}

 private:
  Options options_;
  IPC::Channel::Mode mode_;
  int io_events_;
  scoped_ptr<IPC::Channel> channel_;
};

void OnLifetimeOver() {
  Report("timeout");
  exit(channel_peer::kTimeoutExitCode);
}

bool WriteAll(HANDLE pipe, const void* data, size_t size) {
  DWORD written = 0;
  return WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
}

// Opens the server's pipe like a client channel would, writes a hello and the first half of
// a message, and waits to be killed.
int RunRawPartialClient(const std::string& channel_id, const char* wrote_event) {
  int32_t secret = 0;
  std::wstring pipe_name = IPC::Channel::ChannelImpl::PipeNameFor(channel_id, &secret);
  base::win::ScopedFileHandle pipe(CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!pipe.IsValid()) {
    Report("connect-failed");
    return 0;
  }
  scoped_ptr<IPC::Message> hello(
      IPC::Message::CreateHello(static_cast<int32_t>(GetCurrentProcessId()), secret));
  scoped_ptr<IPC::Message> message(channel_peer::NewPatternMessage(100));
  if (!WriteAll(pipe.Get(), hello->data(), hello->size()) ||
      !WriteAll(pipe.Get(), message->data(), message->size() / 2)) {
    Report("error");
    return 0;
  }
  Report("wrote-partial");
  SignalNamedEvent(wrote_event);
  Sleep(channel_peer::kPeerLifetimeMs);
  return channel_peer::kTimeoutExitCode;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: channel_peer server|client|raw-partial <channel id> ...\n");
    return 2;
  }
  std::string mode = argv[1];
  std::string channel_id = argv[2];
  if (mode == "raw-partial" && argc > 3)
    return RunRawPartialClient(channel_id, argv[3]);

  MessageLoopForIO loop;
  loop.PostDelayedTask(FROM_HERE, base::Bind(&OnLifetimeOver),
                       static_cast<int64_t>(channel_peer::kPeerLifetimeMs));
  IPC::Channel::Mode channel_mode =
      mode == "server" ? IPC::Channel::kModeServer : IPC::Channel::kModeClient;
  ReportingPeer peer(channel_id, channel_mode, ParseOptions(argc - 3, argv + 3));
  return peer.Run();
}
