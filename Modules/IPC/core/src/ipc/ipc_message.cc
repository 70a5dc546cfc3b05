// Header layout, flag bits and hello message of IPC::Message.
#include "ipc/ipc_message.h"

#include <memory>

#include "base/logging.h"

namespace IPC {

Message::Message() : Pickle(static_cast<int>(kHeaderSize)) {
  Header* h = writable_header();
  h->routing = 0;
  h->type = 0;
  h->flags = 0;
}

Message::Message(int32_t routing_id, uint32_t type, PriorityValue priority)
    : Pickle(static_cast<int>(kHeaderSize)) {
  Header* h = writable_header();
  h->routing = routing_id;
  h->type = type;
  h->flags = static_cast<uint32_t>(priority) & kPriorityMask;
}

Message::Message(const char* data, int data_len) : Pickle(data, data_len) {
  // Fewer header bytes would put the routing id, type and flags beyond the bytes given.
  if (header_size() != kHeaderSize)
    MakeInvalidView();
}

Message::Message(const Message& other) : Pickle(other) {}

Message::~Message() {}

Message::Header* Message::writable_header() {
  CHECK_NE(capacity(), kCapacityReadOnly) << "a received message is read-only; copy it. ";
  return headerT<Header>();
}

void Message::set_routing_id(int32_t routing_id) {
  if (Header* h = writable_header())
    h->routing = routing_id;
}

void Message::SetFlagBits(uint32_t bits, bool on) {
  Header* h = writable_header();
  if (!h)
    return;
  if (on)
    h->flags |= bits;
  else
    h->flags &= ~bits;
}

// static
Message* Message::CreateHello(int32_t process_id, uint32_t secret) {
  std::unique_ptr<Message> hello(new Message(kRoutingNone, kHelloType, kPriorityNormal));
  if (!hello->WriteInt(process_id))
    return nullptr;
  if (secret != 0 && !hello->WriteUInt32(secret))
    return nullptr;
  return hello.release();
}

// static
void Message::ReadHello(const Message& hello, int* process_id, int* secret) {
  PickleIterator iter(hello);
  *process_id = -1;
  *secret = -1;
  if (iter.ReadInt(process_id))
    iter.ReadInt(secret);
}

// static
const char* Message::FindNext(const char* range_start, const char* range_end) {
  return Pickle::FindNext(kHeaderSize, range_start, range_end);
}

}  // namespace IPC
