// The named-pipe channel between two real processes: the hello exchange, client validation,
// the pipe path rule, framing across reads, the size limit, queued and cancelled writes, and
// peers that die or send hostile bytes.
#include "ipc/ipc_channel.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/message_loop_win.h"
#include "base/time.h"
#include "base/win/scoped_handle.h"
#include "ipc/internal/ipc_channel_win.h"
#include "ipc/ipc_message.h"
#include "support/handle_count.h"
#include "support/ipc/channel_peer.h"
#include "support/loop_runner.h"
#include "support/raw_pipe.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"
#include "support/wire_bytes.h"

namespace IPC {
namespace {

using test::Bytes;
using test::ChannelPeer;
using test::PeerReport;
using test::RawPipe;
using test::Concat;
using test::MessageHeaderBytes;
using test::WireBytes;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

const int32_t kNoRoute = -2;
const uint32_t kHello = 0xFFFF;
const uint32_t kNormalFlags = 2;

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// A client end for overlapped IO, as a channel would adopt it.
base::win::NativeHandle OpenClientEnd(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED, nullptr);
}

Bytes Int32Bytes(int32_t value) {
  return WireBytes(&value, sizeof(value));
}

// The hello of this process, as a client channel without a secret writes it.
Bytes OwnHello() {
  return Concat(MessageHeaderBytes(4, kNoRoute, kHello, kNormalFlags),
                Int32Bytes(static_cast<int32_t>(GetCurrentProcessId())));
}

Bytes PatternMessageBytes(size_t payload_size) {
  scoped_ptr<Message> message(channel_peer::NewPatternMessage(payload_size));
  return WireBytes(*message);
}

Bytes Prefix(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + size);
}

// Peer scripts: a server that reports until its channel fails, the same server sending
// kPeerPidType once it has read the client's hello, and a client that does the same.
std::string ServeScript(const std::string& channel_id) {
  return "listen " + channel_id + " ready await-error";
}

std::string ServeAndSendPidScript(const std::string& channel_id) {
  return "listen " + channel_id + " ready await-connected send-pid await-error";
}

std::string ClientScript(const std::string& channel_id) {
  return "connect " + channel_id + " await-connected send-pid await-error";
}

