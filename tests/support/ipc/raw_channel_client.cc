// A hand-written channel client over an overlapped pipe, every read bounded.
#include "support/ipc/raw_channel_client.h"

#include <windows.h>

#include <cstring>

#include "base/memory/scoped_ptr.h"
#include "ipc/internal/ipc_channel_win.h"
#include "ipc/internal/ipc_sync_header.h"
#include "ipc/ipc_message.h"

namespace test {

namespace {

int NextRequestId() {
  static int request_id = 1000000;
  return ++request_id;
}

}  // namespace

RawChannelClient::RawChannelClient()
    : read_done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), hello_read_(false) {}

RawChannelClient::~RawChannelClient() {}

bool RawChannelClient::Open(const std::string& channel_id) {
  // The hello presents the secret of a verified id, as a channel's would.
  int32_t secret = 0;
  IPC::Channel::ChannelImpl::PipeNameFor(channel_id, &secret);
  return OpenPresenting(channel_id, static_cast<uint32_t>(secret));
}

bool RawChannelClient::OpenPresenting(const std::string& channel_id, uint32_t secret) {
  int32_t own_secret = 0;
  std::wstring pipe_name = IPC::Channel::ChannelImpl::PipeNameFor(channel_id, &own_secret);
  pipe_.Set(CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  hello_read_ = false;
  if (!pipe_.IsValid())
    return false;
  scoped_ptr<IPC::Message> hello(
      IPC::Message::CreateHello(static_cast<int32_t>(GetCurrentProcessId()), secret));
  return hello && Write(*hello);
}

void RawChannelClient::Close() {
  pipe_.Close();
}

bool RawChannelClient::Write(const IPC::Message& message) {
  return WriteBytes(std::string(static_cast<const char*>(message.data()), message.size()));
}

bool RawChannelClient::WriteBytes(const std::string& bytes) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = read_done_.Get();
  DWORD written = 0;
  if (!WriteFile(pipe_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                 &overlapped) &&
      GetLastError() != ERROR_IO_PENDING)
    return false;
  return GetOverlappedResult(pipe_.Get(), &overlapped, &written, TRUE) &&
         written == bytes.size();
}

bool RawChannelClient::ReadExactly(char* buffer, size_t size, unsigned long timeoutMs) {
  for (size_t done = 0; done < size;) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = read_done_.Get();
    DWORD read = 0;
    if (!ReadFile(pipe_.Get(), buffer + done, static_cast<DWORD>(size - done), nullptr,
                  &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
      return false;
    if (WaitForSingleObject(read_done_.Get(), timeoutMs) != WAIT_OBJECT_0) {
      CancelIo(pipe_.Get());
      GetOverlappedResult(pipe_.Get(), &overlapped, &read, TRUE);
      return false;
    }
    if (!GetOverlappedResult(pipe_.Get(), &overlapped, &read, FALSE) || read == 0)
      return false;
    done += read;
  }
  return true;
}

bool RawChannelClient::Read(std::string* message, unsigned long timeoutMs) {
  for (;;) {
    char header[IPC::Message::kHeaderSize];
    if (!ReadExactly(header, sizeof(header), timeoutMs))
      return false;
    uint32_t payload_size = 0;
    memcpy(&payload_size, header, sizeof(payload_size));
    message->assign(header, sizeof(header));
    message->resize(sizeof(header) + payload_size);
    if (payload_size && !ReadExactly(&(*message)[sizeof(header)], payload_size, timeoutMs))
      return false;
    if (hello_read_)
      return true;
    hello_read_ = true;
  }
}

bool RawChannelClient::Ask(unsigned type, std::string* reply, unsigned long timeoutMs) {
  IPC::Message request(IPC::Message::kRoutingControl, type, IPC::Message::kPriorityNormal);
  return IPC::MakeSyncRequest(&request, NextRequestId()) && Write(request) &&
         Read(reply, timeoutMs);
}

bool RawChannelClient::RequestWorker(std::string* channel_id, unsigned long timeoutMs) {
  std::string bytes;
  if (!Ask(kRequestServiceType, &bytes, timeoutMs))
    return false;
  IPC::Message reply(bytes.data(), static_cast<int>(bytes.size()));
  PickleIterator outputs = IPC::IteratorAfterSyncHeader(reply);
  return outputs.ReadString(channel_id) && !channel_id->empty();
}

}  // namespace test
