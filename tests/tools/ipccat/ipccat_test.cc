// ipccat end to end: serve, send and listen as separate processes, their JSON lines and
// their exit codes.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "IPC_Broker.h"
#include "support/child_process.h"
#include "support/deadline.h"
#include "support/ipc/host_peer_process.h"
#include "support/unique_name.h"

namespace {

const unsigned long kRunTimeoutMs = 120000;
const wchar_t kProgram[] = L"ipccat.exe";

std::wstring Wide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

std::vector<Json::Value> JsonLines(const std::string& output) {
  std::vector<Json::Value> events;
  std::istringstream lines(output);
  std::string line;
  Json::CharReaderBuilder builder;
  while (std::getline(lines, line)) {
    std::istringstream stream(line);
    Json::Value event;
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(builder, stream, &event, &errors)) << line;
    events.push_back(event);
  }
  return events;
}

// |errors| without the runtime's own diagnostic lines, which start with '[' (a connection
// that fails logs why); what remains is what ipccat itself says.
std::string WithoutRuntimeLog(const std::string& errors) {
  std::istringstream lines(errors);
  std::string kept;
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] != '[')
      kept += line + "\n";
  }
  return kept;
}

struct Outcome {
  unsigned long exitCode = 0;
  unsigned long pid = 0;
  std::string output;
  std::string errors;
};

Outcome Finish(test::ChildProcess* child) {
  Outcome run;
  EXPECT_TRUE(child->WaitForExit(kRunTimeoutMs, &run.exitCode));
  run.pid = child->pid();
  run.output = child->ReadOutput();
  run.errors = child->ReadErrors();
  return run;
}

Outcome RunIpccat(const std::wstring& arguments, const std::string& input = std::string()) {
  test::ChildProcess child;
  EXPECT_TRUE(child.Start(kProgram, arguments, input)) << arguments;
  return Finish(&child);
}

// The one event of |kind| among |events|.
Json::Value OnlyEvent(const std::vector<Json::Value>& events, const char* kind) {
  std::vector<Json::Value> found;
  for (const Json::Value& event : events) {
    if (event["event"] == kind)
      found.push_back(event);
  }
  EXPECT_EQ(1u, found.size()) << kind;
  return found.empty() ? Json::Value() : found[0];
}

void ExpectReady(const Json::Value& event, const std::string& name, unsigned long pid) {
  EXPECT_EQ("ready", event["event"].asString());
  EXPECT_EQ(name, event["name"].asString());
  EXPECT_GT(event["id"].asInt(), IPC_TARGET_SERVER);
  EXPECT_EQ(pid, event["pid"].asUInt());
}

// What a message event says: its sender, its bytes and its text, if it has one.
std::string Describe(int source, const std::string& hex, const Json::Value& text) {
  return std::to_string(source) + " " + hex + " " +
         (text.isString() ? "text:" + text.asString() : "no text");
}

// Waits until the ipccat server of |name| answers: a client of this process gets in.
bool WaitUntilServed(const std::string& name) {
  return test::WaitUntil(
      [&] {
        void* probe = IPC_Connect(IPC_MODE_CLIENT, name.c_str());
        return probe && IPC_ShutDown(probe);
      },
      kRunTimeoutMs);
}

// This process serving a name, noting the ids of the clients that connect.
class TestServer {
 public:
  explicit TestServer(const std::string& name)
      : host_(IPC_Connect(IPC_MODE_SERVER, name.c_str())) {
    if (host_)
      IPC_AddStatusCallback(host_, &TestServer::OnStatus, this);
  }
  ~TestServer() { ShutDown(); }

  bool IsServing() const { return host_ != nullptr; }
  void ShutDown() {
    if (host_)
      IPC_ShutDown(host_);
    host_ = nullptr;
  }

  std::set<int> WaitForClients(size_t count) {
    test::WaitUntil([&] { return Clients().size() >= count; }, kRunTimeoutMs);
    return Clients();
  }

 private:
  std::set<int> Clients() {
    std::lock_guard<std::mutex> hold(lock_);
    return clients_;
  }

