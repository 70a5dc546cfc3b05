// What the channel tests and their peer program agree on: the peer's command line, the lines
// it reports on standard output, and the payloads both sides build and check.
#ifndef IPC_HELPERS_CHANNEL_PEER_PROTOCOL_H_
#define IPC_HELPERS_CHANNEL_PEER_PROTOCOL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "ipc/ipc_message.h"

namespace channel_peer {

// The program and its modes:
//   channel_peer server|client <channel id> [options]   an IPC::Channel that reports
//   channel_peer raw-partial <channel id> <event>       a raw client that writes a hello and
//                                                       half a message, signals <event>
//                                                       and then hangs
const wchar_t kProgram[] = L"channel_peer.exe";

// Options of the channel modes:
const char kReadyOption[] = "--ready";  // <event>: signalled once Connect has run
const char kEchoOption[] = "--echo";    // send every received message back
// <bytes>: right after Connect, send a pattern message with a payload of that size.
const char kSendOnListenOption[] = "--send-on-listen";
// <bytes>: once connected, send a pattern message of that size and close at once.
const char kSendAndCloseOption[] = "--send-and-close";

// Report lines, one per event, each flushed at once:
//   "connected <pid>"
//   "message <type> <payload size> <checksum as %08x> <io completion number>"
//   "send-result <0|1>"   "connect-failed"   "closed"   "error"   "timeout"
const char kMessageReportFormat[] = "message %u %u %08x %d";

// A client peer sends this message, holding the pid its OnChannelConnected saw, once
// connected.
const uint32_t kPeerPidType = 100;
// Messages whose payload is PatternPayload(size).
const uint32_t kPatternType = 1;

// How long the peer lives at most; its exit code is then kTimeoutExitCode.
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

#endif  // IPC_HELPERS_CHANNEL_PEER_PROTOCOL_H_
