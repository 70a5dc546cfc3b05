// Growth, alignment and bounds rules of Pickle and PickleIterator.
#include "base/pickle.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/logging.h"

namespace {

constexpr size_t kFieldAlignment = sizeof(uint32_t);

// capacity_ is an int, so no buffer may be larger than this.
constexpr size_t kMaxCapacity =
    static_cast<size_t>(INT_MAX) & ~static_cast<size_t>(Pickle::kPayloadUnit - 1);

// |alignment| is a power of two; callers keep |value| far below SIZE_MAX.
size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) & ~(alignment - 1);
}

// Copies |count| 2-byte units from |bytes| into |units|. Where wchar_t is wider than a
// UTF-16 unit (the native build of the platform-free code), each unit is widened on its own.
template <typename Unit>
void CopyUtf16Units(const char* bytes, int count, Unit* units) {
  if (sizeof(Unit) == 2) {
    memcpy(units, bytes, static_cast<size_t>(count) * 2);
    return;
  }
  for (int i = 0; i < count; ++i) {
    uint16_t unit;
    memcpy(&unit, bytes + 2 * i, sizeof(unit));
    units[i] = static_cast<Unit>(unit);
  }
}

}  // namespace

// PickleIterator ---------------------------------------------------------------------------

PickleIterator::PickleIterator(const Pickle& pickle)
    : read_ptr_(pickle.payload()), read_end_ptr_(pickle.end_of_payload()) {}

// Only sizeof(Type) bytes are required, so after a short type the position may stand up to
// three bytes past the end; every later read then fails.
template <typename Type>
bool PickleIterator::ReadBuiltinType(Type* result) {
  if (!read_ptr_ || BytesLeft() < static_cast<ptrdiff_t>(sizeof(Type)))
    return false;
  // Views may start at any byte of a read buffer, so fields are copied, not dereferenced.
  memcpy(result, read_ptr_, sizeof(Type));
  read_ptr_ += AlignUp(sizeof(Type), kFieldAlignment);
  return true;
}

const char* PickleIterator::GetReadPointerAndAdvance(int num_bytes) {
  if (!read_ptr_ || num_bytes < 0 || BytesLeft() < num_bytes)
    return nullptr;
  const char* current = read_ptr_;
  read_ptr_ += AlignUp(static_cast<size_t>(num_bytes), kFieldAlignment);
  return current;
}

template <typename WireType, typename Type>
bool PickleIterator::ReadConverted(Type* result) {
  WireType value;
  if (!ReadBuiltinType(&value))
    return false;
  *result = static_cast<Type>(value);
  return true;
}

// Only the first byte decides: any non-zero value is true.
bool PickleIterator::ReadBool(bool* result) { return ReadConverted<uint8_t>(result); }

bool PickleIterator::ReadInt(int* result) { return ReadBuiltinType(result); }

bool PickleIterator::ReadLong(long* result) { return ReadConverted<int32_t>(result); }

bool PickleIterator::ReadUInt16(uint16_t* result) { return ReadBuiltinType(result); }
bool PickleIterator::ReadUInt32(uint32_t* result) { return ReadBuiltinType(result); }
bool PickleIterator::ReadInt64(int64_t* result) { return ReadBuiltinType(result); }
bool PickleIterator::ReadUInt64(uint64_t* result) { return ReadBuiltinType(result); }

bool PickleIterator::ReadLength(int* result) {
  PickleIterator probe(*this);
  int value;
  if (!probe.ReadInt(&value) || value < 0)
    return false;
  *this = probe;
  *result = value;
  return true;
}

bool PickleIterator::ReadString(std::string* result) {
  const char* bytes;
  int count;
  if (!ReadData(&bytes, &count))
    return false;
  result->assign(bytes, count);
  return true;
}

template <typename String>
bool PickleIterator::ReadUtf16Units(String* result) {
  int count;
  if (!ReadInt(&count))
    return false;
  // The byte count must fit the signed 32-bit length of a variable read.
  if (count < 0 || count > INT_MAX / 2)
    return false;
  const char* bytes = GetReadPointerAndAdvance(count * 2);
  if (!bytes)
    return false;
  result->resize(count);
  CopyUtf16Units(bytes, count, &(*result)[0]);
  return true;
}

