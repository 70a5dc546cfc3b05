// Driving host_peer.exe, a broker host in a process of its own, from a test: one command
// line in, report lines out, every wait bounded.
//
// Commands (slots number the peer's hosts from 0 in the order they were first made):
//   connect <mode> <name>              IPC_Connect; the name "-" stands for the empty name
//   send <slot> <target> <text>        IPC_Send through the host of <slot>
//   send-pattern <slot> <target> <n>   the same with Pattern(n)
//   send-all <target> <text>           the id form of IPC_Send
//   shutdown <slot>                    IPC_ShutDown
//   greet <slot> <text>                the host's status callback sends <text> to every
//                                      client it reports connected
//   send-and-shutdown <name> <size>    connects as client, sends Pattern(size) to the
//                                      server and shuts down at once, as a launcher does
//   flood <slot> <target> <n> <ms>     n sends of "flood", <ms> apart
//   handles                            the peer's open handle count
//   cycle <name> <n>                   n times: connect as client, send "cycle" to the
//                                      server, shut down
//   open-pipe <name>                   opens the rendezvous pipe of <name> and says nothing
//   hold-worker <name>                 gets a worker of <name>'s server by hand, connects to
//                                      it and from then on reads nothing
//   poison <pipe path>                 opens the pipe (a worker's, as a lister of the machine's
//                                      pipes finds it) with a wrong secret, and waits until
//                                      the server breaks it
//   squat <name>                       leaves <name>'s rendezvous and takes its pipe name in
//                                      the moment the server reopens it; unsquat lets it go
//   attack <name> <seed> <n>           writes n mutated messages into the pipes of <name>'s
//                                      server (test::AttackServer)
//   exit <code>                        ends the process through exit()
// Reports, one line each:
//   pid <pid>                                      once, at start
//   connect <slot or -1> <communication id> <ms>   listener and status callback added
//   <command> <0|1>            for send, send-pattern, send-all, open-pipe and poison
//   shutdown <0|1> <ms>    handles <n>    cycle <sent>    attack <sessions, -1 if refused>
//   greet 1    send-and-shutdown <connected 0|1> <sent 0|1> <shut down 0|1>    flood <sent>
//   hold-worker <id or 0>    squat <0|1>    unsquat 1
//   message <slot> <source id> <size> <text, "-" when empty, "pattern" or "other" when long
//                                                  or not printable>
//   status <slot> <status> <id> <process id> <slot of the host handle passed>
#ifndef SUPPORT_IPC_HOST_PEER_PROCESS_H_
#define SUPPORT_IPC_HOST_PEER_PROCESS_H_

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "support/child_process.h"

namespace host_peer {

const wchar_t kProgram[] = L"host_peer.exe";
const char kEmptyName[] = "-";
// Longer messages, and those with bytes other than printable ASCII, are reported by whether
// they hold Pattern(size).
const size_t kReportedBytes = 64;

std::string Pattern(size_t size);

// The report lines of a listener call and of a status callback.
std::string MessageLine(int slot, int source_id, const void* data, unsigned size);
std::string StatusLine(int slot, int status, int id, int process_id, int host_slot);

}  // namespace host_peer

namespace test {

class HostPeer {
 public:
  HostPeer();
  ~HostPeer();

  // Starts the peer and reads its pid.
  bool Start();
  // Starts another program of the build that reports in lines on its standard output.
  bool StartProgram(const std::wstring& program, const std::wstring& arguments);
  bool Command(const std::string& command);

  // Takes the first report not taken yet that starts with |prefix| + " ", waiting up to
  // |timeoutMs| for it; the rest of the line, or "?" at the deadline.
  std::string Take(const std::string& prefix, unsigned long timeoutMs = kPeerDeadlineMs);

  // Waits up to |timeoutMs| for the report |line|, leaving it with the others.
  bool WaitFor(const std::string& line, unsigned long timeoutMs = kPeerDeadlineMs);

  // Every report so far that starts with |prefix|, in order.
  std::vector<std::string> Lines(const std::string& prefix);

  // Takes every report not taken yet, in order.
  std::vector<std::string> TakeAll();

  // Command(command) and then Take of the command's own report.
  std::string Ask(const std::string& command, unsigned long timeoutMs = kPeerDeadlineMs);

  // connect: true when it made a host; its communication id and, if wanted, its slot.
  bool Connect(int mode, const std::string& name, int* communication_id, int* slot = nullptr);

  // Ends the peer at once, as a crash would.
  void Kill() { process_.Terminate(); }
  bool WaitForExit(unsigned long timeoutMs, unsigned long* exit_code) {
    return process_.WaitForExit(timeoutMs, exit_code);
  }
  unsigned long pid() const { return process_.pid(); }
  // What the program wrote to its standard error, once it has ended.
  std::string Errors() const { return process_.ReadErrors(); }

  // Long enough for a client's connect against a server that never answers.
  static const unsigned long kPeerDeadlineMs = 20000;
  // Starting a Wine process on a loaded machine can take long.
  static const unsigned long kPeerStartMs = 60000;

 private:
  // Moves what the peer wrote so far into |lines_|; false once it cannot be read.
  bool ReadAvailable();

  ChildProcess process_;
  base::win::ScopedFileHandle input_;   // the peer's standard input
  base::win::ScopedFileHandle output_;  // the peer's standard output
  std::string partial_;
  std::deque<std::string> lines_;

  HostPeer(const HostPeer&) = delete;
  HostPeer& operator=(const HostPeer&) = delete;
};

}  // namespace test

#endif  // SUPPORT_IPC_HOST_PEER_PROCESS_H_
