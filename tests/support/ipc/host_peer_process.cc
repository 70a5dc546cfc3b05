// The test's side of host_peer.exe, and the pattern both sides build.
#include "support/ipc/host_peer_process.h"

#include <windows.h>

#include <algorithm>

#include <cstdio>

#include "support/deadline.h"

namespace host_peer {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

namespace {

// Bytes that keep a report on its one line.
bool Printable(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

}  // namespace

std::string MessageLine(int slot, int source_id, const void* data, unsigned size) {
  std::string text = size ? std::string(static_cast<const char*>(data), size) : "-";
  if (text.size() > kReportedBytes || !Printable(text))
    text = text == Pattern(text.size()) ? "pattern" : "other";
  return "message " + std::to_string(slot) + " " + std::to_string(source_id) + " " +
         std::to_string(size) + " " + text;
}

std::string StatusLine(int slot, int status, int id, int process_id, int host_slot) {
  return "status " + std::to_string(slot) + " " + std::to_string(status) + " " +
         std::to_string(id) + " " + std::to_string(process_id) + " " +
         std::to_string(host_slot);
}

}  // namespace host_peer

namespace test {

namespace {

const char kUnanswered[] = "?";

// A pipe whose |child_end| the peer inherits and whose |own_end| stays with the test.
bool CreateStreamPipe(bool child_reads, base::win::ScopedFileHandle* own_end,
                      base::win::ScopedFileHandle* child_end) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0))
    return false;
  own_end->Set(child_reads ? write_end : read_end);
  child_end->Set(child_reads ? read_end : write_end);
  return SetHandleInformation(own_end->Get(), HANDLE_FLAG_INHERIT, 0) != FALSE;
}

}  // namespace

HostPeer::HostPeer() {}

HostPeer::~HostPeer() {
  process_.Terminate();
}

bool HostPeer::Start() {
  return StartProgram(host_peer::kProgram, std::wstring()) &&
         Take("pid", kPeerStartMs) != kUnanswered;
}

bool HostPeer::StartProgram(const std::wstring& program, const std::wstring& arguments) {
  base::win::ScopedFileHandle child_input, child_output;
  return CreateStreamPipe(true, &input_, &child_input) &&
         CreateStreamPipe(false, &output_, &child_output) &&
         process_.StartWithStreams(program, arguments, child_input.Get(), child_output.Get());
}

bool HostPeer::Command(const std::string& command) {
  std::string line = command + "\n";
  DWORD written = 0;
  return WriteFile(input_.Get(), line.data(), static_cast<DWORD>(line.size()), &written,
                   nullptr) &&
         written == line.size();
}

bool HostPeer::ReadAvailable() {
  DWORD available = 0;
  if (!PeekNamedPipe(output_.Get(), nullptr, 0, nullptr, &available, nullptr))
    return false;
  if (available == 0)
    return true;
  std::string bytes(available, '\0');
  DWORD read = 0;
  if (!ReadFile(output_.Get(), &bytes[0], available, &read, nullptr))
    return false;
  partial_.append(bytes, 0, read);
  for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
    std::string line = partial_.substr(0, end);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines_.push_back(line);
    partial_.erase(0, end + 1);
  }
  return true;
}

std::string HostPeer::Take(const std::string& prefix, unsigned long timeoutMs) {
  const std::string head = prefix + " ";
  std::string found = kUnanswered;
  WaitUntil(
      [&] {
        ReadAvailable();
        for (auto line = lines_.begin(); line != lines_.end(); ++line) {
          if (line->compare(0, head.size(), head) == 0) {
            found = line->substr(head.size());
            lines_.erase(line);
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

bool HostPeer::WaitFor(const std::string& line, unsigned long timeoutMs) {
  return WaitUntil(
      [&] {
        ReadAvailable();
        for (const std::string& report : lines_) {
          if (report == line)
            return true;
        }
        return false;
      },
      timeoutMs);
}

std::vector<std::string> HostPeer::Lines(const std::string& prefix) {
  ReadAvailable();
  std::vector<std::string> matching;
  for (const std::string& report : lines_) {
    if (report.compare(0, prefix.size(), prefix) == 0)
      matching.push_back(report);
  }
  return matching;
}

std::vector<std::string> HostPeer::TakeAll() {
  ReadAvailable();
  std::vector<std::string> taken(lines_.begin(), lines_.end());
  lines_.clear();
  return taken;
}

std::string HostPeer::Ask(const std::string& command, unsigned long timeoutMs) {
  if (!Command(command))
    return kUnanswered;
  return Take(command.substr(0, command.find(' ')), timeoutMs);
}

bool HostPeer::Connect(int mode, const std::string& name, int* communication_id, int* slot) {
  std::string report = Ask("connect " + std::to_string(mode) + " " + name);
  int made_slot = -1;
  *communication_id = -1;
  bool made = sscanf(report.c_str(), "%d %d", &made_slot, communication_id) == 2 && made_slot >= 0;
  if (slot)
    *slot = made_slot;
  return made;
}

}  // namespace test