bool PickleIterator::ReadWString(std::wstring* result) { return ReadUtf16Units(result); }
bool PickleIterator::ReadString16(std::u16string* result) { return ReadUtf16Units(result); }

bool PickleIterator::ReadData(const char** data, int* length) {
  *data = nullptr;
  *length = 0;
  // The outputs are set only together, so a failed read never leaves a count without bytes.
  int count;
  if (!ReadInt(&count))
    return false;
  const char* bytes = GetReadPointerAndAdvance(count);
  if (!bytes)
    return false;
  *data = bytes;
  *length = count;
  return true;
}

bool PickleIterator::ReadBytes(const char** data, int length) {
  const char* bytes = GetReadPointerAndAdvance(length);
  if (!bytes)
    return false;
  *data = bytes;
  return true;
}

bool PickleIterator::SkipBytes(int num_bytes) {
  return GetReadPointerAndAdvance(num_bytes) != nullptr;
}

// Pickle -----------------------------------------------------------------------------------

Pickle::Pickle() : Pickle(static_cast<int>(sizeof(Header))) {}

Pickle::Pickle(int header_size)
    : header_(nullptr),
      header_size_(AlignUp(std::max<size_t>(std::max(header_size, 0), sizeof(Header)),
                           kFieldAlignment)),
      capacity_(0) {
  bool resized = Resize(std::max<size_t>(kPayloadUnit, header_size_));
  CHECK(resized);
  header_->payload_size = 0;
}

Pickle::Pickle(const char* data, int data_len)
    : header_(reinterpret_cast<Header*>(const_cast<char*>(data))),
      header_size_(0),
      capacity_(kCapacityReadOnly) {
  bool framed = false;
  if (data && data_len >= static_cast<int>(sizeof(Header))) {
    size_t length = static_cast<size_t>(data_len);
    uint32_t payload_size;
    memcpy(&payload_size, data, sizeof(payload_size));
    // Unsigned: a payload size above the length wraps to a header size above it.
    header_size_ = length - payload_size;
    // The header must at least hold the payload size itself.
    framed = header_size_ <= length && header_size_ >= sizeof(Header) &&
             header_size_ % kFieldAlignment == 0;
  }
  if (!framed)
    MakeInvalidView();
}

Pickle::Pickle(const Pickle& other)
    : header_(nullptr), header_size_(other.header_size_), capacity_(0) {
  if (!other.header_)
    return;  // a copy of an invalid view is just as invalid
  size_t size = other.size();
  bool resized = Resize(size);
  CHECK(resized);
  memcpy(header_, other.header_, size);
  // The source's padding after its last field may not be ours to read; a later write
  // would put it on the wire.
  memset(reinterpret_cast<char*>(header_) + size, 0, AlignUp(size, kFieldAlignment) - size);
}

Pickle::~Pickle() {
  if (capacity_ != kCapacityReadOnly)
    free(header_);
}

void Pickle::MakeInvalidView() {
  DCHECK_EQ(capacity_, kCapacityReadOnly);
  header_ = nullptr;
  header_size_ = 0;
}

bool Pickle::WriteBool(bool value) { return WriteInt(value ? 1 : 0); }
bool Pickle::WriteInt(int value) { return WriteBytes(&value, sizeof(value)); }

bool Pickle::WriteLongUsingDangerousNonPortableLessPersistableForm(long value) {
  int32_t wire_value = static_cast<int32_t>(value);
  return WriteBytes(&wire_value, sizeof(wire_value));
}

bool Pickle::WriteUInt16(uint16_t value) { return WriteBytes(&value, sizeof(value)); }
bool Pickle::WriteUInt32(uint32_t value) { return WriteBytes(&value, sizeof(value)); }
bool Pickle::WriteInt64(int64_t value) { return WriteBytes(&value, sizeof(value)); }
bool Pickle::WriteUInt64(uint64_t value) { return WriteBytes(&value, sizeof(value)); }