  static void IPC_CALL OnStatus(void* user, void*, Status status, int id, int) {
    TestServer* self = static_cast<TestServer*>(user);
    std::lock_guard<std::mutex> hold(self->lock_);
    if (status == IPC_STATUS_CONNECTED)
      self->clients_.insert(id);
  }

  void* host_;
  std::mutex lock_;
  std::set<int> clients_;  // guarded by lock_
};

TEST(IpccatTest, ServePrintsEveryMessageThatSendDelivers) {
  const std::string name = test::UniqueName("ipccat-serve-");
  const struct {
    std::wstring arguments;
    std::string input;
    std::vector<std::string> hexes;
    std::vector<const char*> texts;  // null: the bytes are no UTF-8 text
  } cases[] = {
      {L"hello", "", {"68656c6c6f"}, {"hello"}},
      {L"--hex 00FF41", "", {"00ff41"}, {nullptr}},
      {L"--nul caf\u00e9", "", {"636166c3a900"}, {"caf\xc3\xa9"}},
      {L"-", "one\r\ntwo\n\nthree", {"6f6e65", "74776f", "7468726565"}, {"one", "two", "three"}},
  };
  test::ChildProcess server;
  ASSERT_TRUE(server.Start(kProgram, L"serve " + Wide(name) + L" --json --count 6 --seconds 600"));
  ASSERT_TRUE(WaitUntilServed(name));

  std::multiset<std::string> sent;
  std::map<int, unsigned long> senders;  // id -> process id
  for (const auto& send : cases) {
    const Outcome run = RunIpccat(L"send " + Wide(name) + L" --json " + send.arguments, send.input);
    ASSERT_EQ(0u, run.exitCode) << run.errors;
    const std::vector<Json::Value> events = JsonLines(run.output);
    ASSERT_EQ(1 + send.hexes.size(), events.size()) << run.output;
    ExpectReady(events[0], name, run.pid);
    const int id = events[0]["id"].asInt();
    senders[id] = run.pid;
    for (size_t i = 0; i < send.hexes.size(); ++i) {
      EXPECT_EQ("sent", events[i + 1]["event"].asString());
      EXPECT_EQ(id, events[i + 1]["id"].asInt());
      EXPECT_EQ(IPC_TARGET_SERVER, events[i + 1]["target"].asInt());
      EXPECT_EQ(send.hexes[i].size() / 2, events[i + 1]["size"].asUInt());
      sent.insert(Describe(id, send.hexes[i],
                           send.texts[i] ? Json::Value(send.texts[i]) : Json::Value()));
    }
  }

  const Outcome served = Finish(&server);
  EXPECT_EQ(0u, served.exitCode) << served.errors;
  // A status may come before "ready": the probe can get in as the callbacks are added.
  const std::vector<Json::Value> events = JsonLines(served.output);
  ExpectReady(OnlyEvent(events, "ready"), name, served.pid);
  std::multiset<std::string> received;
  std::map<int, unsigned long> connected;
  for (const Json::Value& event : events) {
    if (event["event"] == "message") {
      received.insert(Describe(event["source"].asInt(), event["hex"].asString(), event["text"]));
      EXPECT_EQ(event["hex"].asString().size() / 2, event["size"].asUInt());
    }
    if (event["event"] == "status" && event["status"] == IPC_STATUS_CONNECTED)
      connected[event["id"].asInt()] = event["pid"].asUInt();
  }
  EXPECT_EQ(sent, received);
  for (const auto& sender : senders)
    EXPECT_EQ(sender.second, connected[sender.first]) << "status of " << sender.first;
}

