// A host of the test's process with logging callbacks.
#include "support/ipc/recorded_host.h"

#include <atomic>

#include "base/synchronization/lock.h"
#include "support/deadline.h"
#include "support/ipc/host_peer_process.h"

namespace test {

namespace {

// The slot the log's lines name: the test's process holds its hosts one per object.
const int kOwnSlot = 0;

}  // namespace

// The lines of one host, written on the module's event thread, read by the test.
class HostLog {
 public:
  explicit HostLog(void* host) : host_(host) {}

  static bool IPC_CALL OnMessage(void* user, int source_id, void* data, unsigned size) {
    static_cast<HostLog*>(user)->Add(host_peer::MessageLine(kOwnSlot, source_id, data, size));
    return true;
  }

  static void IPC_CALL OnStatus(void* user, void* host, Status status, int id, int process_id) {
    HostLog* log = static_cast<HostLog*>(user);
    int host_slot = host == log->host_ ? kOwnSlot : -1;
    log->Add(host_peer::StatusLine(kOwnSlot, status, id, process_id, host_slot));
  }

  std::vector<std::string> Lines() {
    base::AutoLock hold(lock_);
    return lines_;
  }

 private:
  void Add(const std::string& line) {
    base::AutoLock hold(lock_);
    lines_.push_back(line);
  }

  void* const host_;
  base::Lock lock_;
  std::vector<std::string> lines_;  // guarded by lock_
};

RecordedHost::RecordedHost(Mode mode, const std::string& name)
    : handle_(IPC_Connect(mode, name.c_str())), log_(new HostLog(handle_)) {
  IPC_AddListener(handle_, &HostLog::OnMessage, log_);
  IPC_AddStatusCallback(handle_, &HostLog::OnStatus, log_);
}

RecordedHost::~RecordedHost() {
  ShutDown();
}

bool RecordedHost::ShutDown() {
  void* handle = handle_;
  handle_ = nullptr;
  return handle && IPC_ShutDown(handle);
}

bool RecordedHost::Send(int target, const std::string& text) {
  return IPC_Send(handle_, target, const_cast<char*>(text.data()),
                  static_cast<unsigned>(text.size()));
}

bool RecordedHost::WaitFor(const std::string& line, unsigned long timeoutMs) {
  return WaitUntil(
      [&] {
        for (const std::string& logged : log_->Lines()) {
          if (logged == line)
            return true;
        }
        return false;
      },
      timeoutMs);
}

std::vector<std::string> RecordedHost::Lines() {
  return log_->Lines();
}

std::vector<std::string> RecordedHost::Lines(const std::string& prefix) {
  std::vector<std::string> matching;
  for (const std::string& line : Lines()) {
    if (line.compare(0, prefix.size(), prefix) == 0)
      matching.push_back(line);
  }
  return matching;
}

}  // namespace test
