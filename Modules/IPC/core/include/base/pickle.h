// Serialisation buffer of the channel layer: a 4-byte header holding the payload size, then
// 4-byte-aligned fields. The bytes in memory are the bytes on the wire (little-endian).
#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class Pickle;

// Reads the fields of a pickle in the order they were written. A failed read returns false,
// leaves its output untouched and does not move the read position, except that a counted
// read (string, data) whose count was read but whose bytes are missing stays after the count.
// Copyable value; it must not outlive the pickle it reads.
class PickleIterator {
 public:
  PickleIterator() : read_ptr_(nullptr), read_end_ptr_(nullptr) {}
  explicit PickleIterator(const Pickle& pickle);

  bool ReadBool(bool* result);
  bool ReadInt(int* result);
  bool ReadLong(long* result);
  bool ReadUInt16(uint16_t* result);
  bool ReadUInt32(uint32_t* result);
  bool ReadInt64(int64_t* result);
  bool ReadUInt64(uint64_t* result);
  bool ReadString(std::string* result);
  bool ReadWString(std::wstring* result);
  bool ReadString16(std::u16string* result);

  // Sets *data to null and *length to 0 first; on success *data points into the pickle.
  bool ReadData(const char** data, int* length);

  // On success *data points at |length| bytes inside the pickle.
  bool ReadBytes(const char** data, int length);

  // An int that must not be negative.
  bool ReadLength(int* result);

  bool SkipBytes(int num_bytes);

 private:
  template <typename Type>
  bool ReadBuiltinType(Type* result);
  // Reads a field stored as WireType into a Type.
  template <typename WireType, typename Type>
  bool ReadConverted(Type* result);

  // Null when fewer than |num_bytes| remain or |num_bytes| is negative; otherwise the bytes,
  // and the read position moves past them and their padding.
  const char* GetReadPointerAndAdvance(int num_bytes);

  template <typename String>
  bool ReadUtf16Units(String* result);

  // Bytes left to read; negative once a short field's padding has run past the end.
  ptrdiff_t BytesLeft() const { return read_end_ptr_ - read_ptr_; }

  const char* read_ptr_;
  const char* read_end_ptr_;
};

// A growable byte buffer of fields. An owning pickle allocates in kPayloadUnit steps and may
// be written; a read-only pickle (capacity() == kCapacityReadOnly) views bytes owned by
// someone else, must not outlive them and must never be written (that is a fatal check).
// A view over bytes that do not frame a pickle is invalid: data() is null and every read
// fails. Not thread-safe; a copy is independent of its source.
class Pickle {
 public:
  static constexpr int kPayloadUnit = 64;
  static constexpr int kCapacityReadOnly = -1;

  Pickle();
  // |header_size| is rounded up to a multiple of 4.
  explicit Pickle(int header_size);
  // Read-only view of a serialised pickle of |data_len| bytes.
  Pickle(const char* data, int data_len);
  // Always an owning, writable copy.
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle&) = delete;
  virtual ~Pickle();

  size_t size() const { return header_size_ + payload_size(); }
  const void* data() const { return header_; }
  int capacity() const { return capacity_; }

  size_t payload_size() const { return header_ ? LoadHeaderField<uint32_t>(0) : 0; }
  const char* payload() const {
    return header_ ? reinterpret_cast<const char*>(header_) + header_size_ : nullptr;
  }
  const char* end_of_payload() const { return header_ ? payload() + payload_size() : nullptr; }

  // Each writer answers false, and leaves the pickle as it was, when the buffer cannot grow.
  bool WriteBool(bool value);
  bool WriteInt(int value);
  // Four bytes, as long is on Windows.
  bool WriteLongUsingDangerousNonPortableLessPersistableForm(long value);
  bool WriteUInt16(uint16_t value);
  bool WriteUInt32(uint32_t value);
  bool WriteInt64(int64_t value);
  bool WriteUInt64(uint64_t value);
  bool WriteString(const std::string& value);
  bool WriteWString(const std::wstring& value);
  bool WriteString16(const std::u16string& value);
  // A count, then the bytes; a negative |length| writes nothing and fails.
  bool WriteData(const char* data, int length);
  // The raw bytes, padded to a multiple of 4 in memory; the primitive under every writer.
  bool WriteBytes(const void* data, int data_len);

  // Frames one pickle with a header of |header_size| bytes in [range_start, range_end):
  // answers the first byte after it, or null when the range holds no complete pickle.
  static const char* FindNext(size_t header_size, const char* range_start,
                              const char* range_end);

  // The first 4 bytes of every pickle.
  struct Header {
    uint32_t payload_size;  // bytes in use after the header, without the last field's padding
  };

 protected:
  size_t header_size() const { return header_size_; }

  template <class T>
  T* headerT() {
    return static_cast<T*>(header_);
  }

  // The header field at byte |offset|, copied out: a view may start at any byte of a read
  // buffer, where the header as a struct would be misaligned.
  template <typename T>
  T LoadHeaderField(size_t offset) const {
    T value;
    memcpy(&value, reinterpret_cast<const char*>(header_) + offset, sizeof(value));
    return value;
  }

  // Drops a view whose header does not have the size a subclass requires.
  void MakeInvalidView();

 private:
  // Reserves room for a field of |length| bytes at the next 4-byte offset and counts it in
  // the payload size; null when the buffer cannot grow.
  char* BeginWrite(size_t length);
  // Zeroes the padding after a field of |length| bytes at |dest|.
  void EndWrite(char* dest, size_t length);
  // A count field, then |byte_count| bytes; both or neither are written.
  bool WriteCounted(int count, const void* bytes, size_t byte_count);
  template <typename String>
  bool WriteUtf16Units(const String& value);

  // Reallocates to |new_capacity| rounded up to kPayloadUnit, keeping the bytes.
  bool Resize(size_t new_capacity);

  Header* header_;
  size_t header_size_;  // multiple of 4; 0 marks an invalid pickle
  int capacity_;        // bytes allocated, or kCapacityReadOnly for a view
};

#endif  // BASE_PICKLE_H_