Bytes Garbage(size_t size) {
  Bytes bytes(size);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

test::PeerMessage Expected(uint32_t type, const std::string& payload) {
  test::PeerMessage message = {type, static_cast<unsigned>(payload.size()),
                             channel_peer::Checksum(payload.data(), payload.size()), 0};
  return message;
}

MATCHER_P(SameContent, expected, "") {
  return arg.type == expected.type && arg.size == expected.size &&
         arg.checksum == expected.checksum;
}

// Records what a channel in this process reports and ends the loop's run after each call,
// so that test::RunLoopUntil re-checks what it waits for.
class RecordingListener : public Channel::Listener {
 public:
  bool OnMessageReceived(const Message& message) override {
    messages.push_back(std::make_pair(message.type(),
                                      std::string(message.payload(), message.payload_size())));
    MessageLoop::current()->Quit();
    return true;
  }
  void OnChannelConnected(int32_t peer_pid) override {
    connected_pids.push_back(peer_pid);
    MessageLoop::current()->Quit();
  }
  void OnChannelError() override {
    ++errors;
    MessageLoop::current()->Quit();
  }

  std::vector<int32_t> connected_pids;
  std::vector<std::pair<uint32_t, std::string>> messages;  // type and payload
  int errors = 0;
};

class ChannelTest : public testing::Test {
 protected:
  // Connects to a server peer that was started ready, and sends this process's hello.
  void ConnectRawClient(RawPipe* pipe, const std::string& channel_id) {
    ASSERT_TRUE(pipe->Open(Channel::PipePath(channel_id)));
    ASSERT_TRUE(pipe->Write(OwnHello()));
  }

  // Connects to a server peer that was started ready with kListenAndSendPid, and reads its
  // hello and the message it sends once it has read ours: the peer's next read then takes
  // only what the test writes next.
  void ConnectRawClientAfterTheHellos(RawPipe* pipe, const std::string& channel_id) {
    ConnectRawClient(pipe, channel_id);
    Bytes hello_and_pid;
    ASSERT_TRUE(pipe->Read(20 + 20, &hello_and_pid));
  }

  // Starts a peer with |script| and waits for its "ready".
  void StartReadyPeer(test::ChannelPeer* peer, const std::string& script) {
    ASSERT_TRUE(peer->Start(script));
    ASSERT_TRUE(peer->WaitUntilReady()) << "the peer did not get ready";
  }

  std::string OwnConnectedLine() const {
    return "connected " + std::to_string(GetCurrentProcessId());
  }

  MessageLoopForIO loop_;
};

// Hello and validation ----------------------------------------------------------------------

TEST_F(ChannelTest, HelloExchangeTellsEachEndThePeersProcessId) {
  std::string id = test::UniqueName("hello-");
  RecordingListener listener;
  Channel server(id, Channel::kModeServer, &listener);
  ASSERT_TRUE(server.Connect());
  ChannelPeer peer;
  ASSERT_TRUE(peer.Start(ClientScript(id)));

  ASSERT_TRUE(test::RunLoopUntil([&] { return !listener.messages.empty(); }));
  ASSERT_THAT(listener.connected_pids, ElementsAre(static_cast<int32_t>(peer.pid())));
  EXPECT_EQ(static_cast<int32_t>(peer.pid()), server.peer_pid());
  // The peer's first message carries the pid its own OnChannelConnected saw.
  ASSERT_EQ(channel_peer::kPeerPidType, listener.messages[0].first);
  EXPECT_EQ(Int32Bytes(static_cast<int32_t>(GetCurrentProcessId())),
            WireBytes(listener.messages[0].second.data(), listener.messages[0].second.size()));

  server.Close();
  PeerReport report = peer.Finish();
  EXPECT_EQ(0u, report.exit_code);
  EXPECT_THAT(report.lines, ElementsAre(OwnConnectedLine(), "send-result 1", "error"));
}

TEST_F(ChannelTest, ServerWithSecretAcceptsAClientOfTheSameId) {
  std::string id = Channel::GenerateVerifiedChannelID(test::UniqueName("secret-"));
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RecordingListener listener;
  Channel client(id, Channel::kModeClient, &listener);
  ASSERT_TRUE(client.Connect());

  ASSERT_TRUE(test::RunLoopUntil([&] { return !listener.connected_pids.empty(); }));
  EXPECT_EQ(static_cast<int32_t>(peer.pid()), listener.connected_pids[0]);
  client.Close();
  EXPECT_THAT(peer.Finish().lines, ElementsAre(OwnConnectedLine(), "error"));
}

TEST_F(ChannelTest, ServerWithSecretFailsAHelloWithOnlyAPidOrAWrongSecret) {
  for (bool with_wrong_secret : {false, true}) {
    std::string id = Channel::GenerateVerifiedChannelID(test::UniqueName("secret-"));
    int32_t secret = 0;
    Channel::ChannelImpl::PipeNameFor(id, &secret);
    Bytes hello = OwnHello();
    if (with_wrong_secret) {
      hello = Concat(Concat(MessageHeaderBytes(8, kNoRoute, kHello, kNormalFlags),
                            Int32Bytes(static_cast<int32_t>(GetCurrentProcessId()))),
                     Int32Bytes(secret ^ 1));
    }
    ChannelPeer peer;
    StartReadyPeer(&peer, ServeScript(id));
    RawPipe pipe;
    ASSERT_TRUE(pipe.Open(Channel::PipePath(id)));
    // A validating server does not present its own secret. Its hello is read before ours
    // goes out, since the server may close the pipe as soon as it has judged ours.
    Bytes peer_hello;
    ASSERT_TRUE(pipe.Read(20, &peer_hello));
    ASSERT_TRUE(pipe.Write(Concat(hello, PatternMessageBytes(8))));
    PeerReport report = peer.Finish();
    EXPECT_THAT(report.lines, ElementsAre("error"));
    EXPECT_TRUE(report.messages.empty());
  }
}

TEST_F(ChannelTest, HelloWithEmptyPayloadReportsPidMinusOne) {
  std::string id = test::UniqueName("empty-hello-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RawPipe pipe;
  ASSERT_TRUE(pipe.Open(Channel::PipePath(id)));
  ASSERT_TRUE(pipe.Write(MessageHeaderBytes(0, kNoRoute, kHello, kNormalFlags)));
  ASSERT_TRUE(pipe.Write(PatternMessageBytes(4)));
  Bytes peer_hello;
  ASSERT_TRUE(pipe.Read(20, &peer_hello));
  pipe.Close();
  PeerReport report = peer.Finish();
  EXPECT_THAT(report.lines, ElementsAre("connected -1", "error"));
  EXPECT_THAT(report.messages,
              ElementsAre(SameContent(Expected(1, channel_peer::PatternPayload(4)))));
}

TEST_F(ChannelTest, ClientThatWroteAndLeftBeforeTheAcceptIsReadAndThenReported) {
  std::string id = test::UniqueName("came-and-went-");
  RecordingListener listener;
  Channel server(id, Channel::kModeServer, &listener);
  RawPipe pipe;
  ASSERT_TRUE(pipe.Open(Channel::PipePath(id)));
  ASSERT_TRUE(pipe.Write(Concat(OwnHello(), PatternMessageBytes(5))));
  pipe.Close();

  ASSERT_TRUE(server.Connect());
  ASSERT_TRUE(test::RunLoopUntil([&] { return listener.errors > 0; }));
  EXPECT_THAT(listener.connected_pids, ElementsAre(static_cast<int32_t>(GetCurrentProcessId())));
  EXPECT_EQ(1u, listener.messages.size());
}

// Pipe names ----------------------------------------------------------------------------------

TEST(ChannelPipeNameTest, SecretFollowsTheBackslashAndTheCharacterBeforeItIsDropped) {
  int32_t secret = -5;
  EXPECT_EQ(L"\\\\.\\pipe\\vesk.abc", Channel::ChannelImpl::PipeNameFor("abc", &secret));
  EXPECT_EQ(0, secret);
  EXPECT_EQ(L"\\\\.\\pipe\\vesk.x.1234",
            Channel::ChannelImpl::PipeNameFor("x.12345\\77", &secret));
  EXPECT_EQ(77, secret);
  EXPECT_EQ(L"\\\\.\\pipe\\vesk.4012.0.1",
            Channel::ChannelImpl::PipeNameFor("4012.0.15\\42", &secret));
  EXPECT_EQ(42, secret);
  // A backslash at the start keeps the whole id.
  EXPECT_EQ(L"\\\\.\\pipe\\vesk.\\9", Channel::ChannelImpl::PipeNameFor("\\9", &secret));
  EXPECT_EQ(9, secret);
  // A secret that is not a decimal number is no secret, at both ends alike.
  Channel::ChannelImpl::PipeNameFor("ab\\x1", &secret);
  EXPECT_EQ(0, secret);
}

TEST(ChannelIdTest, GeneratedIdsAreUniqueAndCarryANonZeroSecret) {
  std::string first = Channel::GenerateUniqueRandomChannelID();
  std::string second = Channel::GenerateUniqueRandomChannelID();
  unsigned pid = 0, counter_first = 0, counter_second = 0;
  int random = -1;
  ASSERT_EQ(3, sscanf(first.c_str(), "%u.%u.%d", &pid, &counter_first, &random));
  EXPECT_EQ(GetCurrentProcessId(), pid);
  EXPECT_GE(random, 0);
  ASSERT_EQ(3, sscanf(second.c_str(), "%u.%u.%d", &pid, &counter_second, &random));
  EXPECT_EQ(counter_first + 1, counter_second);

  std::string verified = Channel::GenerateVerifiedChannelID("room");
  EXPECT_EQ(0u, verified.find("room." + std::to_string(GetCurrentProcessId()) + "."));
  int32_t secret = 0;
  Channel::ChannelImpl::PipeNameFor(verified, &secret);
  EXPECT_GT(secret, 0);
  EXPECT_EQ(verified.substr(verified.find('\\') + 1), std::to_string(secret));
  EXPECT_EQ(0u, Channel::GenerateVerifiedChannelID("").find(
                    std::to_string(GetCurrentProcessId()) + "."));
}

TEST_F(ChannelTest, PipePathFollowsTheChannelIdAtBothEnds) {
  std::string unique = test::UniqueName("path");
  ChannelPeer server_peer;
  StartReadyPeer(&server_peer, ServeScript(unique + ".12345\\77"));
  RawPipe dropped_digit;
  EXPECT_FALSE(dropped_digit.Open(L"\\\\.\\pipe\\vesk." + Widen(unique) + L".12345"));
  RawPipe pipe;
  ASSERT_TRUE(pipe.Open(L"\\\\.\\pipe\\vesk." + Widen(unique) + L".1234"));
  Bytes hello;
  ASSERT_TRUE(pipe.Read(20, &hello));
  EXPECT_EQ(Concat(MessageHeaderBytes(4, kNoRoute, kHello, kNormalFlags),
                   Int32Bytes(static_cast<int32_t>(server_peer.pid()))),
            hello);
  pipe.Close();
  server_peer.Finish();

  // A client of that id presents the secret 77 in a 24-byte hello.
  RawPipe server;
  ASSERT_TRUE(server.Listen(L"\\\\.\\pipe\\vesk.c" + Widen(unique) + L".1234"));
  ChannelPeer client_peer;
  ASSERT_TRUE(client_peer.Start(ClientScript("c" + unique + ".12345\\77")));
  ASSERT_TRUE(server.AcceptClient());
  ASSERT_TRUE(server.Read(24, &hello));
  EXPECT_EQ(Concat(Concat(MessageHeaderBytes(8, kNoRoute, kHello, kNormalFlags),
                          Int32Bytes(static_cast<int32_t>(client_peer.pid()))),
                   Bytes({0x4D, 0x00, 0x00, 0x00})),
            hello);
  server.Close();
  client_peer.Finish();
}

TEST_F(ChannelTest, NamedServerIsInitializedOnceItsPipeExists) {
  std::string id = test::UniqueName("probe-");
  EXPECT_FALSE(Channel::IsNamedServerInitialized(id));
  RecordingListener listener;
  Channel server(id, Channel::kModeServer, &listener);
  EXPECT_TRUE(Channel::IsNamedServerInitialized(id));
}

TEST_F(ChannelTest, SecondServerForTheSameIdFailsToConnect) {
  std::string id = test::UniqueName("two-servers-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RecordingListener listener;
  Channel second(id, Channel::kModeServer, &listener);
  EXPECT_FALSE(second.Connect());
}

TEST_F(ChannelTest, ClientForAnUnservedNameFailsAtOnceNamingClientMode) {
  std::string id = test::UniqueName("nobody-");
  RecordingListener listener;
  base::TimeTicks start = base::TimeTicks::Now();
  Channel client(id, Channel::kModeClient, &listener);
  EXPECT_FALSE(client.Connect());
  EXPECT_LT((base::TimeTicks::Now() - start).InMilliseconds(), 1000);

  ChannelPeer peer;
  ASSERT_TRUE(peer.Start(ClientScript(id)));
  PeerReport report = peer.Finish();
  EXPECT_THAT(report.lines, ElementsAre("connect-failed"));
  EXPECT_THAT(report.errors, HasSubstr("Unable to create pipe \"\\\\.\\pipe\\vesk." + id +
                                       "\" in client mode. Error :2"));
}

// Framing -------------------------------------------------------------------------------------

TEST_F(ChannelTest, MessageArrivingAs4096And904BytesIsDeliveredOnce) {
  std::string id = test::UniqueName("split-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeAndSendPidScript(id));
  RawPipe pipe;
  ConnectRawClientAfterTheHellos(&pipe, id);
  // The peer reads at most a buffer of 4096 bytes at a time.
  ASSERT_TRUE(pipe.Write(PatternMessageBytes(5000 - 16)));
  pipe.Close();

  PeerReport report = peer.Finish();
  EXPECT_THAT(report.messages,
              ElementsAre(SameContent(Expected(1, channel_peer::PatternPayload(4984)))));
  EXPECT_THAT(report.lines, ElementsAre(OwnConnectedLine(), "send-result 1", "error"));
}

TEST_F(ChannelTest, ThreeMessagesInOneReadAreDeliveredInOrderByOneCompletion) {
  std::string id = test::UniqueName("three-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeAndSendPidScript(id));
  RawPipe pipe;
  ConnectRawClientAfterTheHellos(&pipe, id);
  Bytes three;
  for (uint32_t type = 11; type <= 13; ++type) {
    Message message(0, type, Message::kPriorityNormal);
    message.WriteString(std::string(type, 'x'));
    three = Concat(three, WireBytes(message));
  }
  ASSERT_TRUE(pipe.Write(three));
  pipe.Close();

  PeerReport report = peer.Finish();
  ASSERT_EQ(3u, report.messages.size());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(11 + i, report.messages[i].type);
    EXPECT_EQ(report.messages[0].io, report.messages[i].io);
  }
}

TEST_F(ChannelTest, MessageClaiming200MiBFailsOncePastTheLimit) {
  std::string id = test::UniqueName("too-big-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RawPipe pipe;
  ConnectRawClient(&pipe, id);
  const uint32_t kClaimed = 200u * 1024 * 1024;
  ASSERT_TRUE(pipe.Write(MessageHeaderBytes(kClaimed, 0, 1, kNormalFlags)));

  const size_t kChunk = 64 * 1024;
  Bytes chunk(kChunk, 0x5A);
  size_t written = 0;
  while (written < kClaimed && pipe.Write(chunk))
    written += kChunk;

  // The peer kept reading until buffered plus new bytes passed the limit.
  EXPECT_LT(written, kClaimed);
  EXPECT_GE(written, Channel::kMaximumMessageSize - 4 * kChunk);
  PeerReport report = peer.Finish();
  EXPECT_THAT(report.lines, ElementsAre(OwnConnectedLine(), "error"));
  EXPECT_TRUE(report.messages.empty());
  EXPECT_THAT(report.errors, HasSubstr("IPC message is too big"));
}

// Writing -------------------------------------------------------------------------------------

TEST_F(ChannelTest, SendBeforeTheClientConnectsIsWrittenAfterTheHello) {
  std::string id = test::UniqueName("early-send-");
  ChannelPeer peer;
  StartReadyPeer(&peer, "listen " + id + " send 12 ready await-error");
  RawPipe pipe;
  ASSERT_TRUE(pipe.Open(Channel::PipePath(id)));
  Bytes received;
  ASSERT_TRUE(pipe.Read(20 + 16 + 12, &received));
  EXPECT_EQ(Concat(Concat(MessageHeaderBytes(4, kNoRoute, kHello, kNormalFlags),
                          Int32Bytes(static_cast<int32_t>(peer.pid()))),
                   PatternMessageBytes(12)),
            received);
  pipe.Close();
  EXPECT_THAT(peer.Finish().lines, ElementsAre("send-result 1", "error"));
}

TEST_F(ChannelTest, ClosingWithAWriteInFlightCancelsItWithoutAChannelError) {
  std::string id = test::UniqueName("close-writing-");
  ChannelPeer peer;
  StartReadyPeer(&peer, "listen " + id + " ready await-connected send " +
                            std::to_string(1 << 20) + " close");
  RawPipe pipe;
  ConnectRawClient(&pipe, id);
  // Nothing is read, so the megabyte cannot leave the peer's pipe buffer.
  PeerReport report = peer.Finish();
  EXPECT_EQ(0u, report.exit_code);
  EXPECT_THAT(report.lines, ElementsAre(OwnConnectedLine(), "send-result 1", "closed"));
  EXPECT_THAT(report.errors, HasSubstr("pipe error: "));
}

TEST_F(ChannelTest, PeerKilledMidMessageIsReportedAsOneChannelError) {
  std::string id = test::UniqueName("killed-");
  RecordingListener listener;
  Channel server(id, Channel::kModeServer, &listener);
  ASSERT_TRUE(server.Connect());
  ChannelPeer peer;
  ASSERT_TRUE(peer.Start("raw-connect " + id + " raw-write-half 100 ready hang"));

  ASSERT_TRUE(test::RunLoopUntil([&] { return !listener.connected_pids.empty(); }));
  ASSERT_TRUE(peer.WaitUntilReady());
  peer.Kill();
  ASSERT_TRUE(test::RunLoopUntil([&] { return listener.errors > 0; }));
  test::RunLoopFor(100);
  EXPECT_EQ(1, listener.errors);
  EXPECT_TRUE(listener.messages.empty());
}

// Hostile peers -------------------------------------------------------------------------------

struct HostileCase {
  const char* name;
  Bytes bytes;                        // written after the hello
  size_t delivered;                   // well-formed messages the peer reports
};

class ChannelHostileInputTest : public ChannelTest,
                                public testing::WithParamInterface<HostileCase> {};

TEST_P(ChannelHostileInputTest, PeerDeliversOnlyWellFormedMessagesAndFailsTheChannel) {
  std::string id = test::UniqueName("hostile-");
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RawPipe pipe;
  ConnectRawClient(&pipe, id);
  ASSERT_TRUE(pipe.Write(GetParam().bytes));
  pipe.Close();

  PeerReport report = peer.Finish();
  EXPECT_EQ(0u, report.exit_code) << "the peer crashed";
  EXPECT_EQ(GetParam().delivered, report.messages.size());
  EXPECT_THAT(report.lines, ElementsAre(OwnConnectedLine(), "error"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChannelHostileInputTest,
    testing::Values(
        HostileCase{"TruncatedHeader", Bytes(10, 0x01), 0},
        HostileCase{"NegativeLength",
                    Concat(MessageHeaderBytes(0xFFFFFFF0u, 0, 1, kNormalFlags), Garbage(100)),
                    0},
        HostileCase{"OversizedClaim",
                    Concat(MessageHeaderBytes(0x7FFFFFFFu, 0, 1, kNormalFlags), Garbage(5000)),
                    0},
        HostileCase{"GoodMessageThenTruncatedOne",
                    Concat(PatternMessageBytes(8), Prefix(PatternMessageBytes(40), 30)),
                    1},
        HostileCase{"ManyEmptyMessages",
                    Concat(MessageHeaderBytes(0, 0, 1, 0), MessageHeaderBytes(0, 0, 1, 0)), 2},
        HostileCase{"GarbageHeaderFields",
                    Concat(MessageHeaderBytes(16, 0x7FFFFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu),
                           Garbage(16)),
                    1},
        HostileCase{"GarbageAfterAHugeClaim",
                    Concat(Bytes({0xF0, 0xFF, 0xFF, 0xFF}), Garbage(4092)), 0}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST_F(ChannelTest, FirstMessageThatIsNotAHelloFailsAValidatingServer) {
  std::string id = Channel::GenerateVerifiedChannelID(test::UniqueName("no-hello-"));
  ChannelPeer peer;
  StartReadyPeer(&peer, ServeScript(id));
  RawPipe pipe;
  ASSERT_TRUE(pipe.Open(Channel::PipePath(id)));
  ASSERT_TRUE(pipe.Write(PatternMessageBytes(8)));
  PeerReport report = peer.Finish();
  EXPECT_THAT(report.lines, ElementsAre("error"));
  EXPECT_TRUE(report.messages.empty());
}

// Resources -----------------------------------------------------------------------------------

TEST_F(ChannelTest, ThousandConnectSendCloseCyclesLeaveTheHandleCountUnchanged) {
  auto cycle = [](int i) {
    std::string id = test::UniqueName("cycle-");
    RecordingListener server_listener;
    RecordingListener client_listener;
    scoped_ptr<Channel> server(new Channel(id, Channel::kModeServer, &server_listener));
    scoped_ptr<Channel> client(new Channel(id, Channel::kModeClient, &client_listener));
    ASSERT_TRUE(server->Connect());
    ASSERT_TRUE(client->Connect());
    client->Send(channel_peer::NewPatternMessage(16));
    ASSERT_TRUE(test::RunLoopUntil([&] { return !server_listener.messages.empty(); }));
    // Either end may go first.
    if (i % 2)
      server.reset();
    client.reset();
  };
  cycle(0);  // lazily created runtime state is made once
  int handles_before = test::CountOpenHandles();
  for (int i = 1; i <= 1000 && !HasFatalFailure(); ++i)
    cycle(i);
  EXPECT_EQ(handles_before, test::CountOpenHandles());
}

TEST_F(ChannelTest, AdoptedPipeEndIsAlreadyConnected) {
  std::wstring path = Channel::PipePath(test::UniqueName("adopted-"));
  RawPipe raw_server;
  ASSERT_TRUE(raw_server.Listen(path));
  base::win::ScopedFileHandle client_end(OpenClientEnd(path));
  ASSERT_TRUE(client_end.IsValid());
  ASSERT_TRUE(raw_server.AcceptClient());

  RecordingListener listener;
  Channel channel(ChannelHandle(std::move(client_end)), Channel::kModeClient, &listener);
  ASSERT_TRUE(channel.Connect());
  ASSERT_TRUE(raw_server.Write(Concat(OwnHello(), PatternMessageBytes(3))));
  ASSERT_TRUE(test::RunLoopUntil([&] { return !listener.messages.empty(); }));
  Bytes hello;
  ASSERT_TRUE(raw_server.Read(20, &hello));
  EXPECT_EQ(OwnHello(), hello);
}

TEST_F(ChannelTest, PipeEndThatNoChannelAdoptsOrConnectsIsClosed) {
  const std::function<void(ChannelHandle)> uses[] = {
      [](ChannelHandle) {},
      [](ChannelHandle handle) {
        RecordingListener listener;
        Channel channel(std::move(handle), Channel::kModeClient, &listener);
      },
  };
  for (const std::function<void(ChannelHandle)>& use : uses) {
    std::wstring path = Channel::PipePath(test::UniqueName("unused-"));
    RawPipe raw_server;
    ASSERT_TRUE(raw_server.Listen(path));
    int handles_before = test::CountOpenHandles();
    base::win::ScopedFileHandle client_end(OpenClientEnd(path));
    ASSERT_TRUE(client_end.IsValid());
    use(ChannelHandle(std::move(client_end)));
    EXPECT_EQ(handles_before, test::CountOpenHandles());
  }
}

}  // namespace
}  // namespace IPC
