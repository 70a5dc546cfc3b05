// The broker's three control messages and the payload of a routed message. Their type ids,
// kinds and payload layouts are a wire contract with every other broker process.
#ifndef IPC_CHANNEL_IPC_CHANNELMSG_H_
#define IPC_CHANNEL_IPC_CHANNELMSG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/ipc_message.h"
#include "ipc/ipc_sync_message.h"

// The application bytes of one routed message, as they travel inside ChannelMsg_RoutingMessage.
struct IPC_RoutingData {
  IPC_RoutingData() : flag(false), tag(-1) {}
  IPC_RoutingData(const char* bytes, size_t size, int message_tag)
      : data(bytes, bytes + size), flag(false), tag(message_tag) {}

  std::vector<char> data;  // never empty when the module sends it
  bool flag;               // always written false, ignored on receipt
  int tag;                 // -1 for application bytes; listeners see nothing else
};

// Asked by a client host on the server's rendezvous channel; the synchronous reply is the
// name of a private worker channel, or empty when none is ready.
class ChannelMsg_ClientHostRequestService : public IPC::SyncMessage {
 public:
  static const uint32_t ID = 24;

  // The reply is read into |worker_name|, which must outlive the send.
  explicit ChannelMsg_ClientHostRequestService(std::string* worker_name);

  // The reply to |request| carrying |worker_name|; null when no reply can be built.
  static IPC::Message* Reply(const IPC::Message& request, const std::string& worker_name);
};

// Asked by every client channel right after it connects; the synchronous reply is the id of
// the channel service that answered.
class ChannelMsg_ClientQueryId : public IPC::SyncMessage {
 public:
  static const uint32_t ID = 29;

  // The reply is read into |channel_id|, which must outlive the send.
  explicit ChannelMsg_ClientQueryId(int* channel_id);

  static IPC::Message* Reply(const IPC::Message& request, int channel_id);
};

// Application bytes between hosts. |peer_id| is the target in a message to the server and
// the source in a message from it.
class ChannelMsg_RoutingMessage : public IPC::Message {
 public:
  static const uint32_t ID = 35;

  ChannelMsg_RoutingMessage(int peer_id, const IPC_RoutingData& data);

  // Reads the peer id and the data of |message|; false, with nothing usable, when any field
  // does not read.
  static bool Read(const IPC::Message& message, int* peer_id, IPC_RoutingData* data);
};

// Whether a control request reads: it is a synchronous request with its header (the
// requests carry no parameters of their own). One that does not is answered with an error.
bool IPC_ControlRequestReads(const IPC::Message& request);

// The most application bytes one routed message carries: any more and the whole message
// would pass the channel layer's size limit, which the receiving peer rejects.
extern const size_t kMaxRoutingDataSize;

#endif  // IPC_CHANNEL_IPC_CHANNELMSG_H_
