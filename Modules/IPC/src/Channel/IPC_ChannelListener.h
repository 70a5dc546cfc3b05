// The broker's wrapper around one named-pipe channel: its name, its id, and opening,
// closing and sending through it.
#ifndef IPC_CHANNEL_IPC_CHANNELLISTENER_H_
#define IPC_CHANNEL_IPC_CHANNELLISTENER_H_

#include <cstdint>
#include <string>

#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "ipc/ipc_channel.h"
#include "ipc/ipc_channel_proxy.h"
#include "ipc/ipc_message.h"

// A service (the server end, IPC_ChannelService) knows its id from construction; a client
// (IPC_ChannelClient) learns the id of the service it reached. All traffic the broker
// handles is consumed by filters; a message that reaches the listener is dropped.
class IPC_ChannelListener : public IPC::Channel::Listener,
                            public base::RefCountedThreadSafe<IPC_ChannelListener> {
 public:
  // The channel states reported to hosts; no other value is ever reported.
  enum Status {
    kConnected = 0,
    kError = 2
  };

  IPC_ChannelListener();

  bool OnMessageReceived(const IPC::Message& message) override;

  virtual bool Close() = 0;
  virtual bool Send(scoped_ptr<IPC::Message> message) = 0;
  virtual void AddFilter(IPC::ChannelProxy::MessageFilter* filter) = 0;
  virtual void RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) = 0;

  const std::string& name() const { return m_strName; }
  int channel_id() const { return m_iChannelId; }
  bool inited() const { return m_bInited; }

 protected:
  friend class base::RefCountedThreadSafe<IPC_ChannelListener>;
  ~IPC_ChannelListener() override;

  std::string m_strName;  // empty until Init
  int m_iChannelId;       // -1 until known
  bool m_bInited;
};

#endif  // IPC_CHANNEL_IPC_CHANNELLISTENER_H_
