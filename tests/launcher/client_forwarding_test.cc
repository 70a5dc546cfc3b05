// Forwarding end to end: the real Launcher.exe finding a running client and handing it its
// request over the broker. The client is the test process itself (its mutex and channel,
// or either alone), a frozen pipe, or the demo client.
#include <windows.h>

#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VeskGame/request_record.h"
#include "base/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "ipc/ipc_channel.h"
#include "launcher/instance_names.h"
#include "support/child_process.h"
#include "support/deadline.h"
#include "support/launcher/client_double.h"
#include "support/launcher/client_watch.h"
#include "support/launcher/default_oem_id_lock.h"
#include "support/launcher/launcher_run.h"
#include "support/temp_tree.h"
#include "support/unique_name.h"

namespace {

using test::ClientDouble;

// A launcher that finds no server gives up after three quick attempts.
const unsigned long kNoServerExitMs = 8000;
// A launcher whose server never answers waits out the broker's connection limit, which is
// the same on a slow machine.
const unsigned long kBrokerConnectLimitMs = 10000;
const unsigned long kFrozenServerExtraMs = 5000;
// Deadline for the client to see a launcher's channel come and go.
unsigned long DeliveryTimeoutMs() {
  return test::ScaledMs(20000);
}
const int kSimultaneousLaunchers = 5;
const size_t kLongMessage = 30000;

// The launch request whose argument line holds |tokens|, as the client receives it.
std::string JsonRequest(std::initializer_list<std::string> tokens) {
  std::string line;
  for (const std::string& token : tokens)
    line += " \\\"" + token + "\\\"";
  return "{\"content\":\"" + line + "\",\"message_id\":65537}\n" + std::string(1, '\0');
}

std::string TextRequest(const std::wstring& text) {
  return base::WideToUTF8(text) + std::string(1, '\0');
}

struct ForwardCase {
  const char* what;
  std::wstring oemId;
  std::wstring userId;
  std::wstring arguments;
  std::string request;  // empty: nothing is sent
};

class ClientForwardingTest : public testing::Test {
 protected:
  ClientForwardingTest() : oemId_(test::UniqueNumericId()) { test::LayInstall(tree_, L"", "1.0"); }

  test::DebuggedRun Run(const std::wstring& arguments) {
    return test::RunLauncher(test::LauncherCommandLine(tree_, L"", arguments), tree_.Root());
  }

  std::wstring ClientFolder() const { return tree_.Path(L"1.0"); }

  // Runs a launcher against a client that cannot take its request: it ends within
  // |limitMs| with exit code 0, traces nothing and starts no client. Ending by itself is
  // the launcher leaving nothing behind: it starts no process.
  void ExpectRequestLostWithin(unsigned long limitMs) {
    test::ClientWatch starts(oemId_, L"", ClientFolder());
    const ULONGLONG begin = GetTickCount64();
    EXPECT_TRUE(test::EndedWithTraces(Run(L"-scmd 123 web 0 -oemid " + oemId_), {}));
    EXPECT_LT(GetTickCount64() - begin, limitMs);
    EXPECT_TRUE(starts.Starts().empty());
  }

  // The id of the one peer that process |processId| connected with; 0 for none.
  static int PeerIdOf(const ClientDouble& client, unsigned long processId) {
    int id = 0;
    for (const test::ChannelPeer& peer : client.Peers()) {
      if (peer.process_id == processId) {
        EXPECT_EQ(0, id) << "process " << processId << " connected twice";
        id = peer.id;
      }
    }
    return id;
  }

