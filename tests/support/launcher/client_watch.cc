// Watching and stopping the demo client from a test.
#include "support/launcher/client_watch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "VeskGame/client_control.h"
#include "base/win/scoped_handle.h"
#include "support/deadline.h"

namespace test {
namespace {

const unsigned long kStopTimeoutMs = 15000;

}  // namespace

ClientWatch::ClientWatch(const std::wstring& oemId, const std::wstring& userId,
                         const std::wstring& clientFolder)
    : oemId_(oemId), userId_(userId), recordPath_(ClientStartsPath(clientFolder)) {}

ClientWatch::~ClientWatch() {
  Stop();
}

bool ClientWatch::WaitForStarts(size_t count, unsigned long timeoutMs) const {
  return WaitUntil([this, count] { return Starts().size() >= count; }, timeoutMs);
}

std::vector<ClientStart> ClientWatch::Starts() const {
  return ReadClientStarts(recordPath_);
}

void ClientWatch::Stop() {
  // Processes are opened before the quit request, while their ids are surely theirs.
  std::vector<base::win::ScopedHandle> processes;
  for (const ClientStart& start : Starts()) {
    base::win::ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, start.processId));
    if (process.IsValid())
      processes.push_back(std::move(process));
  }
  if (processes.empty())
    return;
  RequestClientQuit(oemId_, userId_, kStopTimeoutMs);
  for (const base::win::ScopedHandle& process : processes) {
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), kStopTimeoutMs))
        << "a client did not end when asked to";
  }
}

}  // namespace test
