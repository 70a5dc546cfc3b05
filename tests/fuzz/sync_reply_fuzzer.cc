// A hostile reply to a synchronous request, read by the request's reply deserializer: the
// output is written only when the field after the request id reads, and then holds exactly
// what the wire holds; a reply built from that output reads back to it, byte for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/tuple.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_message_utils.h"
#include "ipc/ipc_sync_message.h"

namespace {

using IPC::Message;
using IPC::MessageReplyDeserializer;
using IPC::ParamDeserializer;
using IPC::SyncMessage;

// The output field as the wire holds it after the request id, read by hand.
bool ExpectedOutput(const Message& reply, int* expected) {
  if (reply.payload_size() < 8)
    return false;
  *expected = static_cast<int>(fuzz::Load32(reply.payload() + 4));
  return true;
}

bool ExpectedOutput(const Message& reply, std::string* expected) {
  if (reply.payload_size() < 8)
    return false;
  const int64_t count = static_cast<int32_t>(fuzz::Load32(reply.payload() + 4));
  if (count < 0 || count > static_cast<int64_t>(reply.payload_size()) - 8)
    return false;
  expected->assign(reply.payload() + 8, static_cast<size_t>(count));
  return true;
}

// Reads |reply| into an output of type T that held |before|.
template <typename T>
void CheckReply(const Message& reply, const T& before) {
  T output = before;
  std::unique_ptr<SyncMessage> request(new SyncMessage(
      3, 24, Message::kPriorityNormal, new ParamDeserializer<Tuple1<T&>>(MakeRefTuple(output))));
  std::unique_ptr<MessageReplyDeserializer> deserializer(request->GetReplyDeserializer());

  T expected = before;
  const bool readable = ExpectedOutput(reply, &expected);
  FUZZ_CHECK(deserializer->SerializeOutputParameters(reply) == readable);
  FUZZ_CHECK(output == expected);
  if (!readable)
    return;

  // The server side's reply with that output reads back to it.
  const std::unique_ptr<Message> rebuilt(SyncMessage::GenerateReply(request.get()));
  FUZZ_CHECK(IPC::WriteParam(rebuilt.get(), output));
  const std::string wire = fuzz::WireBytes(*rebuilt);
  const Message received(wire.data(), static_cast<int>(wire.size()));
  FUZZ_CHECK(SyncMessage::IsMessageReplyTo(received, SyncMessage::GetMessageId(*request)));
  output = before;
  FUZZ_CHECK(deserializer->SerializeOutputParameters(received));
  FUZZ_CHECK(output == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool string_output = provider.ConsumeBool();
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const Message reply(bytes.data(), static_cast<int>(bytes.size()));
  if (!reply.data())
    return 0;
  if (string_output)
    CheckReply<std::string>(reply, "before");
  else
    CheckReply<int>(reply, 77);
  return 0;
}