  const std::wstring oemId_;
  test::TempTree tree_;
};

TEST_F(ClientForwardingTest, RunningClientReceivesExactlyOneRequestFromTheLaunchersHost) {
  const std::wstring kMessage = L"\u4F60\u597D \"world\" \\ \U0001F600";
  const ForwardCase kCases[] = {
      {"JSON request, OEM id defaulted", L"1101", L"42", L"-scmd 123 web 0 -uid 42",
       JsonRequest({"-scmd", "123", "web", "0", "-uid", "42", "-oemid", "1101"})},
      {"the -msg text instead of JSON", oemId_, L"7",
       L"-scmd 123 web 0 -uid 7 -oemid " + oemId_ + L" -msg \"\u4F60\u597D \\\"world\\\" \\ "
           L"\U0001F600\"",
       TextRequest(kMessage)},
      {"an empty -msg connects and sends nothing", oemId_, L"8",
       L"-scmd 123 web 0 -uid 8 -oemid " + oemId_ + L" -msg \"\"", ""},
      {"no user id: the channel is the OEM id's alone", oemId_, L"",
       L"-scmd 123 web 0 -oemid " + oemId_,
       JsonRequest({"-scmd", "123", "web", "0", "-uid", "", "-oemid", base::WideToUTF8(oemId_)})},
      // Near the platform's limit of 32 767 characters for the whole command line.
      {"a request of 30 000 characters arrives whole before the launcher ends", oemId_, L"9",
       L"-scmd 123 web 0 -uid 9 -oemid " + oemId_ + L" -msg " + std::wstring(kLongMessage, L'm'),
       TextRequest(std::wstring(kLongMessage, L'm'))},
  };
  test::DefaultOemIdLock defaultOemId;
  ASSERT_TRUE(defaultOemId.IsHeld());
  for (const ForwardCase& c : kCases) {
    SCOPED_TRACE(c.what);
    ClientDouble client(c.oemId, c.userId, ClientDouble::kMutexAndChannel);
    ASSERT_TRUE(client.IsReady());
    test::ClientWatch starts(c.oemId, c.userId, ClientFolder());

    const test::DebuggedRun run = Run(c.arguments);
    EXPECT_TRUE(test::EndedWithTraces(run, {}));
    ASSERT_TRUE(client.WaitForPeerGone(run.process_id, DeliveryTimeoutMs()));

    const std::vector<test::ReceivedMessage> messages = client.Messages();
    if (c.request.empty()) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(1u, messages.size());
      EXPECT_EQ(c.request, messages[0].bytes);
      EXPECT_EQ(PeerIdOf(client, run.process_id), messages[0].source_id);
    }
    EXPECT_TRUE(starts.Starts().empty());
  }
}

TEST_F(ClientForwardingTest, ClientHoldingItsMutexWithoutAChannelGetsNothingAndNoneStarts) {
  ClientDouble client(oemId_, L"", ClientDouble::kMutexOnly);
  ExpectRequestLostWithin(test::ScaledMs(kNoServerExitMs));
}

