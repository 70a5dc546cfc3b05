// The hello as a peer may send it: its process id and secret read as the wire holds them,
// -1 for each field the payload is too short for; a hello the channel builds reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"
#include "ipc/ipc_message.h"

namespace {

using IPC::Message;

void CheckReceivedHello(const std::string& bytes) {
  const Message hello(bytes.data(), static_cast<int>(bytes.size()));
  int pid = 0, secret = 0;
  Message::ReadHello(hello, &pid, &secret);
  const size_t payload = hello.data() ? hello.payload_size() : 0;
  FUZZ_CHECK(pid == (payload >= 4 ? static_cast<int>(fuzz::Load32(hello.payload())) : -1));
  FUZZ_CHECK(secret == (payload >= 8 ? static_cast<int>(fuzz::Load32(hello.payload() + 4)) : -1));
}

void CheckBuiltHello(int32_t pid, uint32_t secret) {
  const std::unique_ptr<Message> hello(Message::CreateHello(pid, secret));
  FUZZ_CHECK(hello != nullptr && hello->is_hello());
  FUZZ_CHECK(hello->size() == (secret != 0 ? 24u : 20u));
  const std::string wire = fuzz::WireBytes(*hello);
  const Message received(wire.data(), static_cast<int>(wire.size()));
  int read_pid = 0, read_secret = 0;
  Message::ReadHello(received, &read_pid, &read_secret);
  FUZZ_CHECK(read_pid == pid);
  FUZZ_CHECK(read_secret == (secret != 0 ? static_cast<int>(secret) : -1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const int32_t pid = provider.ConsumeIntegral<int32_t>();
  const uint32_t secret = provider.ConsumeIntegral<uint32_t>();
  CheckBuiltHello(pid, secret);
  CheckReceivedHello(provider.ConsumeRemainingBytesAsString());
  return 0;
}
