// Synchronous requests: a message that carries its request id and the reader that puts the
// reply's output parameters into the sender's variables.
#ifndef IPC_IPC_SYNC_MESSAGE_H_
#define IPC_IPC_SYNC_MESSAGE_H_

#include <cstdint>

#include "base/memory/scoped_ptr.h"
#include "base/pickle.h"
#include "base/tuple.h"
#include "ipc/ipc_message.h"
#include "ipc/ipc_message_utils.h"

namespace base {
class WaitableEvent;
}

namespace IPC {

// Reads the output parameters of a reply into the variables the sender named when it built
// the request. Runs on whichever thread matched the reply, while the sender is blocked.
class MessageReplyDeserializer {
 public:
  virtual ~MessageReplyDeserializer() {}

  // Reads the parameters that follow the reply's sync header; false when they do not read.
  bool SerializeOutputParameters(const Message& reply);

 protected:
  virtual bool SerializeOutputParameters(const Message& reply, PickleIterator iter) = 0;
};

template <class RefTuple>
class ParamDeserializer;

// One output parameter of type T, read with its ParamTraits into the caller's variable, which
// keeps its value when the read fails.
template <class T>
class ParamDeserializer<Tuple1<T&>> : public MessageReplyDeserializer {
 public:
  explicit ParamDeserializer(const Tuple1<T&>& out) : out_(out) {}

  using MessageReplyDeserializer::SerializeOutputParameters;

 private:
  bool SerializeOutputParameters(const Message& reply, PickleIterator iter) override {
    return ReadParam(&reply, &iter, &out_.a);
  }

  Tuple1<T&> out_;
};

// A synchronous request: the sync and unblock bits are set and the payload starts with the
// request id, taken from one process-wide counter (0 first) shared by every channel and
// thread. Built and sent by one thread; the deserializer goes with the message unless the
// sending channel takes it out.
class SyncMessage : public Message {
 public:
  // |deserializer| (owned; null for a request without outputs) reads the reply.
  SyncMessage(int32_t routing_id,
              uint32_t type,
              PriorityValue priority,
              MessageReplyDeserializer* deserializer);
  ~SyncMessage() override;

  // Takes the deserializer out; the message no longer deletes it.
  MessageReplyDeserializer* GetReplyDeserializer();

  // An event that, once signalled while the sender waits for the reply, makes the sending
  // thread run its message loop (nested) until the reply is in. Not owned; null (the default)
  // keeps the thread blocked, dispatching only incoming synchronous requests.
  void set_pump_messages_event(base::WaitableEvent* event) { pump_messages_event_ = event; }
  base::WaitableEvent* pump_messages_event() const { return pump_messages_event_; }

  // A new reply to |request|, addressed like it, for the server side to fill in (or to mark
  // with the reply-error bit). Null when the message cannot be built.
  static Message* GenerateReply(const Message* request);

  // |message|, a message with the sync bit, as the SyncMessage it must be to be waited for;
  // null (and logged) for anything else, such as a copy of a request.
  static SyncMessage* FromSyncRequest(Message* message);

  // The request id of a request or a reply; 0 for any other message or a short payload.
  static int GetMessageId(const Message& msg);

  static bool IsMessageReplyTo(const Message& msg, int request_id);

  // An iterator after the sync header; empty (every read fails) when the payload is shorter.
  static PickleIterator GetDataIterator(const Message* msg);

 private:
  scoped_ptr<MessageReplyDeserializer> deserializer_;
  base::WaitableEvent* pump_messages_event_;
};

}  // namespace IPC

#endif  // IPC_IPC_SYNC_MESSAGE_H_
