// ipccat's output: one line per event, readable text or one JSON object, written whole and
// flushed so that a script reading the output sees each event as it happens.
#ifndef TOOLS_IPCCAT_EVENT_PRINTER_H_
#define TOOLS_IPCCAT_EVENT_PRINTER_H_

#include <cstdio>
#include <mutex>
#include <string>

namespace Json {
class Value;
}

namespace ipccat {

// Any thread: the broker's callbacks print from its event thread, the rest from the main
// thread. Errors go to |errors|, everything else to standard output.
class EventPrinter {
 public:
  EventPrinter(bool json, std::FILE* errors) : json_(json), errors_(errors) {}

  // The host is up: serving |name|, or connected to its server.
  void Ready(const std::string& name, bool serving, int id, int processId);
  void Status(int status, int id, int processId);
  void Message(int source, const std::string& bytes);
  void Sent(int id, int target, size_t size);
  void Error(const std::string& message);

 private:
  void Print(std::FILE* stream, const Json::Value& event, const std::string& text);

  const bool json_;
  std::FILE* const errors_;
  std::mutex lock_;  // one line at a time

  EventPrinter(const EventPrinter&) = delete;
  EventPrinter& operator=(const EventPrinter&) = delete;
};

}  // namespace ipccat

#endif  // TOOLS_IPCCAT_EVENT_PRINTER_H_
