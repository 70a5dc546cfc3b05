// The broker filters' handling of its three control messages, as functions of a hostile
// message. A channel-id query (29) or worker request (24) is answered with a reply to it
// that carries the value when the request reads and the error bit otherwise, and the
// requester's own reply reader gives the value back. A routing message (35) reads exactly
// when its fields are on the wire, and then re-encodes to a message that reads the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Channel/IPC_ChannelMsg.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_message.h"

namespace {

using IPC::Message;
using IPC::SyncMessage;

// The reply a filter sends for |request|, read by the requester's deserializer into
// |*output|, which starts as |before|.
template <typename T>
void CheckAnswer(const Message& request, Message* reply, SyncMessage* requester, T* output,
                 const T& value, const T& before) {
  FUZZ_CHECK(reply != nullptr);
  const std::unique_ptr<Message> owned_reply(reply);
  FUZZ_CHECK(reply->routing_id() == request.routing_id());
  FUZZ_CHECK(reply->type() == Message::kReplyType && reply->is_reply());
  FUZZ_CHECK(SyncMessage::GetMessageId(*reply) == SyncMessage::GetMessageId(request));
  const bool reads = IPC_ControlRequestReads(request);
  FUZZ_CHECK(reads == (request.is_sync() && request.payload_size() >= 4));
  FUZZ_CHECK(reply->is_reply_error() == !reads);

  const std::string wire = fuzz::WireBytes(*reply);
  const Message received(wire.data(), static_cast<int>(wire.size()));
  const std::unique_ptr<IPC::MessageReplyDeserializer> deserializer(
      requester->GetReplyDeserializer());
  *output = before;
  if (reads) {
    FUZZ_CHECK(deserializer->SerializeOutputParameters(received));
    FUZZ_CHECK(*output == value);
  } else {
    FUZZ_CHECK(received.payload_size() == 4);
    FUZZ_CHECK(!deserializer->SerializeOutputParameters(received) && *output == before);
  }
}

void CheckQueryId(const Message& request, int channel_id) {
  int output = 0;
  ChannelMsg_ClientQueryId requester(&output);
  CheckAnswer(request, ChannelMsg_ClientQueryId::Reply(request, channel_id), &requester, &output,
              channel_id, -7);
}

void CheckRequestService(const Message& request, const std::string& worker_name) {
  std::string output;
  ChannelMsg_ClientHostRequestService requester(&output);
  CheckAnswer(request, ChannelMsg_ClientHostRequestService::Reply(request, worker_name),
              &requester, &output, worker_name, std::string("before"));
}

// The routing fields read by hand: peer id, byte count and bytes, bool, tag.
bool ExpectedRouting(const Message& message, int* peer_id, IPC_RoutingData* data) {
  const char* p = message.payload();
  size_t left = message.payload_size();
  if (left < 8)
    return false;
  *peer_id = static_cast<int>(fuzz::Load32(p));
  const int64_t count = static_cast<int32_t>(fuzz::Load32(p + 4));
  p += 8, left -= 8;
  if (count < 0 || static_cast<uint64_t>(count) > left)
    return false;
  data->data.assign(p, p + count);
  const size_t padded = (static_cast<size_t>(count) + 3) & ~size_t{3};
  if (left < padded + 1)
    return false;
  data->flag = p[padded] != 0;
  if (left < padded + 8)
    return false;
  data->tag = static_cast<int>(fuzz::Load32(p + padded + 4));
  return true;
}

bool SameRouting(int a_peer, const IPC_RoutingData& a, int b_peer, const IPC_RoutingData& b) {
  return a_peer == b_peer && a.data == b.data && a.flag == b.flag && a.tag == b.tag;
}

void CheckRoutingMessage(const Message& message) {
  int peer_id = 0, expected_peer = 0;
  IPC_RoutingData data, expected;
  const bool reads = ChannelMsg_RoutingMessage::Read(message, &peer_id, &data);
  FUZZ_CHECK(reads == ExpectedRouting(message, &expected_peer, &expected));
  if (!reads)
    return;
  FUZZ_CHECK(SameRouting(peer_id, data, expected_peer, expected));

  const ChannelMsg_RoutingMessage rebuilt(peer_id, data);
  const std::string wire = fuzz::WireBytes(rebuilt);
  const Message received(wire.data(), static_cast<int>(wire.size()));
  int reread_peer = 0;
  IPC_RoutingData reread;
  FUZZ_CHECK(received.type() == ChannelMsg_RoutingMessage::ID);
  FUZZ_CHECK(received.routing_id() == Message::kRoutingControl);
  FUZZ_CHECK(ChannelMsg_RoutingMessage::Read(received, &reread_peer, &reread));
  FUZZ_CHECK(SameRouting(reread_peer, reread, peer_id, data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const int channel_id = provider.ConsumeIntegral<int>();
  const std::string worker_name = provider.ConsumeRandomLengthString(64);
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const Message message(bytes.data(), static_cast<int>(bytes.size()));
  if (!message.data())
    return 0;
  // Each filter sees every message and takes its own type; the others pass untouched.
  switch (message.type()) {
    case ChannelMsg_ClientQueryId::ID:
      CheckQueryId(message, channel_id);
      break;
    case ChannelMsg_ClientHostRequestService::ID:
      CheckRequestService(message, worker_name);
      break;
    case ChannelMsg_RoutingMessage::ID:
      CheckRoutingMessage(message);
      break;
    default:
      // Any message read as any of the three must not break them either.
      CheckQueryId(message, channel_id);
      CheckRequestService(message, worker_name);
      CheckRoutingMessage(message);
      break;
  }
  return 0;
}
