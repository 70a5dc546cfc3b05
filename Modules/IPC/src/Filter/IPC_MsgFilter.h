// The base of the broker's message filters: each answers or routes one control message on
// "IOThread", where every one of its operations runs.
#ifndef IPC_FILTER_IPC_MSGFILTER_H_
#define IPC_FILTER_IPC_MSGFILTER_H_

#include "ipc/ipc_channel.h"
#include "ipc/ipc_channel_proxy.h"
#include "ipc/ipc_message.h"

// Sends straight on the channel it was added to, until the channel closes; filters send
// only synchronous replies.
class IPC_MsgFilter : public IPC::Message::Sender, public IPC::ChannelProxy::MessageFilter {
 public:
  IPC_MsgFilter();

  // Takes |message|; false (and the message deleted) once the channel is gone.
  bool Send(IPC::Message* message) override;

  void OnFilterAdded(IPC::Channel* channel) override;
  void OnChannelClosing() override;

 protected:
  ~IPC_MsgFilter() override;

 private:
  IPC::Channel* m_pChannel;  // not owned; null before the filter is added and after closing
};

#endif  // IPC_FILTER_IPC_MSGFILTER_H_
