// Synchronous requests, their replies and the reading of a reply's outputs.
#include "ipc/ipc_sync_message.h"

#include <atomic>

#include "base/logging.h"
#include "ipc/internal/ipc_sync_header.h"

namespace IPC {

namespace {

// The next request id of the process; fetch-and-add hands each request the value before the
// increment.
std::atomic<int32_t> g_next_request_id(0);

}  // namespace

bool MessageReplyDeserializer::SerializeOutputParameters(const Message& reply) {
  return SerializeOutputParameters(reply, SyncMessage::GetDataIterator(&reply));
}

SyncMessage::SyncMessage(int32_t routing_id,
                         uint32_t type,
                         PriorityValue priority,
                         MessageReplyDeserializer* deserializer)
    : Message(routing_id, type, priority),
      deserializer_(deserializer),
      pump_messages_event_(nullptr) {
  // The header goes into the buffer the constructor has just allocated; only a failed
  // allocation stops it.
  bool header_written = MakeSyncRequest(this, g_next_request_id.fetch_add(1));
  CHECK(header_written);
}

SyncMessage::~SyncMessage() {}

MessageReplyDeserializer* SyncMessage::GetReplyDeserializer() {
  return deserializer_.release();
}

Message* SyncMessage::GenerateReply(const Message* request) {
  return NewSyncReply(*request);
}

SyncMessage* SyncMessage::FromSyncRequest(Message* message) {
  SyncMessage* sync_msg = dynamic_cast<SyncMessage*>(message);
  LOG_IF(ERROR, !sync_msg) << "a synchronous send needs a SyncMessage, type " << message->type();
  return sync_msg;
}

int SyncMessage::GetMessageId(const Message& msg) {
  SyncHeader header = {0};
  if (!ReadSyncHeader(msg, &header))
    return 0;
  return header.message_id;
}

bool SyncMessage::IsMessageReplyTo(const Message& msg, int request_id) {
  return msg.is_reply() && GetMessageId(msg) == request_id;
}

PickleIterator SyncMessage::GetDataIterator(const Message* msg) {
  return IteratorAfterSyncHeader(*msg);
}

}  // namespace IPC
