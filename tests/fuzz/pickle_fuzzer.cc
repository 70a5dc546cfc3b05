// Pickle reads over hostile bytes. Every read stays inside the payload; a failed read does
// not move the iterator (a counted read may stay after its count); a successful one moves it
// by the field's aligned size. The values read re-encode to a pickle that reads back to the
// same values and re-encodes to the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/pickle.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/wire.h"

namespace {

enum FieldKind {
  kBool, kInt, kLong, kUInt16, kUInt32, kInt64, kUInt64,
  kString, kString16, kData, kBytes, kLength, kFieldKindCount
};

// One read to try: the field and, for raw bytes, how many.
struct Field {
  FieldKind kind;
  int length;
};

// What a read gave, in a form every field fits.
struct Value {
  Field field = {kFieldKindCount, 0};
  int64_t number = 0;
  std::string bytes;
  std::u16string units;

  bool operator==(const Value& other) const {
    return field.kind == other.field.kind && field.length == other.field.length &&
           number == other.number && bytes == other.bytes && units == other.units;
  }
};

struct Position {
  const char* read;
  const char* end;
};
static_assert(sizeof(PickleIterator) == sizeof(Position), "an iterator is two pointers");

Position PositionOf(const PickleIterator& iter) {
  Position position;
  memcpy(&position, &iter, sizeof(position));
  return position;
}

size_t Aligned(size_t n) { return (n + 3) & ~size_t{3}; }

template <typename T>
bool ReadNumber(bool (PickleIterator::*read)(T*), PickleIterator* iter, Value* value) {
  T number{};
  if (!(iter->*read)(&number))
    return false;
  value->number = static_cast<int64_t>(number);
  return true;
}

// Reads one field; on success |*advance| is how far it must have moved the iterator and
// |*needed| how many of those bytes had to be there.
bool ReadField(PickleIterator* iter, const Field& field, Value* value, size_t* advance,
               size_t* needed) {
  value->field = field;
  switch (field.kind) {
    case kBool: {
      bool flag = false;
      if (!iter->ReadBool(&flag))
        return false;
      value->number = flag;
      *advance = 4, *needed = 1;
      return true;
    }
    case kInt:
      *advance = *needed = 4;
      return ReadNumber(&PickleIterator::ReadInt, iter, value);
    case kLong:
      *advance = *needed = 4;
      return ReadNumber(&PickleIterator::ReadLong, iter, value);
    case kUInt16:
      *advance = 4, *needed = 2;
      return ReadNumber(&PickleIterator::ReadUInt16, iter, value);
    case kUInt32:
      *advance = *needed = 4;
      return ReadNumber(&PickleIterator::ReadUInt32, iter, value);
    case kInt64:
      *advance = *needed = 8;
      return ReadNumber(&PickleIterator::ReadInt64, iter, value);
    case kUInt64:
      *advance = *needed = 8;
      return ReadNumber(&PickleIterator::ReadUInt64, iter, value);
    case kLength:
      *advance = *needed = 4;
      if (!ReadNumber(&PickleIterator::ReadLength, iter, value))
        return false;
      FUZZ_CHECK(value->number >= 0);
      return true;
    case kString:
      if (!iter->ReadString(&value->bytes))
        return false;
      *needed = 4 + value->bytes.size();
      *advance = 4 + Aligned(value->bytes.size());
      return true;
    case kString16:
      if (!iter->ReadString16(&value->units))
        return false;
      *needed = 4 + 2 * value->units.size();
      *advance = 4 + Aligned(2 * value->units.size());
      return true;
    case kData: {
      const char* data = reinterpret_cast<const char*>(1);
      int length = -1;
      if (!iter->ReadData(&data, &length)) {
        FUZZ_CHECK(data == nullptr && length == 0);
        return false;
      }
      FUZZ_CHECK(length >= 0);
      value->bytes.assign(data, static_cast<size_t>(length));
      *needed = 4 + value->bytes.size();
      *advance = 4 + Aligned(value->bytes.size());
      return true;
    }
    case kBytes: {
      const char* data = nullptr;
      if (!iter->ReadBytes(&data, field.length))
        return false;
      value->bytes.assign(data, static_cast<size_t>(field.length));
      *advance = Aligned(value->bytes.size());
      *needed = value->bytes.size();
      return true;
    }
    case kFieldKindCount:
      break;
  }
  abort();
}

bool IsCounted(FieldKind kind) {
  return kind == kString || kind == kString16 || kind == kData;
}

// Reads every field, checking how the iterator moves; answers the values of the reads that
// succeeded.
std::vector<Value> ReadFields(const Pickle& pickle, const std::vector<Field>& fields) {
  std::vector<Value> values;
  PickleIterator iter(pickle);
  for (const Field& field : fields) {
    const Position before = PositionOf(iter);
    Value value;
    size_t advance = 0, needed = 0;
    const bool read = ReadField(&iter, field, &value, &advance, &needed);
    const Position after = PositionOf(iter);
    FUZZ_CHECK(after.end == before.end);
    if (!read) {
      FUZZ_CHECK(after.read == before.read || (IsCounted(field.kind) && after.read == before.read + 4));
      continue;
    }
    FUZZ_CHECK(before.read != nullptr && before.read <= before.end);
    FUZZ_CHECK(needed <= static_cast<size_t>(before.end - before.read));
    FUZZ_CHECK(after.read == before.read + advance);
    values.push_back(value);
  }
  return values;
}

bool WriteValue(Pickle* pickle, const Value& value) {
  switch (value.field.kind) {
    case kBool:
      return pickle->WriteBool(value.number != 0);
    case kInt:
    case kLength:
      return pickle->WriteInt(static_cast<int>(value.number));
    case kLong:
      return pickle->WriteLongUsingDangerousNonPortableLessPersistableForm(
          static_cast<long>(value.number));
    case kUInt16:
      return pickle->WriteUInt16(static_cast<uint16_t>(value.number));
    case kUInt32:
      return pickle->WriteUInt32(static_cast<uint32_t>(value.number));
    case kInt64:
      return pickle->WriteInt64(value.number);
    case kUInt64:
      return pickle->WriteUInt64(static_cast<uint64_t>(value.number));
    case kString:
      return pickle->WriteString(value.bytes);
    case kString16:
      return pickle->WriteString16(value.units);
    case kData:
      return pickle->WriteData(value.bytes.data(), static_cast<int>(value.bytes.size()));
    case kBytes:
      return pickle->WriteBytes(value.bytes.data(), static_cast<int>(value.bytes.size()));
    case kFieldKindCount:
      break;
  }
  abort();
}

std::unique_ptr<Pickle> Encode(const std::vector<Value>& values) {
  std::unique_ptr<Pickle> pickle(new Pickle);
  for (const Value& value : values)
    FUZZ_CHECK(WriteValue(pickle.get(), value));
  return pickle;
}

std::vector<Field> FieldsOf(const std::vector<Value>& values) {
  std::vector<Field> fields;
  for (const Value& value : values)
    fields.push_back(value.field);
  return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool owning = provider.ConsumeBool();
  std::vector<Field> fields(provider.ConsumeIntegralInRange<size_t>(0, 24));
  for (Field& field : fields) {
    field.kind = static_cast<FieldKind>(provider.ConsumeIntegralInRange<int>(0, kFieldKindCount - 1));
    field.length = provider.ConsumeIntegralInRange<int>(-4, 64);
  }
  const std::string bytes = provider.ConsumeRemainingBytesAsString();

  // Either a view of the bytes as a whole pickle, or an owning pickle with them as payload.
  std::unique_ptr<Pickle> source;
  if (owning) {
    source.reset(new Pickle);
    FUZZ_CHECK(source->WriteBytes(bytes.data(), static_cast<int>(bytes.size())));
  } else {
    source.reset(new Pickle(bytes.data(), static_cast<int>(bytes.size())));
    if (source->data()) {
      FUZZ_CHECK(source->size() == bytes.size());
      FUZZ_CHECK(source->payload() + source->payload_size() == bytes.data() + bytes.size());
    }
  }

  const std::vector<Value> values = ReadFields(*source, fields);
  const std::unique_ptr<Pickle> encoded = Encode(values);
  const std::vector<Value> reread = ReadFields(*encoded, FieldsOf(values));
  FUZZ_CHECK(reread == values);
  FUZZ_CHECK(fuzz::WireBytes(*Encode(reread)) == fuzz::WireBytes(*encoded));

  // A view of the encoded bytes and an owning copy read the same.
  const std::string wire = fuzz::WireBytes(*encoded);
  const Pickle view(wire.data(), static_cast<int>(wire.size()));
  FUZZ_CHECK(ReadFields(view, FieldsOf(values)) == values);
  const Pickle copy(*source);
  FUZZ_CHECK(ReadFields(copy, fields) == values);
  return 0;
}