TEST_F(ClientForwardingTest, ClientServingItsChannelWithoutTheMutexIsNotFoundAndAnotherStarts) {
  ClientDouble client(oemId_, L"", ClientDouble::kChannelOnly);
  ASSERT_TRUE(client.IsReady());
  test::ClientWatch starts(oemId_, L"", ClientFolder());
  EXPECT_TRUE(test::EndedWithTraces(Run(L"-scmd 123 web 0 -quitafter 30000 -oemid " + oemId_),
                                    {test::LaunchSucceededTrace()}));
  EXPECT_TRUE(starts.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_TRUE(client.Peers().empty());
  EXPECT_TRUE(client.Messages().empty());
}

// A client that holds its mutex and accepts a connection on its channel's pipe, then never
// answers: no hello, no reply.
class FrozenClient {
 public:
  FrozenClient(const std::wstring& oemId, const std::wstring& userId)
      : mutex_(CreateMutexW(nullptr, TRUE, ClientMutexName(oemId, userId).c_str())),
        pipe_(CreateNamedPipeW(
            IPC::Channel::PipePath(base::WideToUTF8(ClientChannelName(oemId, userId))).c_str(),
            PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
            4096, 4096, 0, nullptr)) {}
  ~FrozenClient() {
    if (mutex_.IsValid())
      ReleaseMutex(mutex_.Get());
  }

  bool IsReady() const { return mutex_.IsValid() && pipe_.IsValid(); }

 private:
  base::win::ScopedHandle mutex_;
  base::win::ScopedFileHandle pipe_;
};

TEST_F(ClientForwardingTest, ClientThatNeverAnswersHoldsTheLauncherOnlyForTheConnectionLimit) {
  FrozenClient client(oemId_, L"");
  ASSERT_TRUE(client.IsReady());
  ExpectRequestLostWithin(kBrokerConnectLimitMs + test::ScaledMs(kFrozenServerExtraMs));
}

TEST_F(ClientForwardingTest, LaunchersStartedTogetherEachDeliverAtMostOnceAndStartNothing) {
  ClientDouble client(oemId_, L"", ClientDouble::kMutexAndChannel);
  ASSERT_TRUE(client.IsReady());
  test::ClientWatch starts(oemId_, L"", ClientFolder());
  const std::wstring arguments = L"-scmd 123 web 0 -oemid " + oemId_;

  test::ChildProcess launchers[kSimultaneousLaunchers];
  for (test::ChildProcess& launcher : launchers)
    ASSERT_TRUE(launcher.StartCommandLine(test::LauncherCommandLine(tree_, L"", arguments),
                                          tree_.Root()));
  std::set<unsigned long> launcherIds;
  for (test::ChildProcess& launcher : launchers) {
    unsigned long exitCode = 1;
    EXPECT_TRUE(launcher.WaitForExit(test::kLauncherRunTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    launcherIds.insert(launcher.pid());
  }
  ASSERT_TRUE(test::WaitUntil(
      [&client] {
        const std::vector<test::ChannelPeer> peers = client.Peers();
        for (const test::ChannelPeer& peer : peers) {
          if (!peer.gone)
            return false;
        }
        return !peers.empty();
      },
      DeliveryTimeoutMs()));

  const std::string request =
      JsonRequest({"-scmd", "123", "web", "0", "-uid", "", "-oemid", base::WideToUTF8(oemId_)});
  std::set<int> peerIds;
  for (const test::ChannelPeer& peer : client.Peers()) {
    EXPECT_EQ(1u, launcherIds.count(peer.process_id));
    peerIds.insert(peer.id);
  }
  std::set<int> sources;
  for (const test::ReceivedMessage& message : client.Messages()) {
    EXPECT_EQ(request, message.bytes);
    EXPECT_EQ(1u, peerIds.count(message.source_id));
    EXPECT_TRUE(sources.insert(message.source_id).second) << "a request arrived twice";
  }
  EXPECT_EQ(peerIds.size(), sources.size()) << "a launcher that connected sent nothing";
  EXPECT_TRUE(starts.Starts().empty());
}

TEST_F(ClientForwardingTest, DemoClientServesItsChannelAndRecordsEveryRequest) {
  test::ClientWatch client(oemId_, L"42", ClientFolder());
  const std::wstring arguments = L"-scmd 123 web 0 -uid 42 -quitafter 30000 -oemid " + oemId_;
  EXPECT_TRUE(test::EndedWithTraces(Run(arguments), {test::LaunchSucceededTrace()}));
  ASSERT_TRUE(client.WaitForStarts(1, test::kClientStartTimeoutMs));
  EXPECT_TRUE(client.Starts().front().servesChannel);

  EXPECT_TRUE(test::EndedWithTraces(Run(arguments), {}));
  EXPECT_TRUE(test::EndedWithTraces(Run(arguments + L" -msg \u4E2D\u6587"), {}));
  const std::wstring record = ClientRequestsPath(ClientFolder());
  ASSERT_TRUE(test::WaitUntil([&] { return ReadReceivedRequests(record).size() >= 2; },
                              DeliveryTimeoutMs()));

  const std::vector<ReceivedRequest> requests = ReadReceivedRequests(record);
  ASSERT_EQ(2u, requests.size());
  const std::string oemId = base::WideToUTF8(oemId_);
  EXPECT_EQ(JsonRequest({"-scmd", "123", "web", "0", "-uid", "42", "-oemid", oemId, "-quitafter",
                         "30000"}),
            requests[0].bytes);
  EXPECT_EQ(TextRequest(L"\u4E2D\u6587"), requests[1].bytes);
  EXPECT_GT(requests[0].sourceId, 10000);
  EXPECT_NE(requests[0].sourceId, requests[1].sourceId);
  EXPECT_EQ(1u, client.Starts().size());
}

}  // namespace
