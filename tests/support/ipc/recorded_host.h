// A broker host of the test's own process whose listener and status callback write every
// call to a log, as report lines of the same form host_peer.exe writes.
#ifndef SUPPORT_IPC_RECORDED_HOST_H_
#define SUPPORT_IPC_RECORDED_HOST_H_

#include <string>
#include <vector>

#include "IPC_Broker.h"

namespace test {

class HostLog;

class RecordedHost {
 public:
  // Connects; handle() is null when that failed. The log's callbacks are added at once.
  RecordedHost(Mode mode, const std::string& name);
  // Shuts the host down unless ShutDown did.
  ~RecordedHost();

  void* handle() const { return handle_; }
  int id() const { return IPC_GetCommunicationID(handle_); }
  bool ShutDown();

  // Sends |text| (without a terminating NUL) through the handle form of IPC_Send.
  bool Send(int target, const std::string& text);

  // Waits up to |timeoutMs| for |line| to be logged.
  bool WaitFor(const std::string& line, unsigned long timeoutMs);
  std::vector<std::string> Lines();
  // The logged lines that start with |prefix|.
  std::vector<std::string> Lines(const std::string& prefix);

 private:
  void* handle_;
  // Never freed: a callback may still be delivered after the host is shut down.
  HostLog* log_;

  RecordedHost(const RecordedHost&) = delete;
  RecordedHost& operator=(const RecordedHost&) = delete;
};

}  // namespace test

#endif  // SUPPORT_IPC_RECORDED_HOST_H_
