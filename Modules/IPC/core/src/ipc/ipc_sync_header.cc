// Sync header and reply layout of synchronous messages.
#include "ipc/internal/ipc_sync_header.h"

#include <memory>

namespace IPC {

bool WriteSyncHeader(Message* msg, const SyncHeader& header) {
  return msg->WriteInt(header.message_id);
}

bool ReadSyncHeader(const Message& msg, SyncHeader* header) {
  if (!msg.is_sync() && !msg.is_reply())
    return false;
  PickleIterator iter(msg);
  return iter.ReadInt(&header->message_id);
}

PickleIterator IteratorAfterSyncHeader(const Message& msg) {
  PickleIterator iter(msg);
  if (!iter.SkipBytes(kSyncHeaderBytes))
    return PickleIterator();
  return iter;
}

bool MakeSyncRequest(Message* msg, int32_t message_id) {
  msg->set_sync();
  msg->set_unblock(true);
  SyncHeader header = {message_id};
  return WriteSyncHeader(msg, header);
}

Message* NewSyncReply(const Message& request) {
  std::unique_ptr<Message> reply(
      new Message(request.routing_id(), Message::kReplyType, request.priority()));
  reply->set_reply();
  SyncHeader header = {0};
  ReadSyncHeader(request, &header);
  if (!WriteSyncHeader(reply.get(), header))
    return nullptr;
  return reply.release();
}

}  // namespace IPC
