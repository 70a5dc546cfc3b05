// The named-pipe channel: opening, the hello exchange, the read loop and the write queue.
// rand_s, the random source of channel ids, is declared by stdlib.h only on request.
#define _CRT_RAND_S
#include "ipc/internal/ipc_channel_win.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace IPC {

namespace {

// Every pipe of the channel layer lives under this prefix; both ends must agree on it.
const char kPipePrefix[] = "\\\\.\\pipe\\vesk.";

// The pipe's default time-out, for clients that wait for it with NMPWAIT_USE_DEFAULT_WAIT
// (a channel never waits), and how long IsNamedServerInitialized waits for the pipe.
const DWORD kPipeDefaultTimeoutMs = 5000;
const int kServerProbeTimeoutMs = 1;

// Ids handed out by GenerateUniqueRandomChannelID in this process.
std::atomic<uint32_t> g_last_channel_id(0);

// A uniform integer in [0, 2147483647].
int RandomNonNegativeInt() {
  unsigned int value = 0;
  rand_s(&value);
  return static_cast<int>(value & INT_MAX);
}

// Decimal digits only, at most INT_MAX; anything else carries no secret. Both ends parse the
// id with this same rule, so they agree on the secret as they agree on the path.
int32_t ParseSecret(const std::string& text) {
  if (text.empty())
    return 0;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return 0;
    value = value * 10 + (c - '0');
    if (value > INT_MAX)
      return 0;
  }
  return static_cast<int32_t>(value);
}

// An overlapped call that completed at once or is pending completes through the completion
// port alike (ERROR_SUCCESS); anything else is a pipe error, returned.
DWORD StartError(BOOL started) {
  if (started)
    return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  return error == ERROR_IO_PENDING ? ERROR_SUCCESS : error;
}

// The errors of IO on a pipe whose peer has closed its end.
bool PeerHasClosed(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA;
}

HANDLE CreateServerPipe(const std::wstring& pipe_name, DWORD buffer_size, DWORD timeout_ms) {
  // One instance only: a second server for the same id fails here. Channels join
  // processes of one machine; a pipe reachable over the network would let any host on it
  // take the instance or talk to the server.
  return CreateNamedPipeW(pipe_name.c_str(),
                          PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                              FILE_FLAG_FIRST_PIPE_INSTANCE,
                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                              PIPE_REJECT_REMOTE_CLIENTS,
                          1, buffer_size,
                          buffer_size, timeout_ms, nullptr);
}

HANDLE OpenClientPipe(const std::wstring& pipe_name) {
  // No wait for a busy or missing server: the owner decides whether to try again.
  return CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                     OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                     nullptr);
}

void RunClosedCallback(const Channel::ClosedCallback& closed, bool written) {
  closed.Run(written);
}

// Each byte becomes one UTF-16 unit, as both ends do.
std::wstring WidenBytes(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (unsigned char c : text)
    wide.push_back(static_cast<wchar_t>(c));
  return wide;
}

}  // namespace

Channel::ChannelImpl::IoState::IoState(ChannelImpl* channel) : pending(false) {
  memset(&context.overlapped, 0, sizeof(context.overlapped));
  context.handler = channel;
}

Channel::ChannelImpl::ChannelImpl(ChannelHandle channel_handle,
                                  Mode mode,
                                  Listener* listener)
    : ChannelReader(listener),
      input_state_(this),
      output_state_(this),
      peer_pid_(0),
      queued_bytes_(0),
      waiting_connect_((mode & kModeServer) != 0),
      validate_client_(false),
      client_secret_(0),
      closing_after_writing_(false),
      peer_closed_(false),
      weak_factory_(this) {
  Open(std::move(channel_handle), mode);
}

Channel::ChannelImpl::~ChannelImpl() {
  Close();
}

// static
std::wstring Channel::ChannelImpl::PipeNameFor(const std::string& channel_id,
                                               int32_t* secret) {
  std::string name(kPipePrefix);
  size_t index = channel_id.find('\\');
  if (index == std::string::npos) {
    *secret = 0;
    name.append(channel_id);
  } else {
    *secret = ParseSecret(channel_id.substr(index + 1));
    // Peers drop the character in front of the backslash too, so the path keeps only the
    // first index - 1 characters; a backslash at index 0 keeps the whole id.
    size_t kept = index == 0 ? std::string::npos : index - 1;
    name.append(channel_id, 0, kept);
  }
  return WidenBytes(name);
}

