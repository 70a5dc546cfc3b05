#include "support/unique_name.h"

#include <windows.h>

#include <atomic>

namespace test {
namespace {

std::atomic<unsigned> g_counter(0);

unsigned long long NextSerial() {
  unsigned long long serial = GetCurrentProcessId();
  serial = serial * 100000 + (++g_counter % 100000);
  return serial;
}

}  // namespace

std::string UniqueName(const std::string& prefix) {
  return prefix + std::to_string(NextSerial()) + "-" + std::to_string(GetTickCount());
}

std::wstring UniqueWideName(const std::wstring& prefix) {
  return prefix + std::to_wstring(NextSerial()) + L"-" + std::to_wstring(GetTickCount());
}

std::wstring UniqueNumericId() {
  return std::to_wstring(NextSerial());
}

}  // namespace test
