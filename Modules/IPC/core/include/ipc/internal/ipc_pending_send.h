// A synchronous send waiting for its reply, as the sending channels keep it.
#ifndef IPC_IPC_PENDING_SEND_H_
#define IPC_IPC_PENDING_SEND_H_

#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_message.h"

namespace base {
class WaitableEvent;
}

namespace IPC {

// One synchronous send waiting for its reply. Lives with its sender; the reply side touches
// it only under the lock of the owner's pending list.
struct PendingSend {
  PendingSend(int send_id, MessageReplyDeserializer* reply_deserializer,
              base::WaitableEvent* reply_done_event)
      : id(send_id),
        deserializer(reply_deserializer),
        done_event(reply_done_event),
        send_result(false) {}

  // Reads |reply| unless it is an error reply, then releases the sender.
  void TakeReply(const Message& reply);

  int id;
  MessageReplyDeserializer* deserializer;  // null when the request has no outputs
  base::WaitableEvent* done_event;         // manual reset
  bool send_result;                        // true once a good reply has been read
};

}  // namespace IPC

#endif  // IPC_IPC_PENDING_SEND_H_