bool Pickle::WriteString(const std::string& value) {
  if (value.size() > static_cast<size_t>(INT_MAX))
    return false;
  return WriteCounted(static_cast<int>(value.size()), value.data(), value.size());
}

template <typename String>
bool Pickle::WriteUtf16Units(const String& value) {
  if (value.size() > static_cast<size_t>(INT_MAX / 2))
    return false;
  if (sizeof(typename String::value_type) != 2) {
    const std::u16string units(value.begin(), value.end());
    return WriteUtf16Units(units);
  }
  return WriteCounted(static_cast<int>(value.size()), value.data(), value.size() * 2);
}

bool Pickle::WriteWString(const std::wstring& value) { return WriteUtf16Units(value); }
bool Pickle::WriteString16(const std::u16string& value) { return WriteUtf16Units(value); }

bool Pickle::WriteData(const char* data, int length) {
  if (length < 0)
    return false;
  return WriteCounted(length, data, static_cast<size_t>(length));
}

bool Pickle::WriteCounted(int count, const void* bytes, size_t byte_count) {
  size_t payload_before = payload_size();
  if (!WriteInt(count))
    return false;
  if (WriteBytes(bytes, static_cast<int>(byte_count)))
    return true;
  header_->payload_size = static_cast<uint32_t>(payload_before);
  return false;
}

bool Pickle::WriteBytes(const void* data, int data_len) {
  if (data_len < 0)
    return false;
  size_t length = static_cast<size_t>(data_len);
  char* dest = BeginWrite(length);
  if (!dest)
    return false;
  if (length > 0)
    memcpy(dest, data, length);
  EndWrite(dest, length);
  return true;
}

char* Pickle::BeginWrite(size_t length) {
  // A view borrows its bytes from someone else; writing into them would corrupt the
  // owner's buffer, and a view has no room of its own to grow.
  CHECK_NE(capacity_, kCapacityReadOnly);
  if (!header_)
    return nullptr;  // a copy of an invalid view has no header to count the field in
  size_t offset = AlignUp(header_->payload_size, kFieldAlignment);
  // header_size_ + offset fit in the capacity (below INT_MAX) and length is at most
  // INT_MAX, so the sum does not wrap.
  size_t needed = header_size_ + offset + length;
  size_t capacity = static_cast<size_t>(capacity_);
  if (needed > capacity && !Resize(std::max(capacity * 2, needed)))
    return nullptr;
  header_->payload_size = static_cast<uint32_t>(offset + length);
  return reinterpret_cast<char*>(header_) + header_size_ + offset;
}

void Pickle::EndWrite(char* dest, size_t length) {
  // The capacity is a multiple of kPayloadUnit, so the padding always lies inside it.
  memset(dest + length, 0, AlignUp(length, kFieldAlignment) - length);
}

bool Pickle::Resize(size_t new_capacity) {
  if (new_capacity > kMaxCapacity)
    return false;
  new_capacity = AlignUp(new_capacity, kPayloadUnit);
  void* grown = realloc(header_, new_capacity);
  if (!grown)
    return false;
  header_ = static_cast<Header*>(grown);
  capacity_ = static_cast<int>(new_capacity);
  return true;
}

// static
const char* Pickle::FindNext(size_t header_size, const char* range_start,
                             const char* range_end) {
  if (!range_start || range_end < range_start ||
      static_cast<size_t>(range_end - range_start) < sizeof(Header)) {
    return nullptr;
  }
  uint32_t payload_size;
  memcpy(&payload_size, range_start, sizeof(payload_size));
  // Addresses as integers, so that a hostile size can wrap without undefined behaviour.
  uintptr_t start = reinterpret_cast<uintptr_t>(range_start);
  uintptr_t payload_start = start + header_size;
  uintptr_t message_end = payload_start + payload_size;
  if (payload_start < start || message_end < payload_start)
    return nullptr;
  if (message_end > reinterpret_cast<uintptr_t>(range_end))
    return nullptr;
  return range_start + (message_end - start);
}
