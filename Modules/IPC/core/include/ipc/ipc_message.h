// The unit that crosses a channel: a 16-byte header (payload size, routing id, type, flags)
// followed by a pickle payload, laid out in memory exactly as on the pipe.
#ifndef IPC_IPC_MESSAGE_H_
#define IPC_IPC_MESSAGE_H_

#include <cstddef>
#include <cstdint>

#include "base/pickle.h"

namespace IPC {

// An owning message is built and written by one thread at a time. A message made from bytes
// is a read-only view into a buffer it does not own (a channel's read buffer): it is valid
// only while that buffer is, and writing to it (payload or header) is a fatal check; copy it
// to keep it. A Message* handed to any Send belongs to the callee.
class Message : public Pickle {
 public:
  // Takes messages; the callee owns every message passed to Send, also when it fails.
  class Sender {
   public:
    virtual ~Sender() {}
    virtual bool Send(Message* msg) = 0;
  };

  // Carried and copied into replies; it never changes delivery order.
  enum PriorityValue {
    kPriorityLow = 1,
    kPriorityNormal = 2,
    kPriorityHigh = 3,
  };

  // Bits of flags().
  static constexpr uint32_t kPriorityMask = 0x0003;
  static constexpr uint32_t kSyncBit = 0x0004;
  static constexpr uint32_t kReplyBit = 0x0008;
  static constexpr uint32_t kReplyErrorBit = 0x0010;
  static constexpr uint32_t kUnblockBit = 0x0020;
  static constexpr uint32_t kPumpingBit = 0x0040;

  // Reserved routing ids and types.
  static constexpr int32_t kRoutingNone = -2;
  static constexpr int32_t kRoutingControl = 0x7FFFFFFF;
  static constexpr uint32_t kHelloType = 0xFFFF;
  static constexpr uint32_t kReplyType = 0xFFFFFFF0;

  static constexpr size_t kHeaderSize = 16;

  // Routing, type and flags 0.
  Message();
  Message(int32_t routing_id, uint32_t type, PriorityValue priority);
  // Read-only view of one serialised message of |data_len| bytes; invalid (every accessor
  // answers 0, every read fails) unless the bytes frame exactly one message.
  Message(const char* data, int data_len);
  // Always an owning, writable copy.
  Message(const Message& other);
  Message& operator=(const Message&) = delete;
  ~Message() override;

  PriorityValue priority() const {
    return static_cast<PriorityValue>(flags() & kPriorityMask);
  }

  // A synchronous request: the payload starts with a sync header and the sender waits.
  bool is_sync() const { return (flags() & kSyncBit) != 0; }
  void set_sync() { SetFlagBits(kSyncBit, true); }

  bool is_reply() const { return (flags() & kReplyBit) != 0; }
  void set_reply() { SetFlagBits(kReplyBit, true); }

  // The request could not be served; the reply's output parameters are not read.
  bool is_reply_error() const { return (flags() & kReplyErrorBit) != 0; }
  void set_reply_error() { SetFlagBits(kReplyErrorBit, true); }

  // Dispatched even while the receiving listener thread is blocked in a synchronous send.
  bool should_unblock() const { return (flags() & kUnblockBit) != 0; }
  void set_unblock(bool unblock) { SetFlagBits(kUnblockBit, unblock); }

  bool is_caller_pumping_messages() const { return (flags() & kPumpingBit) != 0; }

  int32_t routing_id() const { return data() ? LoadHeaderField<int32_t>(kRoutingOffset) : 0; }
  void set_routing_id(int32_t routing_id);
  uint32_t type() const { return data() ? LoadHeaderField<uint32_t>(kTypeOffset) : 0; }
  uint32_t flags() const { return data() ? LoadHeaderField<uint32_t>(kFlagsOffset) : 0; }

  // The first message each end writes on a new pipe.
  bool is_hello() const { return routing_id() == kRoutingNone && type() == kHelloType; }

  // The hello of a process: its id, then |secret| as a second field unless it is 0 (only a
  // client whose channel id carries a secret passes one). Null when it cannot be built.
  static Message* CreateHello(int32_t process_id, uint32_t secret);

  // The fields of a received hello; each is -1 when the payload is too short for it.
  static void ReadHello(const Message& hello, int* process_id, int* secret);

  // The first byte after the one message starting at |range_start|, or null when
  // [range_start, range_end) does not hold a complete message.
  static const char* FindNext(const char* range_start, const char* range_end);

 protected:
  // The first kHeaderSize bytes on the wire, little-endian.
  struct Header : Pickle::Header {
    int32_t routing;
    uint32_t type;
    uint32_t flags;
  };
  static_assert(sizeof(Header) == kHeaderSize, "the wire header is 16 bytes");
  static constexpr size_t kRoutingOffset = 4;
  static constexpr size_t kTypeOffset = 8;
  static constexpr size_t kFlagsOffset = 12;

 private:
  // The header to change; fatal on a read-only view, null on a copy of an invalid one.
  Header* writable_header();
  void SetFlagBits(uint32_t bits, bool on);
};

}  // namespace IPC

#endif  // IPC_IPC_MESSAGE_H_
