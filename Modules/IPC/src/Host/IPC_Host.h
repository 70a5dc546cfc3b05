// What an application holds when it uses the broker: a server or client host with a name, a
// communication id and callback lists.
#ifndef IPC_HOST_IPC_HOST_H_
#define IPC_HOST_IPC_HOST_H_

#include <atomic>
#include <deque>
#include <string>

#include "IPC_Broker.h"
#include "base/memory/ref_counted.h"
#include "base/time.h"
#include "Channel/IPC_CloseTally.h"
#include "Host/IPC_HostCallbacks.h"
#include "Host/IPC_MsgBuf.h"

// The public operations post their work and return at once: callback list changes and every
// call into the application run on "EventThread", sends on "MainThread"; each task holds a
// reference to the host. Close and Send run on "MainThread" only. The host manager
// owns registered hosts. Messages that arrive before the host's first listener is added
// (as they may while IPC_Connect returns) are kept for that listener, up to kHeldBytesLimit.
class IPC_Host : public base::RefCountedThreadSafe<IPC_Host> {
 public:
  IPC_Host(int mode, const std::string& name);

  // The most bytes kept for a listener not added yet; later messages are dropped.
  static const size_t kHeldBytesLimit = 16 * 1024 * 1024;

  // Closes the host's channels once what was sent is written, cutting the writing short at
  // |write_deadline|, and counts the closes on |tally|. Returns at once: the closer waits on
  // |tally|, so that "MainThread" goes on working for the other hosts meanwhile.
  virtual void Close(base::TimeTicks write_deadline,
                     const scoped_refptr<IPC_CloseTally>& tally) = 0;
  virtual void Send(int target_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) = 0;

  // Nothing of the host's channels reaches it any more. Close does it too; the host manager
  // does it for hosts it lets go of without a close, while it still holds them.
  virtual void DetachFromChannels() = 0;

  // From any thread: the host's channel to its one peer has failed, so nothing sent through
  // it arrives any more. Never for a server host, whose peers fail one by one.
  virtual bool HasLostPeer() const { return false; }

  bool AddListener(IPC_ListenerFunc listener, void* user);
  bool RemoveListener(IPC_ListenerFunc listener);
  bool AddStatus(IPC_StatusFunc callback, void* user);
  bool RemoveStatus(IPC_StatusFunc callback);
  bool SendAsync(int target_id, scoped_refptr<IPC_MsgBuf> buffer);
  bool OnStatus(int status, int id, int process_id);
  bool OnMsg(int source_id, scoped_refptr<IPC_MsgBuf> buffer, int tag);

  // Posted to "EventThread" when the host is shut down: no callback of this host runs once
  // the task has run, and nothing is kept for a listener any more.
  void DropCallbacks();

  int mode() const { return m_iMode; }
  int communication_id() const { return m_iCommunicationId; }
  const std::string& name() const { return m_strName; }

  // Set when the module's last host is being shut down: channel errors are then expected.
  void SetQuiet() { m_bQuiet = 1; }
  bool IsQuiet() const { return m_bQuiet != 0; }

 protected:
  friend class base::RefCountedThreadSafe<IPC_Host>;
  virtual ~IPC_Host();

  const int m_iMode;
  int m_iCommunicationId;  // -1 until opened; read from any thread once registered
  std::string m_strName;   // a client host's becomes its worker channel's name in Init

 private:
  void AddListenerTask(IPC_ListenerFunc listener, void* user);
  void RemoveListenerTask(IPC_ListenerFunc listener);
  void AddStatusTask(IPC_StatusFunc callback, void* user);
  void RemoveStatusTask(IPC_StatusFunc callback);
  void OnStatusTask(int status, int id, int process_id);
  void OnMsgTask(int source_id, scoped_refptr<IPC_MsgBuf> buffer, int tag);
  IPC_HostCallbacks* callbacks();

  struct HeldMessage {
    int source_id;
    scoped_refptr<IPC_MsgBuf> buffer;
  };

  scoped_refptr<IPC_HostCallbacks> m_pCallbacks;  // "EventThread" only; null until first use
  // Until the first listener is added or the callbacks are dropped; "EventThread" only.
  bool m_bHoldsMessages;
  std::deque<HeldMessage> m_HeldMessages;  // "EventThread" only
  size_t m_HeldBytes;                      // "EventThread" only
  std::atomic<int> m_bQuiet;
};

#endif  // IPC_HOST_IPC_HOST_H_
