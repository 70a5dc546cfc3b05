// Starting the channel peer program and reading its report.
#include "support/ipc/channel_peer.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "support/thread_runner.h"
#include "support/unique_name.h"

namespace test {
namespace {

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

}  // namespace

ChannelPeer::ChannelPeer()
    : ready_event_name_(UniqueName("channel-peer-ready-")),
      ready_(CreateEventW(nullptr, TRUE, FALSE, Widen(ready_event_name_).c_str())) {}

ChannelPeer::~ChannelPeer() {}

bool ChannelPeer::Start(const std::string& script) {
  return process_.Start(channel_peer::kProgram, Widen(ready_event_name_ + " " + script));
}

bool ChannelPeer::WaitUntilReady() {
  return WaitWithDeadline(ready_);
}

PeerReport ChannelPeer::Finish() {
  PeerReport report;
  EXPECT_TRUE(process_.WaitForExit(kDeadlineMs, &report.exit_code)) << "the peer hung";
  std::istringstream output(process_.ReadOutput());
  std::string line;
  while (std::getline(output, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    PeerMessage message;
    if (sscanf(line.c_str(), channel_peer::kMessageReportFormat, &message.type, &message.size,
               &message.checksum, &message.io) == 4)
      report.messages.push_back(message);
    else
      report.lines.push_back(line);
  }
  report.errors = process_.ReadErrors();
  return report;
}

void ChannelPeer::Kill() {
  process_.Terminate();
}

}  // namespace test
