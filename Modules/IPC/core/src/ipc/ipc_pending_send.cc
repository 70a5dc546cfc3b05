// Reading a reply into the send that waits for it.
#include "ipc/internal/ipc_pending_send.h"

#include "base/synchronization/waitable_event.h"

namespace IPC {

void PendingSend::TakeReply(const Message& reply) {
  if (!reply.is_reply_error())
    send_result = deserializer ? deserializer->SerializeOutputParameters(reply) : true;
  done_event->Signal();
}

}  // namespace IPC
