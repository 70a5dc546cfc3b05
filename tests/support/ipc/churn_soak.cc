// Driving the churn soak's processes and accounting for what they report.
#include "support/ipc/churn_soak.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
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
const int kExamples = 3;
// A client process finishes its hosts' cycles, each with a connect, a greeting, a fence and a
// shutdown that may run into their budgets.
const unsigned long kStepMs = 2 * kDeadlineMs;

using Key = std::pair<int, unsigned>;  // sender's id, its sequence number
using Got = std::map<Key, std::vector<size_t>>;

struct Sent {
  unsigned seq;
  int target;
  size_t size;
};

struct Receipts {
  Got got;
  std::vector<std::string> bad;  // "<size> B from <source>"
};

struct HostReport {
  int id = 0;
  unsigned long connect_ms = 0;
  bool greeted = false, fenced = false, down = false, resident = false;
  int refused = 0;
  std::vector<Sent> sent;
  Receipts receipts;
};

struct Process {
  std::unique_ptr<HostPeer> peer{new HostPeer};
  std::vector<std::string> lines;
  void Drain() {
    for (std::string& line : peer->TakeAll())
      lines.push_back(std::move(line));
  }
};

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
                          (count_ > kExamples ? "; ..." : "") + ")");
  }

 private:
  std::string what_, examples_;
  int count_ = 0;
};

void ReadReceipts(std::istream& in, Receipts* receipts) {
  std::string word;
  int count = 0, source = 0;
  unsigned seq = 0;
  size_t size = 0;
  for (in >> word >> count; count-- > 0 && in >> source >> seq >> size;)
    receipts->got[{source, seq}].push_back(size);
  for (in >> word >> count; count-- > 0 && in >> source >> size;)
    receipts->bad.push_back(std::to_string(size) + " B from " + std::to_string(source));
}

HostReport ReadHost(const std::string& line) {
  std::istringstream in(line.substr(line.find(' ')));
  HostReport host;
  std::string word;
  int count = 0;
  in >> host.id >> host.connect_ms >> host.greeted >> host.fenced >> host.down >>
      host.resident >> host.refused >> word >> count;
  for (Sent sent; count-- > 0 && in >> sent.seq >> sent.target >> sent.size;)
    host.sent.push_back(sent);
  ReadReceipts(in, &host.receipts);
  return host;
}

