// The client end of a channel written by hand on a raw pipe: for tests that put exactly the
// bytes they choose on a server's pipe, well-formed or not, and read what comes back.
#ifndef SUPPORT_IPC_RAW_CHANNEL_CLIENT_H_
#define SUPPORT_IPC_RAW_CHANNEL_CLIENT_H_

#include <cstdint>
#include <string>

#include "base/win/scoped_handle.h"

namespace IPC {
class Message;
}

namespace test {

// The broker's control message types, as the wire carries them.
const uint32_t kRequestServiceType = 24;
const uint32_t kQueryIdType = 29;
const uint32_t kRoutingType = 35;

class RawChannelClient {
 public:
  RawChannelClient();
  ~RawChannelClient();

  // Opens the server pipe of |channel_id| and writes the hello a channel client writes
  // (with the id's secret). False when the pipe cannot be opened.
  bool Open(const std::string& channel_id);
  // The same with |secret| in the hello in place of the id's own.
  bool OpenPresenting(const std::string& channel_id, uint32_t secret);
  void Close();

  bool Write(const IPC::Message& message);
  bool WriteBytes(const std::string& bytes);

  // Reads the next whole message, skipping the server's hello, into |message| (header and
  // payload). False when none comes within |timeoutMs| or the pipe breaks.
  bool Read(std::string* message, unsigned long timeoutMs);

  // Sends a synchronous request of |type| with an empty parameter list and reads its reply.
  bool Ask(unsigned type, std::string* reply, unsigned long timeoutMs);

  // On a rendezvous: asks for a worker as a client host does, and reads the worker's channel
  // id from the reply. False without a reply or with an empty id.
  bool RequestWorker(std::string* channel_id, unsigned long timeoutMs);

 private:
  bool ReadExactly(char* buffer, size_t size, unsigned long timeoutMs);

  base::win::ScopedFileHandle pipe_;
  base::win::ScopedHandle read_done_;
  bool hello_read_;

  RawChannelClient(const RawChannelClient&) = delete;
  RawChannelClient& operator=(const RawChannelClient&) = delete;
};

}  // namespace test

#endif  // SUPPORT_IPC_RAW_CHANNEL_CLIENT_H_
