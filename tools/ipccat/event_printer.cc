// ipccat's event lines.
#include "tools/ipccat/event_printer.h"

#include <json/json.h>

#include "IPC_Broker.h"
#include "tools/ipccat/payload.h"

namespace ipccat {

namespace {

Json::Value Event(const char* name) {
  Json::Value event(Json::objectValue);
  event["event"] = name;
  return event;
}

std::string ToJsonLine(const Json::Value& event) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, event);
}

const char* StatusName(int status) {
  return status == IPC_STATUS_CONNECTED ? "connected" : "error";
}

}  // namespace

void EventPrinter::Ready(const std::string& name, bool serving, int id, int processId) {
  Json::Value event = Event("ready");
  event["name"] = name;
  event["id"] = id;
  event["pid"] = processId;
  Print(stdout, event,
        (serving ? "serving " : "connected to ") + name + " as " + std::to_string(id) +
            ", process " + std::to_string(processId));
}

void EventPrinter::Status(int status, int id, int processId) {
  Json::Value event = Event("status");
  event["status"] = status;
  event["id"] = id;
  event["pid"] = processId;
  Print(stdout, event,
        std::string("status ") + StatusName(status) + ": " + std::to_string(id) +
            ", process " + std::to_string(processId));
}

void EventPrinter::Message(int source, const std::string& bytes) {
  Json::Value event = Event("message");
  event["source"] = source;
  event["size"] = static_cast<Json::UInt64>(bytes.size());
  std::string text;
  const bool isText = AsUtf8Text(bytes, &text);
  if (isText)
    event["text"] = text;
  event["hex"] = ToHex(bytes);
  const std::string shown = isText && IsPrintable(text) ? ": " + text : ", hex: " + ToHex(bytes);
  Print(stdout, event,
        "message from " + std::to_string(source) + ", " + std::to_string(bytes.size()) +
            " bytes" + shown);
}

void EventPrinter::Sent(int id, int target, size_t size) {
  Json::Value event = Event("sent");
  event["id"] = id;
  event["target"] = target;
  event["size"] = static_cast<Json::UInt64>(size);
  Print(stdout, event,
        "sent " + std::to_string(size) + " bytes to " + std::to_string(target) + " as " +
            std::to_string(id));
}

void EventPrinter::Error(const std::string& message) {
  Json::Value event = Event("error");
  event["message"] = message;
  Print(errors_, event, "ipccat: " + message);
}

void EventPrinter::Print(std::FILE* stream, const Json::Value& event, const std::string& text) {
  const std::string line = (json_ ? ToJsonLine(event) : text) + "\n";
  std::lock_guard<std::mutex> hold(lock_);
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fflush(stream);
}

}  // namespace ipccat
