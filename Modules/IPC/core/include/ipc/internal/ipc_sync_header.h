// Byte layout of synchronous requests and their replies: a sync header as the first payload
// field, then the request's inputs or the reply's outputs.
#ifndef IPC_IPC_SYNC_HEADER_H_
#define IPC_IPC_SYNC_HEADER_H_

#include <cstdint>

#include "base/pickle.h"
#include "ipc/ipc_message.h"

namespace IPC {

struct SyncHeader {
  int32_t message_id;  // the request's id; a reply carries the id of its request
};

constexpr int kSyncHeaderBytes = 4;
static_assert(sizeof(SyncHeader) == kSyncHeaderBytes, "the sync header is one 4-byte field");

// Appends |header| as a payload field; false when the message cannot grow.
bool WriteSyncHeader(Message* msg, const SyncHeader& header);

// Reads the sync header of a request or a reply. False for a message that is neither, or
// whose payload is too short.
bool ReadSyncHeader(const Message& msg, SyncHeader* header);

// An iterator at the first parameter after the sync header; an empty iterator (every read
// fails) when the payload is shorter than the header.
PickleIterator IteratorAfterSyncHeader(const Message& msg);

// Makes the empty message |msg| a synchronous request with id |message_id|: the sync and
// unblock bits, then the sync header. False when the header cannot be written.
bool MakeSyncRequest(Message* msg, int32_t message_id);

// A new reply to |request|: its routing id and priority, type kReplyType, the reply bit and
// the request's id (0 when the request carries none). The caller appends the outputs or sets
// the reply-error bit. Null when the header cannot be written.
Message* NewSyncReply(const Message& request);

}  // namespace IPC

#endif  // IPC_IPC_SYNC_HEADER_H_
