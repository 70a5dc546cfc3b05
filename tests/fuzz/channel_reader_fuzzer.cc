// The channel's framing loop fed a hostile stream in arbitrary chunks, some through the
// read loop and some as completed overlapped reads, with a size limit. Every complete
// message of the stream is delivered once, in order and byte for byte (hellos to the hello
// handler, the rest to the listener) until a message is refused or the buffered bytes of an
// incomplete message plus a new chunk pass the limit; then the reader fails and delivers
// nothing more.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"
#include "ipc/internal/ipc_channel_reader.h"
#include "ipc/ipc_message.h"

namespace {

using IPC::Message;

struct Delivery {
  bool hello;
  std::string bytes;
};

class RecordingListener : public IPC::Channel::Listener {
 public:
  bool OnMessageReceived(const Message& message) override {
    deliveries.push_back({false, fuzz::WireBytes(message)});
    return true;
  }
  std::vector<Delivery> deliveries;
};

// Reads its chunks one per ReadFromPipe, then reports the read as pending. Refuses the
// message whose type is |refused_type|, as a validating channel refuses what is not a hello.
class ChunkReader : public IPC::internal::ChannelReader {
 public:
  ChunkReader(RecordingListener* listener, size_t limit, uint32_t refused_type)
      : ChannelReader(listener, limit), recorder_(listener), refused_type_(refused_type) {}

  void set_chunks(std::vector<std::string> chunks) {
    chunks_ = std::move(chunks);
    next_ = 0;
  }

  // Copies |chunk| into the read buffer as an overlapped read would.
  bool Complete(const std::string& chunk) {
    memcpy(read_buffer(), chunk.data(), chunk.size());
    return DispatchReadBuffer(chunk.size());
  }

 private:
  ReadResult ReadFromPipe(char* buffer, size_t length, size_t* bytes_read) override {
    if (next_ == chunks_.size())
      return kReadPending;
    const std::string& chunk = chunks_[next_++];
    FUZZ_CHECK(chunk.size() <= length);
    memcpy(buffer, chunk.data(), chunk.size());
    *bytes_read = chunk.size();
    return kReadDone;
  }

  bool AcceptsInput(const Message* message) override { return message->type() != refused_type_; }
  bool OnInputDrained() override { return true; }
  void OnHelloReceived(const Message& message) override {
    recorder_->deliveries.push_back({true, fuzz::WireBytes(message)});
  }

  RecordingListener* recorder_;
  uint32_t refused_type_;
  std::vector<std::string> chunks_;
  size_t next_ = 0;
};

// The messages the whole stream frames, each with the stream offset it ends at.
std::vector<std::pair<std::string, size_t>> FrameWhole(const std::string& stream) {
  std::vector<std::pair<std::string, size_t>> messages;
  const char* begin = stream.data();
  const char* p = begin;
  while (const char* next = Message::FindNext(p, begin + stream.size())) {
    messages.push_back({std::string(p, next), static_cast<size_t>(next - begin)});
    p = next;
  }
  return messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const size_t limit = provider.ConsumeIntegralInRange<size_t>(IPC::Channel::kReadBufferSize,
                                                               4 * IPC::Channel::kReadBufferSize);
  const uint32_t refused_type = provider.ConsumeIntegral<uint32_t>();
  std::vector<std::string> chunks;
  std::vector<bool> completed;  // delivered as an overlapped completion, not by a read loop
  while (provider.remaining_bytes() > 0) {
    const size_t length =
        provider.ConsumeIntegralInRange<size_t>(1, IPC::Channel::kReadBufferSize);
    completed.push_back(provider.ConsumeBool());
    chunks.push_back(provider.ConsumeBytesAsString(length));
    if (chunks.back().empty())
      chunks.pop_back(), completed.pop_back();
  }

  // What must happen, from the whole stream: the messages it frames, the refused one, and
  // the first chunk at which buffered and new bytes pass the limit.
  std::string stream;
  for (const std::string& chunk : chunks)
    stream += chunk;
  const auto framed = FrameWhole(stream);
  size_t expected = 0;
  size_t failing_chunk = chunks.size();
  size_t received = 0;
  for (size_t i = 0; i < chunks.size() && failing_chunk == chunks.size(); ++i) {
    size_t consumed = 0;
    for (size_t m = 0; m < framed.size() && framed[m].second <= received; ++m)
      consumed = framed[m].second;
    const size_t buffered = received - consumed;
    if (buffered > 0 && buffered + chunks[i].size() > limit) {
      failing_chunk = i;
      break;
    }
    received += chunks[i].size();
    while (expected < framed.size() && framed[expected].second <= received) {
      if (fuzz::Load32(framed[expected].first.data() + 8) == refused_type) {
        failing_chunk = i;
        break;
      }
      ++expected;
    }
  }

  // Runs of chunks go through one read loop each; the others complete one by one. A failed
  // run must be the one holding the failing chunk.
  RecordingListener listener;
  ChunkReader reader(&listener, limit, refused_type);
  bool failed = false;
  size_t i = 0;
  while (i < chunks.size() && !failed) {
    size_t run_end = i + 1;
    if (completed[i]) {
      failed = !reader.Complete(chunks[i]);
    } else {
      while (run_end < chunks.size() && !completed[run_end])
        ++run_end;
      reader.set_chunks(std::vector<std::string>(chunks.begin() + i, chunks.begin() + run_end));
      failed = !reader.ReadIncoming();
    }
    FUZZ_CHECK(failed == (failing_chunk >= i && failing_chunk < run_end));
    i = run_end;
  }
  FUZZ_CHECK(failed == (failing_chunk < chunks.size()));
  FUZZ_CHECK(listener.deliveries.size() == expected);
  for (size_t m = 0; m < expected; ++m) {
    const Delivery& delivery = listener.deliveries[m];
    FUZZ_CHECK(delivery.bytes == framed[m].first);
    const Message message(delivery.bytes.data(), static_cast<int>(delivery.bytes.size()));
    FUZZ_CHECK(delivery.hello == message.is_hello());
  }
  return 0;
}
