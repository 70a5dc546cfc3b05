// The server end of one broker channel, with an id from the process-wide counter.
#ifndef IPC_CHANNEL_IPC_CHANNELSERVICE_H_
#define IPC_CHANNEL_IPC_CHANNELSERVICE_H_

#include <queue>
#include <string>

#include "base/time.h"

#include "base/memory/scoped_ptr.h"
#include "Channel/IPC_ChannelListener.h"

// Used on "MainThread" (Init, Close, Send); its pipe lives on "IOThread", and all of its
// traffic is handled by the filters added to it. Ids are the process id + 10000 for the
// first service of a process and the following integers after it, so 10000 itself never
// names a channel.
class IPC_ChannelService : public IPC_ChannelListener {
 public:
  IPC_ChannelService();

  // Opens the server pipe of |name| (a generated, verified name when empty) and adds the id
  // filter; false when the service is open already or the pipe cannot be created.
  bool Init(const std::string& name);

  // Asks "IOThread" to close the channel once what was sent is written (for at most 5 s)
  // and returns at once; false when not open.
  bool Close() override;

  // Like Close, with the writing cut short at |deadline|; |closed| runs once the channel is
  // closed. False, with |closed| never run, when not open or "IOThread" is gone.
  bool CloseAfterWriting(base::TimeTicks deadline, const IPC::Channel::ClosedCallback& closed);

  // Like Close, but returns once the pipe is closed (at most 5 s), so that its name can be
  // served again at once.
  bool CloseAndWait();

  // Before the first Init, messages are kept and sent by the first Send after it.
  bool Send(scoped_ptr<IPC::Message> message) override;

  void AddFilter(IPC::ChannelProxy::MessageFilter* filter) override;
  void RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) override;

 private:
  ~IPC_ChannelService() override;

  static int NextChannelId();
  // The channel is closing: nothing kept for it is sent any more.
  void ForgetChannel();

  scoped_ptr<IPC::ChannelProxy> m_pChannel;  // null until the first Init
  std::queue<scoped_ptr<IPC::Message>> m_PendingSends;  // dropped by a close
};

#endif  // IPC_CHANNEL_IPC_CHANNELSERVICE_H_