template <typename Value, typename Read>
std::map<int, Value> ReadEntries(const std::string& rest, Read read) {
  std::istringstream in(rest);
  std::map<int, Value> entries;
  int count = 0, id = 0;
  for (in >> count; count-- > 0 && in >> id;)
    entries[id] = read(in);
  return entries;
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

std::string Message(const Key& key, size_t size, const std::string& to) {
  return "#" + std::to_string(key.second) + " (" + std::to_string(size) + " B) from " +
         std::to_string(key.first) + " to " + to;
}

// What the server reported at the end.
struct ServerReport {
  std::vector<std::pair<int, size_t>> sent;  // by seq
  std::map<int, std::pair<int, size_t>> greeted;
  std::map<int, size_t> fenced;
  std::map<int, int> departed;
  Receipts receipts;
  std::string served, resources;
};

bool ReadServer(HostPeer* server, ServerReport* report) {
  const unsigned long ms = 2 * churn::kReplyMs + kDeadlineMs;
  std::istringstream sent(server->Take("sent", ms));
  int count = 0, target = 0;
  size_t size = 0;
  for (sent >> count; count-- > 0 && sent >> target >> size;)
    report->sent.push_back({target, size});
  report->greeted = ReadEntries<std::pair<int, size_t>>(server->Take("greeted"), [](std::istream& in) {
    std::pair<int, size_t> entry;
    in >> entry.first >> entry.second;
    return entry;
  });
  auto number = [](std::istream& in) { size_t n = 0; in >> n; return n; };
  report->fenced = ReadEntries<size_t>(server->Take("fenced"), number);
  for (const auto& entry : ReadEntries<size_t>(server->Take("departed"), number))
    report->departed[entry.first] = static_cast<int>(entry.second);
  std::istringstream received(" " + server->Take("received"));
  ReadReceipts(received, &report->receipts);
  report->served = server->Take("served");
  report->resources = server->Take("resources");
  return server->Take("shutdown") == "1";
}

class Soak {
 public:
  Soak(const ChurnOptions& options, std::vector<std::string>* failures)
      : options_(options), failures_(failures), random_(options.seed),
        name_(UniqueName("churn-")), second_name_(UniqueName("churn-second-")) {}

  ChurnFigures Run() {
    if (!Start())
      return figures_;
    Churn();
    Stop();
    Account();
    return figures_;
  }

 private:
  void Fail(const std::string& what) { failures_->push_back(what); }

  bool StartClient(Process* process, unsigned long seed) {
    return process->peer->StartProgram(
        kProgram, Wide("client " + name_ + " " + std::to_string(seed) + " " +
                       std::to_string(options_.threads) + " " + (options_.churn ? "1" : "0")));
  }

  bool Start() {
    if (!server_.StartProgram(kProgram, Wide("serve " + name_ + " " + second_name_ + " " +
                                             std::to_string(options_.seed) + " " +
                                             (options_.churn ? "1" : "0")))) {
      Fail("the server process did not start");
      return false;
    }
    server_id_ = atoi(server_.Take("ready", HostPeer::kPeerStartMs).c_str());
    processes_.resize(options_.processes);
    for (int i = 0; i < options_.processes; ++i) {
      if (!StartClient(&processes_[i], options_.seed + 100 * (i + 1)))
        Fail("client process " + std::to_string(i) + " did not start");
    }
    for (Process& process : processes_) {
      const std::string ready = process.peer->Take("ready", HostPeer::kPeerStartMs);
      process.lines.push_back("ready " + ready);
      std::istringstream ids(ready);
      for (int id = 0; ids >> id;)
        original_residents_.push_back(id);
    }
    if (original_residents_.size() != static_cast<size_t>(options_.processes) *
                                          (options_.churn ? 1 : options_.threads)) {
      Fail("the residents did not all connect before the churn: " +
           std::to_string(original_residents_.size()) + " did");
      return false;
    }
    server_.Command("go");
    for (Process& process : processes_)
      process.peer->Command("go");
    return true;
  }

  void KillOne() {
    const size_t victim = 1 + random_() % (processes_.size() - 1);
    Process& process = processes_[victim];
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
    WaitUntil(
        [&] {
          for (Process& process : processes_)
            process.Drain();
          if (options_.churn && processes_.size() > 1 && GetTickCount64() >= next_kill) {
            KillOne();
            next_kill = GetTickCount64() + kFirstKillMs + random_() % kKillSpreadMs;
          }
          return GetTickCount64() >= end;
        },
        options_.ms + kDeadlineMs);
    figures_.seconds = (GetTickCount64() - start) / 1000.0;
  }

  // Every wait here is bounded; a process that misses one is named as hung.
  void Stop() {
    server_.Command("stop");
    for (Process& process : processes_)
      process.peer->Command("stop");
    size_t residents = 0;
    for (size_t i = 0; i < processes_.size(); ++i) {
      if (processes_[i].peer->Take("stopped", kStepMs) != "1")
        Fail("hung: client process " + std::to_string(i) + " (pid " +
             std::to_string(processes_[i].peer->pid()) + ") did not stop within " +
             std::to_string(kStepMs) + " ms");
      processes_[i].Drain();
      for (const std::string& line : processes_[i].lines) {
        if (line.compare(0, 6, "ready ") == 0)
          residents += std::count(line.begin(), line.end(), ' ');
      }
    }
    if (server_.Take("stopped", kDeadlineMs) != "1")
      Fail("hung: the server's sending thread did not stop");
    if (server_.Ask("settle " + std::to_string(residents), 2 * churn::kReplyMs) != "1")
      Fail("the server did not see every client but the " + std::to_string(residents) +
           " residents depart within " + std::to_string(churn::kReplyMs) + " ms");
    for (Process& process : processes_)
      process.peer->Command("finish");
    for (size_t i = 0; i < processes_.size(); ++i) {
      unsigned long code = 1;
      if (processes_[i].peer->Take("finished", kStepMs) != "1" ||
          !processes_[i].peer->WaitForExit(kDeadlineMs, &code) || code != 0)
        Fail("hung: client process " + std::to_string(i) + " did not finish and exit 0 (exit " +
             std::to_string(code) + ")");
      processes_[i].Drain();
    }
    server_.Command("end");
    unsigned long code = 1;
    if (!ReadServer(&server_, &server_report_) || !server_.WaitForExit(kDeadlineMs, &code) ||
        code != 0)
      Fail("the server's last IPC_ShutDown or exit failed (exit " + std::to_string(code) + ")");
  }

  // Checks that |key| arrived in |got| once, with |size| bytes.
  void Owed(const Got& got, const Key& key, size_t size, const std::string& to) {
    auto found = got.find(key);
    if (found == got.end()) {
      lost_.Add(Message(key, size, to));
      ++figures_.lost;
    } else if (found->second.front() != size) {
      cut_.Add(Message(key, size, to) + " arrived with " + std::to_string(found->second.front()) + " B");
    }
  }

  void CheckReceipts(const Receipts& receipts, const std::string& at) {
    for (const auto& entry : receipts.got) {
      figures_.delivered += static_cast<int>(entry.second.size());
      if (entry.second.size() > 1)
        duplicated_.Add(Message(entry.first, entry.second.front(), at) + " " +
                        std::to_string(entry.second.size()) + " times");
    }
    for (const std::string& bad : receipts.bad)
      corrupt_.Add(bad + " at " + at);
  }

  void CheckHost(const HostReport& host, const std::vector<HostReport>& hosts) {
    const std::string at = "host " + std::to_string(host.id);
    CheckReceipts(host.receipts, at);
    if (host.connect_ms > churn::kConnectBudgetMs)
      slow_.Add(at + " in " + std::to_string(host.connect_ms) + " ms");
    if (!host.greeted)
      ungreeted_.Add(at);
    if (!host.fenced)
      unanswered_.Add(at);
    if (!host.down)
      refused_shutdowns_.Add(at);
    if (host.refused)
      refused_sends_.Add(at + ": " + std::to_string(host.refused));
    for (const Sent& sent : host.sent) {
      if (host.down && sent.target == IPC_TARGET_SERVER)
        Owed(server_report_.receipts.got, {host.id, sent.seq}, sent.size, "the server");
    }
    // What the server sent it between its greeting and its last fence.
    auto greeted = server_report_.greeted.find(host.id);
    auto fenced = server_report_.fenced.find(host.id);
    if (host.fenced && greeted != server_report_.greeted.end() &&
        fenced != server_report_.fenced.end()) {
      const size_t end = std::min(fenced->second, server_report_.sent.size());
      for (size_t seq = greeted->second.second; seq < end; ++seq) {
        const auto& sent = server_report_.sent[seq];
        if (sent.first == IPC_TARGET_ALL || sent.first == host.id)
          Owed(host.receipts.got, {server_id_, static_cast<unsigned>(seq)}, sent.second, at);
      }
    }
    // A resident of a process that was never killed was there before every other host sent.
    if (!std::count(original_residents_.begin(), original_residents_.end(), host.id))
      return;
    for (const HostReport& sender : hosts) {
      for (const Sent& sent : sender.sent) {
        if (sender.down && sender.id != host.id &&
            (sent.target == IPC_TARGET_ALL || sent.target == host.id))
          Owed(host.receipts.got, {sender.id, sent.seq}, sent.size, at);
      }
    }
  }

  void Account() {
    std::vector<HostReport> hosts;
    Tally null_connects("IPC_Connect returned null (ms it took)");
    for (auto* group : {&processes_, &killed_}) {
      for (const Process& process : *group) {
        for (const std::string& line : process.lines) {
          if (line.compare(0, 5, "host ") == 0)
            hosts.push_back(ReadHost(line));
          else if (line.compare(0, 8, "refused ") == 0)
            null_connects.Add(line.substr(8));
        }
      }
    }
    // Killed processes' residents are no longer owed anything.
    for (const Process& process : killed_) {
      for (const std::string& line : process.lines) {
        if (line.compare(0, 6, "ready ") != 0)
          continue;
        std::istringstream ids(line.substr(6));
        for (int id = 0; ids >> id;)
          original_residents_.erase(
              std::remove(original_residents_.begin(), original_residents_.end(), id),
              original_residents_.end());
      }
    }
    for (const HostReport& host : hosts)
      CheckHost(host, hosts);
    CheckReceipts(server_report_.receipts, "the server");
    Tally departures("departures not reported exactly once (id: times)");
    for (const auto& entry : server_report_.greeted) {
      auto departed = server_report_.departed.find(entry.first);
      const int times = departed == server_report_.departed.end() ? 0 : departed->second;
      if (times != 1)
        departures.Add(std::to_string(entry.first) + ": " + std::to_string(times));
    }
    for (const auto& entry : server_report_.departed) {
      if (entry.second > 1 && !server_report_.greeted.count(entry.first))
        departures.Add(std::to_string(entry.first) + ": " + std::to_string(entry.second));
    }
    figures_.connects = static_cast<int>(server_report_.greeted.size());
    for (const Tally* tally : {&lost_, &cut_, &duplicated_, &corrupt_, &ungreeted_, &unanswered_,
                               &slow_, &refused_shutdowns_, &refused_sends_, &null_connects,
                               &departures})
      tally->Into(failures_);
    CheckServer();
  }

  void CheckServer() {
    int serves = 0, null_serves = 0, false_stops = 0;
    std::istringstream(server_report_.served) >> serves >> null_serves >> false_stops;
    if (null_serves || false_stops)
      Fail("the second name, served and stopped " + std::to_string(serves) + " times: " +
           std::to_string(null_serves) + " IPC_Connect returned null, " +
           std::to_string(false_stops) + " IPC_ShutDown returned false");
    long long handles = 0, handles_after = 0, committed = 0, committed_after = 0, peak = 0;
    std::istringstream(server_report_.resources) >> handles >> handles_after >> committed >>
        committed_after >> peak;
    figures_.peak_committed = static_cast<size_t>(peak);
    if (handles_after > handles + kHandlesCreatedOnce)
      Fail("the server holds " + std::to_string(handles_after) + " handles after the soak, " +
           std::to_string(handles) + " before");
    if (committed_after > committed + static_cast<long long>(churn::kCommittedSlack))
      Fail("the server has " + std::to_string(committed_after >> 10) + " KiB committed after the soak, " +
           std::to_string(committed >> 10) + " KiB before");
  }

  const ChurnOptions options_;
  std::vector<std::string>* failures_;
  std::mt19937 random_;
  const std::string name_, second_name_;
  HostPeer server_;
  int server_id_ = 0;
  std::vector<Process> processes_, killed_;
  std::vector<int> original_residents_;
  ServerReport server_report_;
  ChurnFigures figures_;
  Tally lost_{"messages lost"}, cut_{"messages cut short"}, duplicated_{"messages duplicated"},
      corrupt_{"messages corrupted"}, ungreeted_{"greetings lost"},
      unanswered_{"fences unanswered within 10 s"}, slow_{"connects over the 10 s budget"},
      refused_shutdowns_{"IPC_ShutDown returned false"}, refused_sends_{"IPC_Send returned false"};
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
