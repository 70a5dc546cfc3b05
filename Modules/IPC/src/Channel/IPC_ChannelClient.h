// The client end of one broker channel: connects to a named channel, learns the id of the
// service it reached, and sends from any thread.
#ifndef IPC_CHANNEL_IPC_CHANNELCLIENT_H_
#define IPC_CHANNEL_IPC_CHANNELCLIENT_H_

#include <atomic>
#include <string>

#include "base/memory/scoped_ptr.h"
#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"
#include "base/time.h"
#include "Channel/IPC_ChannelListener.h"
#include "Channel/IPC_CloseTally.h"
#include "Thread/IPC_SharedEvent.h"
#include "ipc/ipc_sync_channel.h"
#include "ipc/ipc_sync_message_filter.h"

// Init and the close run on the owner thread (the one that called Init; "MainThread" in the
// module), where the sync channel's listener calls arrive too; the pipe lives on
// "IOThread". Send and Abort may be called from any thread. There is no reconnection: after
// a channel error the client stays closed and sends answer false.
class IPC_ChannelClient : public IPC_ChannelListener {
 public:
  IPC_ChannelClient();

  // Connects to |name| and asks the id of the service there; blocks the owner thread until
  // the answer, the channel's failure, or Abort. Another Init with the same name answers
  // true without reconnecting; with another name, false.
  bool Init(const std::string& name) override;

  // Init with |filter| in place before the channel connects, so that it sees every message
  // the peer sends, those that arrive during the id query too.
  bool InitWithFilter(const std::string& name, IPC::ChannelProxy::MessageFilter* filter);

  // Closes at once: a write still in flight is cut short.
  bool Close() override;

  // Closes once what was sent is written or |deadline| passes, and returns at once; |tally|
  // learns when the close ends and whether everything was written (or had nobody to reach
  // any more).
  void CloseAfterWriting(base::TimeTicks deadline, const scoped_refptr<IPC_CloseTally>& tally);

  // On the owner thread through the sync channel, elsewhere through the sync filter (which
  // exists once Init succeeded); a synchronous message blocks until its reply.
  bool Send(scoped_ptr<IPC::Message> message) override;

  void AddFilter(IPC::ChannelProxy::MessageFilter* filter) override;
  void RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) override;

  void OnChannelError() override;

  // From any thread: a blocked synchronous send gives up at once, and so does every later
  // Init and synchronous send of this client.
  void Abort();

 private:
  ~IPC_ChannelClient() override;

  void CloseImpl();
  // True when the close was posted; |closed| runs once it ends.
  bool CloseImplBy(base::TimeTicks deadline, const IPC::Channel::ClosedCallback& closed);
  bool OnOwnerThread() const;
  // Deleted on the owner thread, where its listener calls and watchers live.
  void DestroyChannel(scoped_ptr<IPC::SyncChannel> channel);
  scoped_refptr<IPC::SyncMessageFilter> sync_filter();

  scoped_ptr<IPC::SyncChannel> m_pChannel;  // owner thread only
  base::Lock m_FilterLock;
  scoped_refptr<IPC::SyncMessageFilter> m_SyncFilter;  // guarded by m_FilterLock
  // Set by Init before any other thread sees the client; answers false to posts once the
  // owner's loop is gone.
  scoped_refptr<base::MessageLoopProxy> m_pOwnerLoop;
  // Shared with the channel's IO-thread work, which may outlive a close that gave up waiting.
  scoped_refptr<IPC_SharedEvent> m_ShutdownEvent;
  std::atomic<bool> m_bAborted;
};

#endif  // IPC_CHANNEL_IPC_CHANNELCLIENT_H_