TEST(IpccatTest, BroadcastOfAClientReachesEveryOtherClient) {
  const std::string name = test::UniqueName("ipccat-all-");
  TestServer server(name);
  ASSERT_TRUE(server.IsServing());
  // One after the other: the rendezvous pipe takes one client at a time, and a client that
  // finds it busy too long gives up.
  test::ChildProcess listeners[2];
  std::set<int> clients;
  for (test::ChildProcess& listener : listeners) {
    ASSERT_TRUE(
        listener.Start(kProgram, L"listen " + Wide(name) + L" --json --count 1 --seconds 600"));
    clients = server.WaitForClients(clients.size() + 1);
  }
  ASSERT_EQ(2u, clients.size());

  const Outcome send = RunIpccat(L"send " + Wide(name) + L" --target -1 --json to-all");
  ASSERT_EQ(0u, send.exitCode) << send.errors;
  const std::vector<Json::Value> sendEvents = JsonLines(send.output);
  ASSERT_EQ(2u, sendEvents.size()) << send.output;
  EXPECT_EQ(IPC_TARGET_ALL, sendEvents[1]["target"].asInt());

  std::set<int> listenerIds;
  for (test::ChildProcess& listener : listeners) {
    const Outcome run = Finish(&listener);
    EXPECT_EQ(0u, run.exitCode) << run.errors;
    const std::vector<Json::Value> events = JsonLines(run.output);
    ASSERT_EQ(2u, events.size()) << run.output;
    ExpectReady(events[0], name, run.pid);
    listenerIds.insert(events[0]["id"].asInt());
    EXPECT_EQ(Describe(sendEvents[0]["id"].asInt(), "746f2d616c6c", Json::Value("to-all")),
              Describe(events[1]["source"].asInt(), events[1]["hex"].asString(),
                       events[1]["text"]));
  }
  EXPECT_EQ(clients, listenerIds);
}

// The server goes only once the listener says it is connected: earlier, its connect may
// rightly find nobody serving.
TEST(IpccatTest, ListenEndsWhenTheServerGoesAway) {
  const std::string name = test::UniqueName("ipccat-gone-");
  TestServer server(name);
  ASSERT_TRUE(server.IsServing());
  test::HostPeer listener;
  ASSERT_TRUE(listener.StartProgram(kProgram, L"listen " + Wide(name)));
  EXPECT_EQ(0u, listener.Take("connected", kRunTimeoutMs).find("to " + name + " as "));
  server.ShutDown();
  unsigned long exit_code = 0;
  ASSERT_TRUE(listener.WaitForExit(kRunTimeoutMs, &exit_code));
  EXPECT_EQ(1u, exit_code);
  EXPECT_EQ("ipccat: the server of " + name + " went away\n",
            WithoutRuntimeLog(listener.Errors()));
}

TEST(IpccatTest, ExitCodesAndOneLineErrors) {
  const std::wstring served = Wide(test::UniqueName("ipccat-codes-"));
  TestServer server(std::string(served.begin(), served.end()));
  ASSERT_TRUE(server.IsServing());
  const std::wstring nobody = Wide(test::UniqueName("ipccat-nobody-"));
  const struct {
    std::wstring arguments;
    unsigned long exitCode;
  } cases[] = {
      {L"serve " + served, 1},  // before any client makes the server reopen its rendezvous pipe
      {L"--help", 0},
      {L"listen " + served + L" --seconds 1", 0},
      {L"send " + nobody + L" hello", 1},
      {L"listen " + nobody + L" --json", 1},
      {L"", 2},
      {L"launch x", 2},
      {L"send x", 2},
      {L"send x a --hex 00", 2},
      {L"send x --target ten a", 2},
      {L"send x --hex 0g", 2},
      {L"send x --file Z:\\no\\such\\file", 2},
      {L"serve x --nul", 2},
      {L"send x --zap a --json", 2},
      {L"listen " + served + L" --count 1 --seconds 1", 3},
  };
  for (const auto& c : cases) {
    const Outcome run = RunIpccat(c.arguments);
    EXPECT_EQ(c.exitCode, run.exitCode) << c.arguments << "\n" << run.errors;
    if (c.exitCode == 0) {
      EXPECT_EQ("", run.errors) << c.arguments;
      continue;
    }
    // With --json, standard error holds nothing but ipccat's JSON line.
    const bool json = c.arguments.find(L"--json") != std::wstring::npos;
    const std::string said = json ? run.errors : WithoutRuntimeLog(run.errors);
    EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << run.errors;
    if (json) {
      const std::vector<Json::Value> errors = JsonLines(said);
      ASSERT_EQ(1u, errors.size());
      EXPECT_EQ("error", errors[0]["event"].asString());
      EXPECT_FALSE(errors[0]["message"].asString().empty());
    } else {
      EXPECT_EQ(0u, said.find("ipccat: ")) << run.errors;
    }
  }
}

}  // namespace
