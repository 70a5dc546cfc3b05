// Driving the churn soak's processes and accounting for what they record.
#include "support/ipc/churn_soak.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "IPC_Broker.h"
#include "support/deadline.h"
#include "support/handle_count.h"
#include "support/ipc/host_peer_process.h"
#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace test {
namespace {

const wchar_t kProgram[] = L"churn_peer.exe";
const unsigned long kFirstKillMs = 2000, kKillSpreadMs = 4000;
// A client process ends its hosts' cycles, each with a connect, a greeting, a fence and a
// shutdown that may run into their budgets.
const unsigned long kStepMs = 2 * kDeadlineMs;
const int kExamples = 3;

// Failures of one kind: how many, and the first few.
class Tally {
 public:
  explicit Tally(std::string what) : what_(std::move(what)) {}
  void Add(const std::string& example) {
    if (++count_ <= kExamples)
      examples_ += (count_ > 1 ? "; " : "") + example;
  }
  int count() const { return count_; }
  void Into(std::vector<std::string>* failures) const {
    if (count_)
      failures->push_back(what_ + ": " + std::to_string(count_) + " (" + examples_ +
                          (count_ > kExamples ? "; ...)" : ")"));
  }

 private:
  std::string what_, examples_;
  int count_ = 0;
};

struct Process {
  std::unique_ptr<HostPeer> peer{new HostPeer};
  std::vector<std::string> lines;
  void Drain() {
    for (std::string& line : peer->TakeAll())
      lines.push_back(std::move(line));
  }
};

using Key = std::pair<long long, long long>;  // sender's id, its sequence number

// All that the processes recorded (the records are in churn_soak.h).
struct Ledger {
  std::map<Key, std::pair<long long, long long>> sent;  // target and size
  std::map<long long, std::map<Key, std::vector<long long>>> got;  // by receiver
  std::map<long long, std::vector<long long>> hosts;  // connect ms, greeted, fenced, down
  std::map<long long, long long> greeted_at, fenced_at, departures;
  std::vector<long long> resources;
  int serves = 0, null_serves = 0, false_stops = 0;
};

std::string Message(const Key& key, long long size, long long at) {
  return "#" + std::to_string(key.second) + " (" + std::to_string(size) + " B) from " +
         std::to_string(key.first) + " at " + std::to_string(at);
}

class Soak {
 public:
  Soak(const ChurnOptions& options, std::vector<std::string>* failures)
      : options_(options), failures_(failures), random_(options.seed),
        name_(UniqueName("churn-")) {}

  ChurnFigures Run() {
    if (Start()) {
      Churn();
      Stop();
      Account();
    }
    return figures_;
  }

 private:
  void Fail(const std::string& what) { failures_->push_back(what); }

  // The end of what a failing process wrote to its standard error (a failed check says which
  // there); it is ended first, so that the file is complete.
  static std::string LastErrors(HostPeer* peer) {
    const size_t kShown = 600;
    peer->Kill();
    const std::string errors = peer->Errors();
    return errors.empty() ? std::string()
                          : "; its stderr ends: " +
                                errors.substr(errors.size() - std::min(errors.size(), kShown));
  }
  std::string Flag() const { return options_.churn ? " 1" : " 0"; }

  bool StartClient(Process* process, unsigned long seed) {
    return process->peer->StartProgram(
        kProgram, Wide("client " + name_ + " " + std::to_string(seed) + " " +
                       std::to_string(options_.threads) + Flag()));
  }

