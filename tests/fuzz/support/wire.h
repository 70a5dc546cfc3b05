// Little-endian fields of hostile wire bytes, read independently of the decoders under test.
#ifndef FUZZ_SUPPORT_WIRE_H_
#define FUZZ_SUPPORT_WIRE_H_

#include <cstdint>
#include <cstring>
#include <string>

#include "base/pickle.h"

namespace fuzz {

inline uint32_t Load32(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

inline std::string WireBytes(const Pickle& pickle) {
  return std::string(static_cast<const char*>(pickle.data()), pickle.size());
}

}  // namespace fuzz

#endif  // FUZZ_SUPPORT_WIRE_H_