void Channel::ChannelImpl::Open(ChannelHandle channel_handle, Mode mode) {
  if (channel_handle.pipe.IsValid()) {
    // An adopted pipe end is already connected to its peer.
    pipe_ = std::move(channel_handle.pipe);
    waiting_connect_ = false;
  } else {
    std::wstring pipe_name = PipeNameFor(channel_handle.name, &client_secret_);
    validate_client_ = (mode & kModeServer) != 0 && client_secret_ != 0;
    if (!CreatePipe(pipe_name, mode))
      return;
  }
  QueueHello();
}

bool Channel::ChannelImpl::CreatePipe(const std::wstring& pipe_name, Mode mode) {
  bool server = (mode & kModeServer) != 0;
  base::win::ScopedFileHandle pipe(
      server ? CreateServerPipe(pipe_name, kReadBufferSize, kPipeDefaultTimeoutMs)
             : OpenClientPipe(pipe_name));
  DWORD error = GetLastError();
  if (!pipe.IsValid()) {
    LOG(WARNING) << "Unable to create pipe \"" << pipe_name << "\" in "
                 << (server ? "server" : "client") << " mode. Error :" << error;
    return false;
  }
  pipe_ = std::move(pipe);
  return true;
}

void Channel::ChannelImpl::QueueHello() {
  // Only a client presents the secret; a validating server expects it.
  uint32_t secret = validate_client_ ? 0 : static_cast<uint32_t>(client_secret_);
  Message* hello = Message::CreateHello(static_cast<int32_t>(GetCurrentProcessId()), secret);
  if (!hello) {
    pipe_.Close();
    return;
  }
  PushOutput(hello);
}

bool Channel::ChannelImpl::Connect() {
  if (!pipe_.IsValid())
    return false;

  // Without the registration no completion would ever come back.
  if (!MessageLoopForIO::current()->RegisterIOHandler(pipe_.Get(), this))
    return false;

  if (waiting_connect_)
    AcceptClient();

  // The first read starts from a task, so that the owner finishes connecting before any
  // listener call is made.
  if (!input_state_.pending) {
    MessageLoopForIO::current()->PostTask(
        FROM_HERE_WITH_FUNCTION("IPC::Channel::ChannelImpl::Connect"),
        base::Bind(&ChannelImpl::OnIOCompleted, weak_factory_.GetWeakPtr(),
                   &input_state_.context, static_cast<DWORD>(0), static_cast<DWORD>(0)));
  }

  if (!waiting_connect_)
    WriteNext();
  return true;
}

bool Channel::ChannelImpl::AcceptClient() {
  input_state_.pending = false;
  if (!pipe_.IsValid())
    return false;

  BOOL connected = ConnectNamedPipe(pipe_.Get(), &input_state_.context.overlapped);
  DWORD error = GetLastError();
  if (connected) {
    // Overlapped listening never completes at once.
    NOTREACHED();
    return false;
  }
  switch (error) {
    case ERROR_IO_PENDING:
      input_state_.pending = true;
      return true;
    case ERROR_PIPE_CONNECTED:
      OnClientArrived();
      return true;
    case ERROR_NO_DATA:
      // The client came and went already. What it wrote is still in the pipe, and reading
      // it ends in the broken-pipe error, so the owner hears of the lost client instead of
      // waiting for it forever.
      OnClientArrived();
      return true;
    default:
      return false;
  }
}

void Channel::ChannelImpl::OnClientArrived() {
  waiting_connect_ = false;
  listener()->OnChannelAccepted();
}

Channel::ChannelImpl::ReadResult Channel::ChannelImpl::ReadFromPipe(char* buffer,
                                                                    size_t length,
                                                                    size_t* /*bytes_read*/) {
  if (!pipe_.IsValid())
    return kReadFailed;

  if (const DWORD error = StartError(ReadFile(pipe_.Get(), buffer, static_cast<DWORD>(length),
                                              nullptr, &input_state_.context.overlapped))) {
    // A peer that closed its end after it was read to the last byte is no error.
    LOG_IF(ERROR, !PeerHasClosed(error)) << "pipe error: " << error;
    return kReadFailed;
  }
  input_state_.pending = true;
  return kReadPending;
}

bool Channel::ChannelImpl::AcceptsInput(const Message* message) {
  // Nothing is dispatched once the channel has been closed, e.g. by a listener call made
  // for an earlier message of the same read.
  if (!pipe_.IsValid())
    return false;
  return !validate_client_ || message->is_hello();
}

bool Channel::ChannelImpl::OnInputDrained() {
  return true;
}

void Channel::ChannelImpl::OnHelloReceived(const Message& message) {
  int claimed_pid = -1;
  int claimed_secret = -1;
  Message::ReadHello(message, &claimed_pid, &claimed_secret);
  if (validate_client_ && claimed_secret != client_secret_) {
    Close();
    listener()->OnChannelError();
    return;
  }
  peer_pid_ = claimed_pid;
  validate_client_ = false;
  listener()->OnChannelConnected(claimed_pid);
}

