// A running client of the test's own, in the test process: the client's mutex, its request
// channel served through the broker's public interface, or both, with every request and
// every peer the channel saw.
#ifndef SUPPORT_LAUNCHER_CLIENT_DOUBLE_H_
#define SUPPORT_LAUNCHER_CLIENT_DOUBLE_H_

#include <string>
#include <vector>

#include "IPC_Broker.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace test {

struct ReceivedMessage {
  int source_id = 0;
  std::string bytes;  // as received, a sender's NUL included
};

// A client host that reached the channel: its communication id and process id.
struct ChannelPeer {
  int id = 0;
  unsigned long process_id = 0;
  bool gone = false;  // its channel failed: everything it sent has been received
};

// Made and destroyed on a test thread; the broker's callbacks fill it on the broker's
// callback thread. Destruction stops serving, then lets the mutex go.
class ClientDouble {
 public:
  enum Presence { kMutexAndChannel, kMutexOnly, kChannelOnly };

  ClientDouble(const std::wstring& oemId, const std::wstring& userId, Presence presence);
  ~ClientDouble();
  ClientDouble(const ClientDouble&) = delete;
  ClientDouble& operator=(const ClientDouble&) = delete;

  // True when the mutex is held and the channel served, as |presence| asked.
  bool IsReady() const;

  // Waits up to |timeoutMs| until every peer of process |processId| that connected is
  // gone, at least one having connected. False otherwise.
  bool WaitForPeerGone(unsigned long processId, unsigned long timeoutMs) const;
  // Waits up to |timeoutMs| until at least |count| messages have arrived.
  bool WaitForMessages(size_t count, unsigned long timeoutMs) const;

  std::vector<ReceivedMessage> Messages() const;
  std::vector<ChannelPeer> Peers() const;

 private:
  static bool IPC_CALL OnMessage(void* self, int sourceId, void* data, unsigned size);
  static void IPC_CALL OnStatus(void* self, void* host, Status status, int id, int processId);

  const Presence presence_;
  base::win::ScopedHandle mutex_;
  void* server_ = nullptr;
  mutable base::Lock lock_;
  std::vector<ReceivedMessage> messages_;  // guarded by lock_
  std::vector<ChannelPeer> peers_;         // guarded by lock_
};

}  // namespace test

#endif  // SUPPORT_LAUNCHER_CLIENT_DOUBLE_H_
