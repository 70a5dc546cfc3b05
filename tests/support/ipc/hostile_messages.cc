// Mutated broker messages and the attack that writes them.
#include "support/ipc/hostile_messages.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/memory/scoped_ptr.h"
#include "ipc/internal/ipc_sync_header.h"
#include "ipc/ipc_message.h"
#include "support/deadline.h"
#include "support/ipc/raw_channel_client.h"

namespace test {

namespace {

using IPC::Message;

const int kMaxBurst = 40;
const unsigned long kOpenTimeoutMs = 20000;
// One session in kQuietSessionOdds says nothing after its hello, or connects to a worker and then
// reads nothing; a silent one holds the rendezvous up to kMaxSilenceMs, some past the
// server's limit. At most kMaxNonReaders stay open until the attack ends.
const unsigned kQuietSessionOdds = 32;
const unsigned long kMaxSilenceMs = 2500;
const size_t kMaxNonReaders = 4;

std::string Wire(const Message& message) {
  return std::string(static_cast<const char*>(message.data()), message.size());
}

std::string RandomBytes(std::mt19937* random) {
  std::string bytes((*random)() % 64, '\0');
  for (char& byte : bytes)
    byte = static_cast<char>((*random)());
  return bytes;
}

std::string WellFormedMessage(std::mt19937* random) {
  static const int kTargets[] = {10000, -1, 10001, 0};
  const std::string data = RandomBytes(random);
  switch ((*random)() % 5) {
    case 0: {
      scoped_ptr<Message> hello(Message::CreateHello(static_cast<int32_t>((*random)()),
                                                     (*random)() % 2 ? 0 : (*random)()));
      return Wire(*hello);
    }
    case 1: {
      Message request(Message::kRoutingControl,
                      (*random)() % 2 ? kQueryIdType : kRequestServiceType,
                      Message::kPriorityNormal);
      IPC::MakeSyncRequest(&request, static_cast<int32_t>((*random)()));
      return Wire(request);
    }
    case 2: {
      Message routing(Message::kRoutingControl, kRoutingType, Message::kPriorityNormal);
      routing.WriteInt(kTargets[(*random)() % 4]);
      routing.WriteData(data.data(), static_cast<int>(data.size()));
      routing.WriteBool(false);
      routing.WriteInt((*random)() % 4 ? -1 : static_cast<int>((*random)()));
      return Wire(routing);
    }
    case 3: {
      Message reply(Message::kRoutingControl, Message::kReplyType, Message::kPriorityNormal);
      reply.set_reply();
      reply.WriteInt(static_cast<int>((*random)()));
      reply.WriteBytes(data.data(), static_cast<int>(data.size()));
      return Wire(reply);
    }
    default: {
      Message other(static_cast<int32_t>((*random)()), (*random)() % 40,
                    Message::kPriorityNormal);
      other.WriteBytes(data.data(), static_cast<int>(data.size()));
      return Wire(other);
    }
  }
}

void Set32(std::string* bytes, size_t offset, uint32_t value) {
  memcpy(&(*bytes)[offset], &value, sizeof(value));
}

// Header fields: payload size at 0, type at 8, flags at 12.
void Mutate(std::string* bytes, std::mt19937* random) {
  switch ((*random)() % 8) {
    case 0:  // a random type
      Set32(bytes, 8, (*random)() % 2 ? (*random)() % 40 : (*random)());
      break;
    case 1:  // a truncated payload, the header still claiming all of it
      bytes->resize(Message::kHeaderSize +
                    (*random)() % (bytes->size() - Message::kHeaderSize + 1));
      break;
    case 2:  // a header that claims more or less than follows
      Set32(bytes, 0, (*random)() % 3 ? (*random)() % 128 : (*random)());
      break;
    case 3:  // flipped bytes
      for (int flips = 1 + (*random)() % 4; flips > 0; --flips)
        (*bytes)[(*random)() % bytes->size()] ^= static_cast<char>(1 + (*random)() % 255);
      break;
    case 4:  // a synchronous request with a bad body
      Set32(bytes, 12, Message::kSyncBit | Message::kUnblockBit | Message::kPriorityNormal);
      bytes->resize(Message::kHeaderSize + (*random)() % 4);
      Set32(bytes, 0, static_cast<uint32_t>(bytes->size() - Message::kHeaderSize));
      break;
    default:  // well-formed
      break;
  }
}

}  // namespace

std::string MutatedMessage(std::mt19937* random) {
  std::string bytes = WellFormedMessage(random);
  Mutate(&bytes, random);
  return bytes;
}

namespace {

// A worker of its own that it never reads from; null when the server gave none.
std::unique_ptr<RawChannelClient> NonReader(RawChannelClient* rendezvous) {
  std::string worker;
  std::unique_ptr<RawChannelClient> non_reader(new RawChannelClient);
  if (!rendezvous->RequestWorker(&worker, kOpenTimeoutMs) || !non_reader->Open(worker))
    return nullptr;
  return non_reader;
}

}  // namespace

int AttackServer(const std::string& name, int count, std::mt19937* random) {
  std::string worker;
  std::vector<std::unique_ptr<RawChannelClient>> non_readers;
  int sessions = 0;
  for (int sent = 0; sent < count;) {
    const bool to_worker = !worker.empty() && (*random)() % 2;
    RawChannelClient pipe;
    if (!WaitUntil([&] { return pipe.Open(to_worker ? worker : name); },
                   to_worker ? 0 : kOpenTimeoutMs)) {
      if (!to_worker)
        return -1;
      worker.clear();  // the server dropped it after an earlier burst
      continue;
    }
    ++sessions;
    if (!to_worker && (*random)() % kQuietSessionOdds == 0) {
      if ((*random)() % 2) {
        Sleep((*random)() % kMaxSilenceMs);
      } else if (non_readers.size() < kMaxNonReaders) {
        if (std::unique_ptr<RawChannelClient> non_reader = NonReader(&pipe))
          non_readers.push_back(std::move(non_reader));
      }
      continue;
    }
    if (!to_worker && (*random)() % 4 == 0 && !pipe.RequestWorker(&worker, kOpenTimeoutMs))
      worker.clear();
    for (int burst = 1 + (*random)() % kMaxBurst; burst > 0 && sent < count; --burst) {
      ++sent;
      if (!pipe.WriteBytes(MutatedMessage(random)))
        break;
    }
  }
  return sessions;
}

}  // namespace test
