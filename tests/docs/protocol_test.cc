// The protocol document against the code: every hex dump in docs/protocol.md is the bytes
// the broker's code produces for the document's values, and a peer that writes the dumped
// bytes in the documented order reaches a real server.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "Channel/IPC_ChannelMsg.h"
#include "ipc/internal/ipc_channel_win.h"
#include "support/child_process.h"
#include "support/ipc/host_peer_process.h"
#include "support/ipc/recorded_host.h"
#include "support/raw_pipe.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"
#include "support/wire_bytes.h"

namespace {

using test::Bytes;
using test::WireBytes;
typedef std::map<std::string, Bytes> Dumps;

// The values the document's dumps are made of.
const int32_t kClientPid = 4012;
const int kServerId = 13000;
const char kWorkerName[] = "3000.0.271828\\314159";
const char kData[] = "hello";
const size_t kDataSize = sizeof(kData) - 1;
const size_t kIdOffset = 16;  // the first payload field: a hello's pid, a request's id

std::wstring PipePath(const std::string& channel_id, int32_t* secret) {
  return IPC::Channel::ChannelImpl::PipeNameFor(channel_id, secret);
}

// The requests are the first synchronous messages of this process, so they carry request
// ids 0 and 1, as a client's first two requests do.
Dumps BuildCodeDumps() {
  Dumps dumps;
  int32_t secret = 0;
  PipePath(kWorkerName, &secret);
  dumps["hello"] = WireBytes(*std::unique_ptr<IPC::Message>(
      IPC::Message::CreateHello(kClientPid, static_cast<uint32_t>(secret))));
  int id = 0;
  ChannelMsg_ClientQueryId query(&id);
  dumps["query-id"] = WireBytes(query);
  dumps["query-id-reply"] = WireBytes(
      *std::unique_ptr<IPC::Message>(ChannelMsg_ClientQueryId::Reply(query, kServerId)));
  std::string name;
  ChannelMsg_ClientHostRequestService request(&name);
  dumps["request-service"] = WireBytes(request);
  dumps["request-service-reply"] = WireBytes(*std::unique_ptr<IPC::Message>(
      ChannelMsg_ClientHostRequestService::Reply(request, kWorkerName)));
  dumps["routing-message"] = WireBytes(
      ChannelMsg_RoutingMessage(IPC_TARGET_SERVER, IPC_RoutingData(kData, kDataSize, -1)));
  return dumps;
}

// Every "```hexdump <name>" block of the document, by name, as the bytes it lists. A line is
// an offset, two spaces, bytes one space apart and, after two more spaces, what they are.
Dumps DocumentDumps() {
  std::ifstream document(test::ProgramPath(L"protocol.md").c_str());
  EXPECT_TRUE(document) << "protocol.md is not beside the test";
  const std::string fence = "```hexdump ";
  Dumps dumps;
  std::string line;
  while (std::getline(document, line)) {
    if (line.compare(0, fence.size(), fence) != 0)
      continue;
    const std::string name = line.substr(fence.size());
    EXPECT_EQ(0u, dumps.count(name)) << name << " is dumped twice";
    Bytes& bytes = dumps[name];
    while (std::getline(document, line) && line != "```") {
      EXPECT_EQ(bytes.size(), std::stoul(line.substr(0, 4), nullptr, 16)) << name << ": " << line;
      std::istringstream hex(line.size() > 6 ? line.substr(6, line.find("  ", 6) - 6) : "");
      unsigned value;
      while (hex >> std::hex >> value)
        bytes.push_back(static_cast<uint8_t>(value));
    }
  }
  return dumps;
}

std::string Hex(const Bytes& bytes) {
  std::ostringstream text;
  for (uint8_t value : bytes)
    text << std::hex << std::setw(2) << std::setfill('0') << unsigned(value) << ' ';
  return text.str();
}

// One line per dump, for a comparison that shows every difference at once.
std::string Hex(const Dumps& dumps) {
  std::string text;
  for (const auto& dump : dumps)
    text += dump.first + ": " + Hex(dump.second) + "\n";
  return text;
}

int32_t IntAt(const Bytes& bytes, size_t offset) {
  int32_t value = 0;
  if (offset + sizeof(value) <= bytes.size())
    memcpy(&value, &bytes[offset], sizeof(value));
  return value;
}

Bytes WithIntAt(Bytes bytes, size_t offset, int32_t value) {
  if (offset + sizeof(value) <= bytes.size())
    memcpy(&bytes[offset], &value, sizeof(value));
  return bytes;
}

bool ReadMessage(test::RawPipe* pipe, Bytes* message) {
  Bytes payload;
  return pipe->Read(IPC::Message::kHeaderSize, message) &&
         pipe->Read(static_cast<uint32_t>(IntAt(*message, 0)), &payload) &&
         (message->insert(message->end(), payload.begin(), payload.end()), true);
}

// Writes |client_hello| and the document's id query; reads the server's hello and the
// reply, and answers the id in it (0 when none came).
int QueryId(test::RawPipe* pipe, const Bytes& client_hello, const Dumps& documented) {
  Bytes hello, reply;
  if (!pipe->Write(client_hello) || !pipe->Write(documented.at("query-id")) ||
      !ReadMessage(pipe, &hello) || !ReadMessage(pipe, &reply))
    return 0;
  // A server's hello is the document's without the secret, with the server's pid.
  const Bytes& documented_hello = documented.at("hello");
  const Bytes server_hello = WithIntAt(
      WithIntAt(Bytes(documented_hello.begin(), documented_hello.begin() + 20), 0, 4),
      kIdOffset, static_cast<int32_t>(GetCurrentProcessId()));
  EXPECT_EQ(Hex(server_hello), Hex(hello));
  const int id = IntAt(reply, reply.size() - 4);
  EXPECT_EQ(Hex(WithIntAt(documented.at("query-id-reply"), reply.size() - 4, id)), Hex(reply));
  return id;
}

TEST(ProtocolDocumentTest, EveryDumpIsTheBytesTheCodeProduces) {
  static const Dumps code = BuildCodeDumps();
  EXPECT_EQ(Hex(code), Hex(DocumentDumps()));
}

TEST(ProtocolDocumentTest, APeerWritingTheDumpedBytesReachesARealServer) {
  const Dumps documented = DocumentDumps();
  ASSERT_EQ(6u, documented.size());
  const std::string name = test::UniqueName("protocol-");
  test::RecordedHost server(IPC_MODE_SERVER, name);
  ASSERT_TRUE(server.handle());

  test::RawPipe rendezvous;
  int32_t no_secret = 0;
  ASSERT_TRUE(rendezvous.Open(PipePath(name, &no_secret)));
  // A server without a secret ignores the second field of a hello.
  EXPECT_EQ(server.id(), QueryId(&rendezvous, documented.at("hello"), documented));
  Bytes reply;
  ASSERT_TRUE(rendezvous.Write(documented.at("request-service")) &&
              ReadMessage(&rendezvous, &reply));
  ASSERT_GT(reply.size(), 24u);
  const Bytes& documented_reply = documented.at("request-service-reply");
  EXPECT_EQ(Hex(Bytes(documented_reply.begin() + 4, documented_reply.begin() + 20)),
            Hex(Bytes(reply.begin() + 4, reply.begin() + 20)));
  const std::string worker(reply.begin() + 24, reply.end());
  rendezvous.Close();

  test::RawPipe channel;
  int32_t secret = 0;
  ASSERT_TRUE(channel.Open(PipePath(worker, &secret)));
  const int client_id =
      QueryId(&channel, WithIntAt(documented.at("hello"), kIdOffset + 4, secret), documented);
  EXPECT_GT(client_id, server.id());
  ASSERT_TRUE(channel.Write(documented.at("routing-message")));
  EXPECT_TRUE(server.WaitFor(host_peer::MessageLine(0, client_id, kData, kDataSize),
                             test::kDeadlineMs));
}

}  // namespace
