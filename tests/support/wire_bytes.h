// The bytes a pickle or message puts on the wire, for comparison with literal byte lists,
// and hand-made wire bytes for views.
#ifndef SUPPORT_WIRE_BYTES_H_
#define SUPPORT_WIRE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class Pickle;

namespace test {

typedef std::vector<uint8_t> Bytes;

Bytes WireBytes(const void* data, size_t size);
// data() for size() bytes, exactly what a channel writes.
Bytes WireBytes(const Pickle& pickle);
// The payload alone, without the header.
Bytes PayloadBytes(const Pickle& pickle);

// |a| followed by |b|.
Bytes Concat(const Bytes& a, const Bytes& b);

// The 16-byte message header, little-endian: payload size, routing id, type, flags.
Bytes MessageHeaderBytes(uint32_t payload_size, int32_t routing, uint32_t type, uint32_t flags);

// |bytes| in the (pointer, int length) form of the view constructors.
inline const char* AsChars(const Bytes& bytes) {
  return reinterpret_cast<const char*>(bytes.data());
}
inline int Length(const Bytes& bytes) { return static_cast<int>(bytes.size()); }

}  // namespace test

#endif  // SUPPORT_WIRE_BYTES_H_
