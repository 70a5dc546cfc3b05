// channel_peer: a second process for tests of anything that talks over the channel layer. It
// runs a script given on its command line, one command after the other, and reports on
// standard output what its channel sees. ChannelPeer starts it and reads its report.
//
// Command line: channel_peer.exe <ready event> <command> [argument] <command> ...
//
// Commands:
//   listen <channel id>     a server IPC::Channel of that id, connected at once
//   connect <channel id>    a client IPC::Channel of that id, connected at once
//   ready                   signals the ready event (ChannelPeer::WaitUntilReady returns)
//   echo                    from now on every received message is sent back
//   send <bytes>            sends a pattern message with a payload of that many bytes
//   send-pid                sends a kPeerPidType message holding the pid that the channel's
//                           OnChannelConnected reported
//   close                   closes the channel
//   await-connected         runs the loop until the channel is connected
//   await-messages <n>      runs the loop until n messages have arrived in all
//   await-error             runs the loop until the channel reports an error
//   raw-connect <channel id>    opens the server's pipe without a channel and writes the
//                               hello of a client channel
//   raw-write-half <bytes>  writes the first half of a pattern message of that payload size
//   hang                    waits to be killed
// A channel error ends the script, except while it is awaited; a failed connect or raw
// write ends it at once. The peer exits with 0 at the end of its script, and with
// kTimeoutExitCode when it is still running after kPeerLifetimeMs.
//
// Report lines, one per event, each flushed at once:
//   "connected <pid>"       the channel's OnChannelConnected
//   "message <type> <payload size> <checksum as %08x> <io completion number>"
//   "send-result <0|1>"     what Send answered, for send and send-pid
//   "closed"   "error"   "connect-failed"   "timeout"   "bad-script"
#ifndef SUPPORT_IPC_CHANNEL_PEER_H_
#define SUPPORT_IPC_CHANNEL_PEER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "ipc/ipc_message.h"
#include "support/child_process.h"

namespace channel_peer {

const wchar_t kProgram[] = L"channel_peer.exe";

const char kMessageReportFormat[] = "message %u %u %08x %d";

// The message of send-pid.
const uint32_t kPeerPidType = 100;
// Messages whose payload is PatternPayload(size).
const uint32_t kPatternType = 1;

const int kPeerLifetimeMs = 60000;
const int kTimeoutExitCode = 3;

inline std::string PatternPayload(size_t size) {
  std::string payload(size, '\0');
  for (size_t i = 0; i < size; ++i)
    payload[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return payload;
}

// FNV-1a over |size| bytes.
inline uint32_t Checksum(const char* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i)
    hash = (hash ^ static_cast<uint8_t>(data[i])) * 16777619u;
  return hash;
}

inline IPC::Message* NewPatternMessage(size_t payload_size) {
  IPC::Message* message = new IPC::Message(0, kPatternType, IPC::Message::kPriorityNormal);
  std::string payload = PatternPayload(payload_size);
  message->WriteBytes(payload.data(), static_cast<int>(payload.size()));
  return message;
}

}  // namespace channel_peer

namespace test {

// One "message ..." line of the peer.
struct PeerMessage {
  unsigned type;
  unsigned size;
  unsigned checksum;
  int io;  // which IO completion of the peer delivered it
};

// What the peer printed and how it ended.
struct PeerReport {
  std::vector<std::string> lines;  // every line but the message lines
  std::vector<PeerMessage> messages;
  std::string errors;  // standard error
  unsigned long exit_code = 0xFFFFFFFF;
};

// The peer program as a child of a test; one per script run. A peer still running when
// the object dies is killed.
class ChannelPeer {
 public:
  ChannelPeer();
  ~ChannelPeer();

  // Starts the peer with |script|, the commands and arguments separated by spaces. A
  // failure to start is a test failure.
  bool Start(const std::string& script);
  // Waits up to kDeadlineMs for the script's "ready".
  bool WaitUntilReady();
  // Waits up to kDeadlineMs for the peer to end and reads its report.
  PeerReport Finish();
  void Kill();

  unsigned long pid() const { return process_.pid(); }

 private:
  std::string ready_event_name_;
  base::win::ScopedHandle ready_;
  ChildProcess process_;

  ChannelPeer(const ChannelPeer&) = delete;
  ChannelPeer& operator=(const ChannelPeer&) = delete;
};

}  // namespace test

#endif  // SUPPORT_IPC_CHANNEL_PEER_H_