  bool Start() {
    if (!server_.StartProgram(kProgram, Wide("serve " + name_ + " " + name_ + "-second " +
                                             std::to_string(options_.seed) + Flag())))
      return Fail("the server process did not start"), false;
    server_id_ = atoi(server_.Take("ready", HostPeer::kPeerStartMs).c_str());
    processes_.resize(options_.processes);
    for (int i = 0; i < options_.processes; ++i)
      StartClient(&processes_[i], options_.seed + 100 * (i + 1));
    for (Process& process : processes_) {
      process.lines.push_back("ready " + process.peer->Take("ready", HostPeer::kPeerStartMs));
      std::istringstream ids(process.lines.back().substr(6));
      for (long long id = 0; ids >> id;)
        stable_residents_.insert(id);
    }
    if (stable_residents_.size() !=
        static_cast<size_t>(options_.processes * (options_.churn ? 1 : options_.threads)))
      return Fail("not every resident connected before the churn"), false;
    server_.Command("go");
    for (Process& process : processes_)
      process.peer->Command("go");
    return true;
  }

  void KillOne() {
    Process& process = processes_[1 + random_() % (processes_.size() - 1)];
    process.Drain();
    process.peer->Kill();
    process.Drain();
    killed_.push_back(std::move(process));
    process = Process();
    ++figures_.kills;
    if (StartClient(&process, options_.seed + 100 * (options_.processes + figures_.kills)))
      process.peer->Command("go");
  }

  void Churn() {
    const ULONGLONG start = GetTickCount64(), end = start + options_.ms;
    ULONGLONG next_kill = start + kFirstKillMs + random_() % kKillSpreadMs;
    WaitUntil([&] {
      for (Process& process : processes_)
        process.Drain();
      if (options_.churn && processes_.size() > 1 && GetTickCount64() >= next_kill) {
        KillOne();
        next_kill = GetTickCount64() + kFirstKillMs + random_() % kKillSpreadMs;
      }
      return GetTickCount64() >= end;
    }, options_.ms + kDeadlineMs);
    figures_.seconds = (GetTickCount64() - start) / 1000.0;
  }

  // Each client process answers "stop" once its cycles ended and its residents fenced, so
  // that the residents' last fences, after every other client has departed, come after
  // everything sent to them.
  void Stop() {
    server_.Command("stop");
    for (Process& process : processes_)
      process.peer->Command("stop");
    size_t residents = 0;
    for (size_t i = 0; i < processes_.size(); ++i) {
      if (processes_[i].peer->Take("stopped", kStepMs) != "1")
        Fail("client process " + std::to_string(i) + " did not stop within " +
             std::to_string(kStepMs) + " ms, or a resident's fence was not answered within " +
             std::to_string(churn::kDrainMs) + " ms (the server's backlog did not drain)");
      processes_[i].Drain();
      for (const std::string& line : processes_[i].lines)
        residents += line.compare(0, 6, "ready ") ? 0 : std::count(line.begin(), line.end(), ' ');
    }
    if (server_.Take("stopped", kDeadlineMs) != "1")
      Fail("hung: the server's sending thread did not stop");
    server_.Command("settle " + std::to_string(residents));
    if (server_.Take("settled", 2 * churn::kReplyMs) != "1")
      Fail("departures: the server still counts more than the " + std::to_string(residents) +
           " residents after " + std::to_string(churn::kReplyMs) + " ms");
    for (Process& process : processes_)
      process.peer->Command("finish");
    for (size_t i = 0; i < processes_.size(); ++i) {
      unsigned long code = 1;
      if (processes_[i].peer->Take("finished", kStepMs) != "1" ||
          !processes_[i].peer->WaitForExit(kDeadlineMs, &code) || code != 0)
        Fail("hung: client process " + std::to_string(i) + " did not finish and exit 0" +
             LastErrors(processes_[i].peer.get()));
      processes_[i].Drain();
    }
    server_.Command("end");
    unsigned long code = 1;
    if (server_.Take("shutdown", 3 * churn::kReplyMs + kDeadlineMs) != "1" ||
        !server_.WaitForExit(kDeadlineMs, &code) || code != 0)
      Fail("the server's IPC_ShutDown, or its exit, failed");
  }