void Channel::ChannelImpl::OnIOCompleted(IOContext* context,
                                         DWORD bytes_transferred,
                                         DWORD error) {
  if (closing_after_writing_) {
    OnCompletedWhileClosing(context, bytes_transferred);
    return;
  }
  bool ok;
  if (context == &input_state_.context) {
    if (waiting_connect_) {
      if (!AcceptClient())
        return;
      WriteNext();
      if (input_state_.pending)
        return;
    }
    ok = OnInputCompleted(bytes_transferred);
  } else {
    DCHECK(context == &output_state_.context);
    ok = OnWriteCompleted(bytes_transferred, error);
  }

  // A closed channel has reported already, or was closed by its owner.
  if (!ok && pipe_.IsValid()) {
    Close();
    listener()->OnChannelError();
  }
}

bool Channel::ChannelImpl::OnInputCompleted(DWORD bytes_read) {
  if (!input_state_.pending)
    return ReadIncoming();  // the start-reading signal

  input_state_.pending = false;
  // Nothing read means the peer has gone; bytes that Close drains are dropped unread.
  if (bytes_read == 0 || !pipe_.IsValid())
    return false;
  if (!DispatchReadBuffer(bytes_read))
    return false;
  return ReadIncoming();
}

bool Channel::ChannelImpl::OnWriteCompleted(DWORD bytes_written, DWORD error) {
  output_state_.pending = false;
  if (bytes_written == 0)
    return OnWriteFailed(error);
  // A byte-mode pipe completes a write only once all of it is in the pipe.
  PopOutput();
  return WriteNext();
}

bool Channel::ChannelImpl::WriteNext() {
  if (output_queue_.empty() || output_state_.pending)
    return true;
  if (!pipe_.IsValid())
    return false;

  // The whole message in one call, straight from its buffer.
  Message* message = output_queue_.front();
  if (const DWORD error = StartError(WriteFile(pipe_.Get(), message->data(),
                                               static_cast<DWORD>(message->size()), nullptr,
                                               &output_state_.context.overlapped)))
    return OnWriteFailed(error);
  output_state_.pending = true;
  return true;
}

bool Channel::ChannelImpl::OnWriteFailed(DWORD error) {
  // A close after writing ends on this, with the message unwritten.
  if (!PeerHasClosed(error) || closing_after_writing_) {
    LOG(ERROR) << "pipe error: " << error;
    return false;
  }
  // What the peer wrote before it closed is still in the pipe: reading goes on, and the read
  // that finds the pipe empty reports the error, after every message.
  peer_closed_ = true;
  while (!output_queue_.empty())
    PopOutput();
  return true;
}

void Channel::ChannelImpl::PushOutput(Message* message) {
  queued_bytes_ += message->size();
  output_queue_.push(message);
}

void Channel::ChannelImpl::PopOutput() {
  queued_bytes_ -= output_queue_.front()->size();
  delete output_queue_.front();
  output_queue_.pop();
}

bool Channel::ChannelImpl::Send(Message* message) {
  if (!pipe_.IsValid() || peer_closed_) {
    delete message;
    return true;
  }
  // The message in writing does not count, so that any message fits an idle channel.
  const size_t waiting = output_queue_.empty() ? 0 : queued_bytes_ - output_queue_.front()->size();
  if (message->size() > kMaximumQueuedBytes - waiting) {
    LOG(ERROR) << "peer reads nothing: " << queued_bytes_ << " bytes wait for it; closing";
    delete message;
    Close();
    listener()->OnChannelError();
    return true;
  }
  PushOutput(message);
  if (!waiting_connect_)
    return WriteNext();
  return true;
}

void Channel::ChannelImpl::CloseAfterWriting(base::TimeTicks deadline,
                                             const ClosedCallback& closed) {
  closed_callback_ = closed;
  closing_after_writing_ = true;
  // Nothing of the owner's can be written to a peer that never came or has failed.
  if (!HoldsUnwrittenMessages() || !pipe_.IsValid() || !WriteNext()) {
    FinishClosing(false);
    return;
  }
  MessageLoop::current()->PostDelayedTask(
      FROM_HERE_WITH_FUNCTION("IPC::Channel::ChannelImpl::CloseAfterWriting"),
      base::Bind(&ChannelImpl::FinishClosing, weak_factory_.GetWeakPtr(), true),
      std::max(deadline - base::TimeTicks::Now(), base::TimeDelta()));
}

