#include "support/wire_bytes.h"

#include "base/pickle.h"

namespace test {

Bytes WireBytes(const void* data, size_t size) {
  const uint8_t* begin = static_cast<const uint8_t*>(data);
  return Bytes(begin, begin + size);
}

Bytes WireBytes(const Pickle& pickle) { return WireBytes(pickle.data(), pickle.size()); }

Bytes PayloadBytes(const Pickle& pickle) {
  return WireBytes(pickle.payload(), pickle.payload_size());
}

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes joined(a);
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

Bytes MessageHeaderBytes(uint32_t payload_size, int32_t routing, uint32_t type, uint32_t flags) {
  Bytes header = WireBytes(&payload_size, sizeof(payload_size));
  header = Concat(header, WireBytes(&routing, sizeof(routing)));
  header = Concat(header, WireBytes(&type, sizeof(type)));
  return Concat(header, WireBytes(&flags, sizeof(flags)));
}

}  // namespace test