  void Read(const std::string& line, Tally* null_connects, Tally* corrupt, Tally* refused) {
    std::istringstream in(line.substr(1));
    std::vector<long long> f;
    for (long long field; in >> field;)
      f.push_back(field);
    f.resize(std::max<size_t>(f.size(), 5));
    switch (line[0]) {
      case 'S': ledger_.sent[{f[0], f[1]}] = {f[2], f[3]}; break;
      case 'R': ledger_.got[f[0]][{f[1], f[2]}].push_back(f[3]); break;
      case 'B': corrupt->Add(std::to_string(f[2]) + " B from " + std::to_string(f[1]) +
                             " at " + std::to_string(f[0])); break;
      case 'H': ledger_.hosts[f[0]] = {f[1], f[2], f[3], f[4]}; break;
      case 'G': ledger_.greeted_at[f[0]] = f[1]; break;
      case 'F': ledger_.fenced_at[f[0]] = f[1]; break;
      case 'D': ++ledger_.departures[f[0]]; break;
      case 'V': ++ledger_.serves, ledger_.null_serves += !f[0], ledger_.false_stops += f[0] && !f[1]; break;
      case 'M': ledger_.resources = f; break;
      case 'N': null_connects->Add("after " + std::to_string(f[0]) + " ms"); break;
      case 'E': refused->Add("host " + std::to_string(f[0])); break;
    }
  }

  // The hosts |key| was owed to: the server's sends to a host between its greeting and its
  // last fence; a client's, if it shut down, to the server, and to the residents of
  // processes never killed, which were there before anyone sent.
  std::vector<long long> OwedTo(const Key& key, long long target) {
    std::vector<long long> owed;
    if (key.first == server_id_) {
      for (const auto& fence : ledger_.fenced_at) {
        auto greeted = ledger_.greeted_at.find(fence.first);
        auto host = ledger_.hosts.find(fence.first);
        if ((target == IPC_TARGET_ALL || target == fence.first) && host != ledger_.hosts.end() &&
            host->second[2] && greeted != ledger_.greeted_at.end() &&
            greeted->second <= key.second && key.second < fence.second)
          owed.push_back(fence.first);
      }
      return owed;
    }
    auto sender = ledger_.hosts.find(key.first);
    if (sender == ledger_.hosts.end() || !sender->second[3])
      return owed;
    if (target == IPC_TARGET_SERVER)
      owed.push_back(server_id_);
    for (long long resident : stable_residents_) {
      if (resident != key.first && (target == IPC_TARGET_ALL || target == resident))
        owed.push_back(resident);
    }
    return owed;
  }

