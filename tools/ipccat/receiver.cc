// Counting and printing what one host receives.
#include "tools/ipccat/receiver.h"

#include <chrono>
#include <string>

#include "tools/ipccat/event_printer.h"

namespace ipccat {

Receiver::Receiver(EventPrinter* printer, unsigned count, bool endsWithServer)
    : printer_(printer), count_(count), endsWithServer_(endsWithServer) {}

void Receiver::Attach(void* host) {
  IPC_AddListener(host, &Receiver::OnMessage, this);
  IPC_AddStatusCallback(host, &Receiver::OnStatus, this);
}

Receiver::Outcome Receiver::Wait(unsigned seconds) {
  std::unique_lock<std::mutex> hold(lock_);
  const auto over = [this] { return IsOver(); };
  if (seconds == 0)
    changed_.wait(hold, over);
  else if (!changed_.wait_for(hold, std::chrono::seconds(seconds), over))
    return Outcome::kTimedOut;
  return serverGone_ ? Outcome::kServerGone : Outcome::kCountReached;
}

bool Receiver::IsOver() const {
  return serverGone_ || (count_ != 0 && received_ >= count_);
}

bool IPC_CALL Receiver::OnMessage(void* user, int source, void* data, unsigned size) {
  Receiver* self = static_cast<Receiver*>(user);
  std::lock_guard<std::mutex> hold(self->lock_);
  if (self->IsOver())
    return true;
  const std::string bytes = size != 0 ? std::string(static_cast<const char*>(data), size)
                                      : std::string();
  self->printer_->Message(source, bytes);
  ++self->received_;
  self->changed_.notify_all();
  return true;
}

void IPC_CALL Receiver::OnStatus(void* user, void*, Status status, int id, int processId) {
  Receiver* self = static_cast<Receiver*>(user);
  std::lock_guard<std::mutex> hold(self->lock_);
  self->printer_->Status(status, id, processId);
  if (self->endsWithServer_ && status == IPC_STATUS_ERROR) {
    self->serverGone_ = true;
    self->changed_.notify_all();
  }
}

}  // namespace ipccat
