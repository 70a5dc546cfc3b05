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

class IPC_ThreadEnviroment;

// The owner thread is "MainThread": the channel is made and closed there, and the sync
// channel's listener calls arrive there; the pipe lives on "IOThread". Init and Request
// block only their calling thread, never the owner, so that a peer that is slow or silent
// holds up nothing else of the module. Send and Close may be called from any thread. There
// is no reconnection: after a channel error the client stays closed and sends answer false.
class IPC_ChannelClient : public IPC_ChannelListener {
 public:
  // How long a glance at a pipe waits for a free instance: the shortest wait the OS offers.
  static const int kGlanceMs = 1;

  IPC_ChannelClient();

  // From a thread other than the module's: opens the channel to |name| on the owner thread,
  // with |filter| (may be null) in place before the channel connects, so that it sees every
  // message the peer sends, those that arrive during the id query too; then asks the id of
  // the service reached. False when the pipe is busy or missing, the channel fails, or
  // |deadline| passes first. Once per client.
  bool Init(IPC_ThreadEnviroment* environment,
            const std::string& name,
            IPC::ChannelProxy::MessageFilter* filter,
            base::TimeTicks deadline);

  // From a thread other than the module's, once connected: sends the synchronous |request|
  // and blocks until its reply, the channel's failure or close, or |deadline|.
  bool Request(scoped_ptr<IPC::Message> request, base::TimeTicks deadline);

  // Closes at once, on the owner thread: a write still in flight is cut short.
  bool Close() override;

  // Closes once what was sent is written or |deadline| passes, and returns at once; |tally|
  // learns when the close ends and whether everything was written (or had nobody to reach
  // any more). On the owner thread.
  void CloseAfterWriting(base::TimeTicks deadline, const scoped_refptr<IPC_CloseTally>& tally);

  // On the owner thread through the sync channel, elsewhere through the sync filter (which
  // exists once the channel is open); a synchronous message blocks until its reply.
  bool Send(scoped_ptr<IPC::Message> message) override;

  void AddFilter(IPC::ChannelProxy::MessageFilter* filter) override;
  void RemoveFilter(IPC::ChannelProxy::MessageFilter* filter) override;

  void OnChannelError() override;

 private:
  ~IPC_ChannelClient() override;

  // The owner thread's half of Init: makes the channel, whose pipe is opened at once,
  // and sets |m_bOpened| when it is.
  void Open(scoped_refptr<IPC::ChannelProxy::MessageFilter> filter);
  // Runs Open and waits until the sync filter can send; false when the pipe did not open or
  // |deadline| passed.
  bool OpenOnOwnerThread(IPC_ThreadEnviroment* environment,
                         IPC::ChannelProxy::MessageFilter* filter,
                         base::TimeTicks deadline);
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
  const scoped_refptr<base::MessageLoopProxy> m_pOwnerLoop;
  // Shared with the channel's IO-thread work, which may outlive a close that gave up waiting.
  scoped_refptr<IPC_SharedEvent> m_ShutdownEvent;
  // Set by Open; read by the connecting thread once Open has run.
  std::atomic<bool> m_bOpened;
};

#endif  // IPC_CHANNEL_IPC_CHANNELCLIENT_H_
