// The demo client as the launcher tests' client double: what it recorded of its starts,
// and stopping every client a test caused to start.
#ifndef SUPPORT_LAUNCHER_CLIENT_WATCH_H_
#define SUPPORT_LAUNCHER_CLIENT_WATCH_H_

#include <string>
#include <vector>

#include "VeskGame/client_record.h"

namespace test {

// Watches the start record in |clientFolder| of the client for |oemId| and |userId|.
// Destruction stops every recorded client that still runs and waits for it to end.
class ClientWatch {
 public:
  ClientWatch(const std::wstring& oemId, const std::wstring& userId,
              const std::wstring& clientFolder);
  ~ClientWatch();
  ClientWatch(const ClientWatch&) = delete;
  ClientWatch& operator=(const ClientWatch&) = delete;

  // Waits up to |timeoutMs| until at least |count| starts are recorded.
  bool WaitForStarts(size_t count, unsigned long timeoutMs) const;
  std::vector<ClientStart> Starts() const;

  // Asks the running client to quit and waits for the recorded processes to end.
  void Stop();

 private:
  const std::wstring oemId_;
  const std::wstring userId_;
  const std::wstring recordPath_;
};

}  // namespace test

#endif  // SUPPORT_LAUNCHER_CLIENT_WATCH_H_
