// Building, answering and reading the control messages.
#include "Channel/IPC_ChannelMsg.h"

#include "ipc/internal/ipc_sync_header.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_message_utils.h"

namespace {

// The routed payload around the bytes: peer id, byte count, flag and tag, 4 bytes each.
const size_t kRoutingFieldsSize = 4 * sizeof(int32_t);

// The reply to |request| with |value|, or with the reply-error bit when the request does
// not read.
template <class T>
IPC::Message* GenerateControlReply(const IPC::Message& request, const T& value) {
  IPC::Message* reply = IPC::SyncMessage::GenerateReply(&request);
  if (!reply)
    return nullptr;
  if (IPC_ControlRequestReads(request))
    IPC::WriteParam(reply, value);
  else
    reply->set_reply_error();
  return reply;
}

}  // namespace

bool IPC_ControlRequestReads(const IPC::Message& request) {
  IPC::SyncHeader header;
  return request.is_sync() && IPC::ReadSyncHeader(request, &header);
}

// Rounded down to the 4-byte unit in which the channel layer pads a byte block.
const size_t kMaxRoutingDataSize =
    (IPC::Channel::kMaximumMessageSize - IPC::Message::kHeaderSize - kRoutingFieldsSize) & ~size_t(3);

ChannelMsg_ClientHostRequestService::ChannelMsg_ClientHostRequestService(std::string* worker_name)
    : IPC::SyncMessage(IPC::Message::kRoutingControl, ID, IPC::Message::kPriorityNormal,
                       new IPC::ParamDeserializer<Tuple1<std::string&>>(
                           MakeRefTuple(*worker_name))) {}

// static
IPC::Message* ChannelMsg_ClientHostRequestService::Reply(const IPC::Message& request,
                                                          const std::string& worker_name) {
  return GenerateControlReply(request, worker_name);
}

ChannelMsg_ClientQueryId::ChannelMsg_ClientQueryId(int* channel_id)
    : IPC::SyncMessage(IPC::Message::kRoutingControl, ID, IPC::Message::kPriorityNormal,
                       new IPC::ParamDeserializer<Tuple1<int&>>(MakeRefTuple(*channel_id))) {}

// static
IPC::Message* ChannelMsg_ClientQueryId::Reply(const IPC::Message& request, int channel_id) {
  return GenerateControlReply(request, channel_id);
}

ChannelMsg_RoutingMessage::ChannelMsg_RoutingMessage(int peer_id, const IPC_RoutingData& data)
    : IPC::Message(IPC::Message::kRoutingControl, ID, IPC::Message::kPriorityNormal) {
  IPC::WriteParam(this, peer_id);
  IPC::WriteParam(this, data.data);
  IPC::WriteParam(this, data.flag);
  IPC::WriteParam(this, data.tag);
}

// static
bool ChannelMsg_RoutingMessage::Read(const IPC::Message& message,
                                     int* peer_id,
                                     IPC_RoutingData* data) {
  PickleIterator iter(message);
  return IPC::ReadParam(&message, &iter, peer_id) &&
         IPC::ReadParam(&message, &iter, &data->data) &&
         IPC::ReadParam(&message, &iter, &data->flag) &&
         IPC::ReadParam(&message, &iter, &data->tag);
}
