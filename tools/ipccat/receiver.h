// What the broker delivers to one of ipccat's hosts: every message and status change is
// printed, and the main thread waits until enough messages came, the server went away or
// the time ran out.
#ifndef TOOLS_IPCCAT_RECEIVER_H_
#define TOOLS_IPCCAT_RECEIVER_H_

#include <condition_variable>
#include <mutex>

#include "IPC_Broker.h"

namespace ipccat {

class EventPrinter;

// The callbacks run on the broker's event thread; Wait on the main thread. The host must be
// shut down before the receiver dies, which stops the callbacks.
class Receiver {
 public:
  enum class Outcome { kCountReached, kServerGone, kTimedOut };

  // |count| messages end the wait (0: no limit); messages past it are not printed. With
  // |endsWithServer| a status error, which a client host reports when its server has gone,
  // ends it too.
  Receiver(EventPrinter* printer, unsigned count, bool endsWithServer);

  void Attach(void* host);

  // Waits for the end; |seconds| 0 waits without limit.
  Outcome Wait(unsigned seconds);

 private:
  static bool IPC_CALL OnMessage(void* user, int source, void* data, unsigned size);
  static void IPC_CALL OnStatus(void* user, void* host, Status status, int id, int processId);

  bool IsOver() const;  // lock_ held

  EventPrinter* const printer_;
  const unsigned count_;
  const bool endsWithServer_;

  std::mutex lock_;
  std::condition_variable changed_;
  unsigned received_ = 0;      // guarded by lock_
  bool serverGone_ = false;    // guarded by lock_

  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
};

}  // namespace ipccat

#endif  // TOOLS_IPCCAT_RECEIVER_H_
