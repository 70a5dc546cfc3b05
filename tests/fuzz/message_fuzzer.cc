// Message framing and views over a hostile byte stream. FindNext frames exactly the bytes a
// header claims, and nothing when they are not all there; a view is valid exactly when its
// bytes frame one message, and its accessors read the header on the wire; a copy re-encodes
// to the same bytes and is independent of them; the reply made for a message carries its
// routing id, priority and request id.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_message.h"

namespace {

using IPC::Message;
using IPC::SyncMessage;

void CheckFraming(const char* begin, const char* end) {
  const char* next = Message::FindNext(begin, end);
  const size_t available = static_cast<size_t>(end - begin);
  if (available < 4) {
    FUZZ_CHECK(next == nullptr);
    return;
  }
  const uint64_t claimed = uint64_t{Message::kHeaderSize} + fuzz::Load32(begin);
  FUZZ_CHECK(next == (claimed <= available ? begin + claimed : nullptr));
  const Message whole(begin, static_cast<int>(available));
  FUZZ_CHECK((whole.data() != nullptr) == (claimed == available));
}

void CheckRequestId(const Message& message) {
  const std::string wire = fuzz::WireBytes(message);
  const bool has_id = (message.is_sync() || message.is_reply()) && message.payload_size() >= 4;
  const int id = has_id ? static_cast<int>(fuzz::Load32(message.payload())) : 0;
  FUZZ_CHECK(SyncMessage::GetMessageId(message) == id);
  FUZZ_CHECK(SyncMessage::IsMessageReplyTo(message, id) == message.is_reply());

  const std::unique_ptr<Message> reply(SyncMessage::GenerateReply(&message));
  FUZZ_CHECK(reply != nullptr);
  FUZZ_CHECK(reply->routing_id() == message.routing_id());
  FUZZ_CHECK(reply->type() == Message::kReplyType);
  FUZZ_CHECK(reply->flags() == (message.priority() | Message::kReplyBit));
  FUZZ_CHECK(reply->payload_size() == 4 && SyncMessage::IsMessageReplyTo(*reply, id));

  // The parameters start after the id, or nowhere when the payload is shorter.
  PickleIterator parameters = SyncMessage::GetDataIterator(&message);
  const char* rest = nullptr;
  const int rest_size = static_cast<int>(message.payload_size()) - 4;
  FUZZ_CHECK(parameters.ReadBytes(&rest, rest_size < 0 ? 0 : rest_size) == (rest_size >= 0));
  FUZZ_CHECK(rest_size < 0 || rest == message.payload() + 4);
}

void CheckView(const char* bytes, size_t size) {
  const std::string original(bytes, size);
  const Message view(bytes, static_cast<int>(size));
  FUZZ_CHECK(view.data() == bytes && view.size() == size);
  FUZZ_CHECK(view.capacity() == Pickle::kCapacityReadOnly);
  FUZZ_CHECK(view.routing_id() == static_cast<int32_t>(fuzz::Load32(bytes + 4)));
  FUZZ_CHECK(view.type() == fuzz::Load32(bytes + 8));
  FUZZ_CHECK(view.flags() == fuzz::Load32(bytes + 12));
  FUZZ_CHECK(view.priority() == (view.flags() & Message::kPriorityMask));
  FUZZ_CHECK(view.is_hello() ==
             (view.routing_id() == Message::kRoutingNone && view.type() == Message::kHelloType));
  CheckRequestId(view);

  Message copy(view);
  FUZZ_CHECK(fuzz::WireBytes(copy) == original);
  copy.set_routing_id(~view.routing_id());
  copy.set_unblock(!view.should_unblock());
  FUZZ_CHECK(copy.WriteInt(1));
  FUZZ_CHECK(std::string(bytes, size) == original);
  FUZZ_CHECK(copy.routing_id() == ~view.routing_id());
  FUZZ_CHECK(copy.should_unblock() != view.should_unblock());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  CheckFraming(p, end);
  while (const char* next = Message::FindNext(p, end)) {
    CheckView(p, static_cast<size_t>(next - p));
    p = next;
  }
  CheckFraming(p, end);
  return 0;
}