  void Account() {
    Tally lost[] = {Tally("messages to the server lost"), Tally("messages from the server lost"),
                    Tally("messages between clients lost")};
    Tally cut("messages that arrived with another size"),
        duplicated("messages that arrived more than once"), corrupt("messages corrupted"),
        null_connects("IPC_Connect returned null"), slow("connects over the 10 s budget"),
        ungreeted("greetings lost"), unanswered("fences unanswered within 10 s"),
        false_shutdowns("IPC_ShutDown returned false"), refused("IPC_Send returned false"),
        unreported("departures never reported (status 0 without status 2)"),
        repeated("departures reported more than once (id: times)");
    for (auto* group : {&processes_, &killed_}) {
      for (const Process& process : *group) {
        for (const std::string& line : process.lines) {
          Read(line, &null_connects, &corrupt, &refused);
          if (group == &killed_ && line.compare(0, 6, "ready ") == 0) {
            std::istringstream ids(line.substr(6));
            for (long long id = 0; ids >> id;)
              stable_residents_.erase(id);
          }
        }
      }
    }
    for (const std::string& line : server_.TakeAll())
      Read(line, &null_connects, &corrupt, &refused);
    for (const auto& sent : ledger_.sent) {
      for (long long at : OwedTo(sent.first, sent.second.first)) {
        const auto& got = ledger_.got[at];
        auto found = got.find(sent.first);
        const int route = at == server_id_ ? 0 : sent.first.first == server_id_ ? 1 : 2;
        if (found == got.end())
          lost[route].Add(Message(sent.first, sent.second.second, at)), ++figures_.lost;
        else if (found->second.front() != sent.second.second)
          cut.Add(Message(sent.first, sent.second.second, at) + " with " +
                  std::to_string(found->second.front()) + " B");
      }
    }
    for (const auto& receiver : ledger_.got) {
      for (const auto& message : receiver.second) {
        figures_.delivered += static_cast<int>(message.second.size());
        if (message.second.size() > 1)
          duplicated.Add(Message(message.first, message.second.front(), receiver.first) + " " +
                         std::to_string(message.second.size()) + " times");
      }
    }
    for (const auto& host : ledger_.hosts) {
      const std::string name = "host " + std::to_string(host.first);
      if (host.second[0] > static_cast<long long>(churn::kConnectBudgetMs))
        slow.Add(name + " in " + std::to_string(host.second[0]) + " ms");
      if (!host.second[1])
        ungreeted.Add(name + (ledger_.greeted_at.count(host.first) ? ", greeted by the server"
                                                                   : ", never seen by the server"));
      if (!host.second[2]) unanswered.Add(name);
      if (!host.second[3]) false_shutdowns.Add(name);
    }
    for (const auto& greeted : ledger_.greeted_at) {
      auto departed = ledger_.departures.find(greeted.first);
      if (departed == ledger_.departures.end())
        unreported.Add("client " + std::to_string(greeted.first));
    }
    for (const auto& departed : ledger_.departures) {
      if (departed.second > 1)
        repeated.Add(std::to_string(departed.first) + ": " + std::to_string(departed.second));
    }
    figures_.connects = static_cast<int>(ledger_.greeted_at.size());
    for (const Tally* tally : {&lost[0], &lost[1], &lost[2], &cut, &duplicated, &corrupt, &null_connects, &slow,
                               &ungreeted, &unanswered, &false_shutdowns, &refused, &unreported, &repeated})
      tally->Into(failures_);
    CheckServer();
  }

  void CheckServer() {
    if (ledger_.null_serves || ledger_.false_stops)
      Fail("the second name, served and stopped " + std::to_string(ledger_.serves) +
           " times: IPC_Connect returned null " + std::to_string(ledger_.null_serves) +
           " times, IPC_ShutDown false " + std::to_string(ledger_.false_stops) + " times");
    const std::vector<long long>& r = ledger_.resources;
    if (r.size() < 5)
      return Fail("the server recorded no handle count or heap size");
    figures_.peak_committed = static_cast<size_t>(r[4]);
    if (r[1] > r[0] + kHandlesCreatedOnce)
      Fail("the server holds " + std::to_string(r[1]) + " handles after the soak, " +
           std::to_string(r[0]) + " before");
    if (r[3] > r[2] + static_cast<long long>(churn::kHeapSlack))
      Fail("the server's heaps hold " + std::to_string(r[3] >> 10) + " KiB after the soak, " +
           std::to_string(r[2] >> 10) + " KiB before");
  }

  static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

  const ChurnOptions options_;
  std::vector<std::string>* failures_;
  std::mt19937 random_;
  const std::string name_;
  HostPeer server_;
  int server_id_ = 0;
  std::vector<Process> processes_, killed_;
  std::set<long long> stable_residents_;
  Ledger ledger_;
  ChurnFigures figures_;
};

unsigned long FromEnvironment(const char* variable, unsigned long otherwise) {
  const char* value = getenv(variable);
  return value && *value ? strtoul(value, nullptr, 10) : otherwise;
}

}  // namespace

unsigned long ChurnSeed() {
  return FromEnvironment("CHURN_SOAK_SEED", std::random_device()());
}

unsigned long ChurnMs(unsigned long default_ms) {
  return FromEnvironment("CHURN_SOAK_MS", default_ms);
}

ChurnFigures RunChurnSoak(const ChurnOptions& options, std::vector<std::string>* failures) {
  return Soak(options, failures).Run();
}

}  // namespace test
