// Serving, listening and sending through the broker's exported functions.
#include "tools/ipccat/commands.h"

#include <windows.h>

#include <iostream>
#include <string>

#include "IPC_Broker.h"
#include "tools/ipccat/event_printer.h"
#include "tools/ipccat/options.h"
#include "tools/ipccat/payload.h"
#include "tools/ipccat/receiver.h"

namespace ipccat {

namespace {

int CurrentProcessId() {
  return static_cast<int>(GetCurrentProcessId());
}

// Prints what |host| receives until the receiver's end, then shuts the host down.
int Receive(void* host, const Options& options, bool serving, EventPrinter* printer) {
  Receiver receiver(printer, options.count, !serving);
  receiver.Attach(host);
  printer->Ready(options.name, serving, IPC_GetCommunicationID(host), CurrentProcessId());
  const Receiver::Outcome outcome = receiver.Wait(options.seconds);
  IPC_ShutDown(host);
  switch (outcome) {
    case Receiver::Outcome::kCountReached:
      return kExitDone;
    case Receiver::Outcome::kServerGone:
      printer->Error("the server of " + options.name + " went away");
      return kExitNoBroker;
    case Receiver::Outcome::kTimedOut:
      break;
  }
  if (options.count == 0)
    return kExitDone;
  printer->Error("--seconds ran out before " + std::to_string(options.count) + " messages came");
  return kExitTimedOut;
}

// The one message of a send from the command line or a file; an error text, or empty.
std::string ReadPayload(const Options& options, std::string* bytes) {
  switch (options.payload) {
    case Payload::kHex:
      if (!FromHex(options.payloadArgument, bytes))
        return "--hex needs pairs of hex digits, not '" + options.payloadArgument + "'";
      break;
    case Payload::kFile:
      if (!ReadWholeFile(options.payloadArgument, bytes))
        return "cannot read " + options.payloadArgument;
      break;
    case Payload::kText:
    case Payload::kStandardInput:
      *bytes = options.payloadArgument;
      break;
  }
  if (bytes->empty() && !options.appendNul)
    return "the message is empty: there is nothing to send";
  return std::string();
}

class Sender {
 public:
  Sender(void* host, const Options& options, EventPrinter* printer)
      : host_(host), id_(IPC_GetCommunicationID(host)), options_(options), printer_(printer) {}

  bool SendOne(std::string bytes) {
    if (options_.appendNul)
      bytes.push_back('\0');
    if (!IPC_Send(host_, options_.target, &bytes[0], static_cast<unsigned>(bytes.size()))) {
      printer_->Error("the broker refused the message");
      return false;
    }
    printer_->Sent(id_, options_.target, bytes.size());
    return true;
  }

  // Each line as one message, without its line end; empty lines are skipped unless a NUL
  // is appended.
  bool SendLines(std::istream& input) {
    std::string line;
    while (std::getline(input, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      if ((!line.empty() || options_.appendNul) && !SendOne(line))
        return false;
    }
    return true;
  }

  int id() const { return id_; }

 private:
  void* const host_;
  const int id_;
  const Options& options_;
  EventPrinter* const printer_;
};

void* ConnectClient(const Options& options, EventPrinter* printer) {
  void* host = IPC_Connect(IPC_MODE_CLIENT, options.name.c_str());
  if (!host)
    printer->Error("nobody serves " + options.name);
  return host;
}

}  // namespace

int Serve(const Options& options, EventPrinter* printer) {
  void* host = IPC_Connect(IPC_MODE_SERVER, options.name.c_str());
  if (!host) {
    printer->Error("cannot serve " + options.name + ": is it served already?");
    return kExitNoBroker;
  }
  return Receive(host, options, true, printer);
}

int Listen(const Options& options, EventPrinter* printer) {
  void* host = ConnectClient(options, printer);
  return host ? Receive(host, options, false, printer) : kExitNoBroker;
}

int Send(const Options& options, EventPrinter* printer) {
  const bool fromInput = options.payload == Payload::kStandardInput;
  std::string bytes;
  if (!fromInput) {
    const std::string error = ReadPayload(options, &bytes);
    if (!error.empty()) {
      printer->Error(error);
      return kExitBadUsage;
    }
  }
  void* host = ConnectClient(options, printer);
  if (!host)
    return kExitNoBroker;
  Sender sender(host, options, printer);
  printer->Ready(options.name, false, sender.id(), CurrentProcessId());
  const bool sent = fromInput ? sender.SendLines(std::cin) : sender.SendOne(bytes);
  IPC_ShutDown(host);
  return sent ? kExitDone : kExitNoBroker;
}

}  // namespace ipccat