void Channel::ChannelImpl::OnCompletedWhileClosing(IOContext* context, DWORD bytes_transferred) {
  if (context == &input_state_.context) {
    // No read follows: the peer's bytes are for nobody now. A peer that leaves ends the
    // close, since what is left can no longer reach it. Without a read in flight this is
    // the start-reading signal, which has nothing to start any more.
    if (!input_state_.pending)
      return;
    input_state_.pending = false;
    if (bytes_transferred == 0)
      FinishClosing(false);
    return;
  }
  output_state_.pending = false;
  if (bytes_transferred == 0) {
    FinishClosing(false);
    return;
  }
  PopOutput();
  if (output_queue_.empty() || !WriteNext())
    FinishClosing(false);
}

void Channel::ChannelImpl::FinishClosing(bool timed_out) {
  if (!closing_after_writing_)
    return;
  const bool written = !(timed_out && HoldsUnwrittenMessages());
  ClosedCallback closed = closed_callback_;
  Close();
  // Posted, since the callback may delete this channel.
  if (!closed.is_null()) {
    MessageLoop::current()->PostTask(
        FROM_HERE_WITH_FUNCTION("IPC::Channel::ChannelImpl::FinishClosing"),
        base::Bind(&RunClosedCallback, closed, written));
  }
}

bool Channel::ChannelImpl::HoldsUnwrittenMessages() const {
  return !waiting_connect_ && !output_queue_.empty();
}

void Channel::ChannelImpl::Close() {
  // A close after writing that has not finished ends here, unreported.
  closing_after_writing_ = false;
  closed_callback_.Reset();
  bool io_pending = input_state_.pending || output_state_.pending;
  if (io_pending)
    CancelIo(pipe_.Get());

  // From here on completions find the pipe invalid and report nothing.
  pipe_.Close();

  // The kernel still owns the contexts of cancelled operations until their completions have
  // been taken from the port; only this thread's loop can take them.
  if (io_pending) {
    MessageLoop* loop = MessageLoop::current();
    CHECK(loop && loop->type() == MessageLoop::TYPE_IO)
        << "a channel with IO in flight is closed on its IO thread";
    while (input_state_.pending || output_state_.pending)
      static_cast<MessageLoopForIO*>(loop)->WaitForIOCompletion(INFINITE, this);
  }

  while (!output_queue_.empty())
    PopOutput();
}

// Channel forwards to its implementation.

Channel::Channel(ChannelHandle channel_handle, Mode mode, Listener* listener)
    : channel_impl_(new ChannelImpl(std::move(channel_handle), mode, listener)) {}

Channel::~Channel() {}

bool Channel::pipe_opened() const {
  return channel_impl_->pipe_opened();
}

bool Channel::Connect() {
  return channel_impl_->Connect();
}

void Channel::Close() {
  channel_impl_->Close();
}

void Channel::CloseAfterWriting(base::TimeTicks deadline, const ClosedCallback& closed) {
  channel_impl_->CloseAfterWriting(deadline, closed);
}

bool Channel::Send(Message* message) {
  return channel_impl_->Send(message);
}

int32_t Channel::peer_pid() const {
  return channel_impl_->peer_pid();
}

// static
std::string Channel::GenerateUniqueRandomChannelID() {
  uint32_t id = g_last_channel_id.fetch_add(1);
  char text[64];
  snprintf(text, sizeof(text), "%d.%u.%d", static_cast<int>(GetCurrentProcessId()), id,
           RandomNonNegativeInt());
  return text;
}

// static
std::string Channel::GenerateVerifiedChannelID(const std::string& prefix) {
  int secret;
  do {
    secret = RandomNonNegativeInt();
  } while (secret == 0);

  std::string id = prefix;
  if (!id.empty())
    id.append(".");
  char secret_text[16];
  snprintf(secret_text, sizeof(secret_text), "\\%d", secret);
  return id.append(GenerateUniqueRandomChannelID()).append(secret_text);
}

// static
std::wstring Channel::PipePath(const std::string& channel_id) {
  int32_t secret;
  return ChannelImpl::PipeNameFor(channel_id, &secret);
}

// static
bool Channel::IsNamedServerInitialized(const std::string& channel_id) {
  return WaitForNamedServer(channel_id, kServerProbeTimeoutMs) != SERVER_ABSENT;
}

// static
Channel::ServerState Channel::WaitForNamedServer(const std::string& channel_id,
                                                 int timeout_ms) {
  // A time-out of 0 would mean the pipe's own default.
  const DWORD wait_ms = static_cast<DWORD>(std::max(timeout_ms, 1));
  if (WaitNamedPipeW(PipePath(channel_id).c_str(), wait_ms))
    return SERVER_AVAILABLE;
  const DWORD error = GetLastError();
  return error == ERROR_SEM_TIMEOUT ? SERVER_BUSY : SERVER_ABSENT;
}

}  // namespace IPC
