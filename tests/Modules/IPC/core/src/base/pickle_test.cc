// Byte layout, growth, read bounds, views and copies of Pickle and PickleIterator.
#include "base/pickle.h"

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fatal_check.h"
#include "support/wire_bytes.h"

namespace {

using test::AsChars;
using test::Bytes;
using test::Length;
using test::PayloadBytes;
using test::WireBytes;

// A serialised bare pickle (4-byte header) around |payload|.
Bytes Framed(const Bytes& payload) {
  uint32_t size = static_cast<uint32_t>(payload.size());
  return test::Concat(WireBytes(&size, sizeof(size)), payload);
}

// Every reader fails on |iter| (each on its own copy, so one read cannot hide another).
void ExpectEveryReadFails(const PickleIterator& iter) {
  bool b;
  int i;
  long l;
  uint16_t u16;
  uint32_t u32;
  int64_t i64;
  uint64_t u64;
  std::string s;
  std::wstring ws;
  std::u16string s16;
  const char* data;
  auto fresh = [&iter] { return iter; };
  EXPECT_FALSE(fresh().ReadBool(&b));
  EXPECT_FALSE(fresh().ReadInt(&i));
  EXPECT_FALSE(fresh().ReadLong(&l));
  EXPECT_FALSE(fresh().ReadUInt16(&u16));
  EXPECT_FALSE(fresh().ReadUInt32(&u32));
  EXPECT_FALSE(fresh().ReadInt64(&i64));
  EXPECT_FALSE(fresh().ReadUInt64(&u64));
  EXPECT_FALSE(fresh().ReadString(&s));
  EXPECT_FALSE(fresh().ReadWString(&ws));
  EXPECT_FALSE(fresh().ReadString16(&s16));
  EXPECT_FALSE(fresh().ReadData(&data, &i));
  EXPECT_FALSE(fresh().ReadBytes(&data, 0));
  EXPECT_FALSE(fresh().ReadLength(&i));
  EXPECT_FALSE(fresh().SkipBytes(0));
}

// Writing -------------------------------------------------------------------------------

TEST(PickleWriteTest, NewPickleIsAFourByteHeaderInOneUnit) {
  Pickle pickle;
  EXPECT_EQ(4u, pickle.size());
  EXPECT_EQ(0u, pickle.payload_size());
  EXPECT_EQ(64, pickle.capacity());
  EXPECT_EQ(Bytes({0, 0, 0, 0}), WireBytes(pickle));
}

TEST(PickleWriteTest, HeaderSizeIsRoundedUpToFourBytes) {
  Pickle pickle(6);
  EXPECT_EQ(8u, pickle.size());
  ASSERT_TRUE(pickle.WriteInt(1));
  EXPECT_EQ(pickle.payload(), static_cast<const char*>(pickle.data()) + 8);
}

TEST(PickleWriteTest, FixedSizeFieldsAreLittleEndianAndFourByteAligned) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteBool(true));
  ASSERT_TRUE(pickle.WriteBool(false));
  ASSERT_TRUE(pickle.WriteInt(-2));
  ASSERT_TRUE(pickle.WriteLongUsingDangerousNonPortableLessPersistableForm(0x01020304L));
  ASSERT_TRUE(pickle.WriteUInt32(0xA1B2C3D4u));
  ASSERT_TRUE(pickle.WriteInt64(-3));
  ASSERT_TRUE(pickle.WriteUInt64(0x0807060504030201ull));
  EXPECT_EQ(Bytes({1, 0, 0, 0,                                 // bool true
                   0, 0, 0, 0,                                 // bool false
                   0xFE, 0xFF, 0xFF, 0xFF,                     // int -2
                   4, 3, 2, 1,                                 // long, 4 bytes
                   0xD4, 0xC3, 0xB2, 0xA1,                     // uint32
                   0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // int64 -3
                   1, 2, 3, 4, 5, 6, 7, 8}),                   // uint64
            PayloadBytes(pickle));
  EXPECT_EQ(36u, pickle.payload_size());
}

TEST(PickleWriteTest, SixtyFourBitFieldsAreOnlyFourByteAligned) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteUInt16(1));
  ASSERT_TRUE(pickle.WriteUInt64(0x1122334455667788ull));
  EXPECT_EQ(Bytes({1, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}),
            PayloadBytes(pickle));
}

TEST(PickleWriteTest, UInt16IsPaddedOnlyWhenAnotherFieldFollows) {
  Pickle alone;
  ASSERT_TRUE(alone.WriteUInt16(7));
  EXPECT_EQ(2u, alone.payload_size());
  EXPECT_EQ(Bytes({2, 0, 0, 0, 7, 0}), WireBytes(alone));

  Pickle followed;
  ASSERT_TRUE(followed.WriteUInt16(7));
  ASSERT_TRUE(followed.WriteInt(1));
  EXPECT_EQ(8u, followed.payload_size());
  EXPECT_EQ(Bytes({7, 0, 0, 0, 1, 0, 0, 0}), PayloadBytes(followed));
}

TEST(PickleWriteTest, CountedFieldsAreACountThenTheBytes) {
  Pickle string;
  ASSERT_TRUE(string.WriteString("abc"));
  EXPECT_EQ(7u, string.payload_size());
  EXPECT_EQ(Bytes({7, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}), WireBytes(string));
  // The padding of the last field lies in the buffer, zeroed, but is not on the wire.
  EXPECT_EQ('\0', string.payload()[7]);

  Pickle wide;
  ASSERT_TRUE(wide.WriteWString(L"h\u00e9"));
  ASSERT_TRUE(wide.WriteString16(u"\u20ac"));
  EXPECT_EQ(Bytes({2, 0, 0, 0, 'h', 0, 0xE9, 0, 1, 0, 0, 0, 0xAC, 0x20}), PayloadBytes(wide));

  Pickle data;
  ASSERT_TRUE(data.WriteData("xyz!", 4));
  ASSERT_TRUE(data.WriteData(nullptr, 0));
  ASSERT_TRUE(data.WriteBytes("q", 1));
  EXPECT_EQ(Bytes({4, 0, 0, 0, 'x', 'y', 'z', '!', 0, 0, 0, 0, 'q'}), PayloadBytes(data));
}

TEST(PickleWriteTest, PaddingSitsOnlyBetweenFields) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteString("abc"));
  ASSERT_TRUE(pickle.WriteInt(5));
  ASSERT_TRUE(pickle.WriteBytes("de", 2));
  EXPECT_EQ(Bytes({3, 0, 0, 0, 'a', 'b', 'c', 0, 5, 0, 0, 0, 'd', 'e'}), PayloadBytes(pickle));
  EXPECT_EQ(14u, pickle.payload_size());
}

TEST(PickleWriteTest, NegativeLengthsWriteNothing) {
  Pickle pickle;
  EXPECT_FALSE(pickle.WriteData("abc", -1));
  EXPECT_FALSE(pickle.WriteBytes("abc", -1));
  EXPECT_EQ(Bytes({0, 0, 0, 0}), WireBytes(pickle));
}

TEST(PickleWriteTest, GrowsToTwiceTheCapacityOrTheNeedInWholeUnits) {
  Pickle pickle;
  std::vector<char> bytes(400, 'x');
  ASSERT_TRUE(pickle.WriteBytes(bytes.data(), 60));  // 4 + 60 fits exactly
  EXPECT_EQ(64, pickle.capacity());
  ASSERT_TRUE(pickle.WriteBytes(bytes.data(), 1));  // twice the capacity wins
  EXPECT_EQ(128, pickle.capacity());
  ASSERT_TRUE(pickle.WriteBytes(bytes.data(), 300));  // the need, 368, wins over 256
  EXPECT_EQ(384, pickle.capacity());
  EXPECT_EQ(368u, pickle.size());
  EXPECT_EQ(std::string(bytes.data(), 60), std::string(pickle.payload(), 60));
}

TEST(PickleWriteTest, WriteThatCannotGrowLeavesThePickleUnchanged) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteInt(7));
  // No buffer of 2 GiB exists; the byte pointer is never read.
  EXPECT_FALSE(pickle.WriteBytes("", INT_MAX));
  // The count of a counted field is taken back when its bytes do not fit.
  EXPECT_FALSE(pickle.WriteData("", INT_MAX - 8));
  EXPECT_EQ(64, pickle.capacity());
  ASSERT_TRUE(pickle.WriteInt(8));
  EXPECT_EQ(Bytes({7, 0, 0, 0, 8, 0, 0, 0}), PayloadBytes(pickle));
}

// Reading -------------------------------------------------------------------------------

TEST(PickleReadTest, EveryFieldReadsBackInOrder) {
  Pickle pickle;
  ASSERT_TRUE(pickle.WriteBool(true));
  ASSERT_TRUE(pickle.WriteInt(INT_MIN));
  ASSERT_TRUE(pickle.WriteLongUsingDangerousNonPortableLessPersistableForm(-5L));
  ASSERT_TRUE(pickle.WriteUInt16(65535));
  ASSERT_TRUE(pickle.WriteUInt32(0xFFFFFFFFu));
  ASSERT_TRUE(pickle.WriteInt64(INT64_MIN));
  ASSERT_TRUE(pickle.WriteUInt64(UINT64_MAX));
  ASSERT_TRUE(pickle.WriteString(std::string("a\0b", 3)));
  ASSERT_TRUE(pickle.WriteWString(L"wide"));
  ASSERT_TRUE(pickle.WriteString16(u""));
  ASSERT_TRUE(pickle.WriteData("12345", 5));
  ASSERT_TRUE(pickle.WriteBytes("raw", 3));

  PickleIterator iter(pickle);
  bool b = false;
  int i = 0;
  long l = 0;
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  std::string s;
  std::wstring ws;
  std::u16string s16 = u"old";
  const char* data = nullptr;
  int length = 0;
  const char* raw = nullptr;
  ASSERT_TRUE(iter.ReadBool(&b));
  ASSERT_TRUE(iter.ReadInt(&i));
  ASSERT_TRUE(iter.ReadLong(&l));
  ASSERT_TRUE(iter.ReadUInt16(&u16));
  ASSERT_TRUE(iter.ReadUInt32(&u32));
  ASSERT_TRUE(iter.ReadInt64(&i64));
  ASSERT_TRUE(iter.ReadUInt64(&u64));
  ASSERT_TRUE(iter.ReadString(&s));
  ASSERT_TRUE(iter.ReadWString(&ws));
  ASSERT_TRUE(iter.ReadString16(&s16));
  ASSERT_TRUE(iter.ReadData(&data, &length));
  ASSERT_TRUE(iter.ReadBytes(&raw, 3));
  EXPECT_TRUE(b);
  EXPECT_EQ(INT_MIN, i);
  EXPECT_EQ(-5L, l);
  EXPECT_EQ(65535, u16);
  EXPECT_EQ(0xFFFFFFFFu, u32);
  EXPECT_EQ(INT64_MIN, i64);
  EXPECT_EQ(UINT64_MAX, u64);
  EXPECT_EQ(std::string("a\0b", 3), s);
  EXPECT_EQ(L"wide", ws);
  EXPECT_EQ(u"", s16);
  EXPECT_EQ("12345", std::string(data, length));
  EXPECT_EQ("raw", std::string(raw, 3));
  // Results of variable reads point into the pickle itself.
  EXPECT_TRUE(data > pickle.payload() && data < pickle.end_of_payload());
  ExpectEveryReadFails(iter);
}

TEST(PickleReadTest, BoolReadsFromTheLastByteAndNothingFollows) {
  Bytes bytes = Framed({7, 0, 0, 0, 2});
  Pickle view(AsChars(bytes), Length(bytes));
  PickleIterator iter(view);
  int i = 0;
  bool b = false;
  ASSERT_TRUE(iter.ReadInt(&i));
  ASSERT_TRUE(iter.ReadBool(&b));
  EXPECT_EQ(7, i);
  EXPECT_TRUE(b);  // any non-zero first byte is true
  // The read position now stands past the end: every read fails, even an empty one.
  ExpectEveryReadFails(iter);
}

TEST(PickleReadTest, FailedFixedSizeReadDoesNotMove) {
  Bytes bytes = Framed({9, 0});
  Pickle view(AsChars(bytes), Length(bytes));
  PickleIterator iter(view);
  int i = 123;
  int64_t i64 = 456;
  EXPECT_FALSE(iter.ReadInt(&i));
  EXPECT_FALSE(iter.ReadInt64(&i64));
  EXPECT_EQ(123, i);
  EXPECT_EQ(456, i64);
  uint16_t u16 = 0;
  ASSERT_TRUE(iter.ReadUInt16(&u16));
  EXPECT_EQ(9, u16);
}

TEST(PickleReadTest, FailedVariableReadDoesNotMove) {
  Bytes bytes = Framed({'a', 'b', 'c', 'd', 'e'});
  Pickle view(AsChars(bytes), Length(bytes));
  PickleIterator iter(view);
  const char* data = nullptr;
  EXPECT_FALSE(iter.ReadBytes(&data, 6));
  EXPECT_FALSE(iter.ReadBytes(&data, -1));
  EXPECT_FALSE(iter.SkipBytes(6));
  EXPECT_EQ(nullptr, data);
  ASSERT_TRUE(iter.SkipBytes(1));  // a skip moves by whole fields
  ASSERT_TRUE(iter.ReadBytes(&data, 1));
  EXPECT_EQ('e', *data);
}

TEST(PickleReadTest, BadStringCountsFailAndLeaveTheStringAlone) {
  const Bytes kBadCounts[] = {
      {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 0},  // -1
      {4, 0, 0, 0, 'a', 'b', 'c'},                  // one byte more than is left
      {0x00, 0x00, 0x00, 0x80, 'a'},                // INT_MIN
      {0xFF, 0xFF, 0xFF, 0x7F},                     // INT_MAX
  };
  for (const Bytes& payload : kBadCounts) {
    Bytes bytes = Framed(payload);
    Pickle view(AsChars(bytes), Length(bytes));
    PickleIterator iter(view);
    std::string s = "keep";
    EXPECT_FALSE(iter.ReadString(&s));
    EXPECT_EQ("keep", s);
  }
}

TEST(PickleReadTest, CountedReadWithMissingBytesStaysAfterTheCount) {
  Bytes bytes = Framed({0xFF, 0xFF, 0xFF, 0xFF, 42, 0, 0, 0});
  Pickle view(AsChars(bytes), Length(bytes));
  PickleIterator iter(view);
  std::string s;
  ASSERT_FALSE(iter.ReadString(&s));
  int next = 0;
  ASSERT_TRUE(iter.ReadInt(&next));
  EXPECT_EQ(42, next);
}

TEST(PickleReadTest, Utf16CountWhoseByteSizeOverflowsFails) {
  const Bytes kBadCounts[] = {
      {0x00, 0x00, 0x00, 0x40, 'a', 0, 'b', 0},  // 0x40000000 units: 2^31 bytes
      {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0},          // INT_MAX units
      {0x00, 0x00, 0x00, 0xC0, 'a', 0},          // a negative count that doubles to 2^31
      {0xFF, 0xFF, 0xFF, 0xFF},                  // -1
      {0xFF, 0xFF, 0xFF, 0x3F, 'a', 0},          // fits in 32 bits but the bytes are missing
  };
  for (const Bytes& payload : kBadCounts) {
    Bytes bytes = Framed(payload);
    Pickle view(AsChars(bytes), Length(bytes));
    std::wstring ws = L"keep";
    std::u16string s16 = u"keep";
    PickleIterator wide_iter(view);
    PickleIterator utf16_iter(view);
    EXPECT_FALSE(wide_iter.ReadWString(&ws));
    EXPECT_FALSE(utf16_iter.ReadString16(&s16));
    EXPECT_EQ(L"keep", ws);
    EXPECT_EQ(u"keep", s16);
  }
}

TEST(PickleReadTest, ReadDataClearsItsOutputsFirst) {
  const char kSentinel[] = "sentinel";
  const Bytes kUnreadable[] = {
      {},                               // no count
      {5, 0, 0, 0, 'a', 'b'},           // count without its bytes
      {0xFE, 0xFF, 0xFF, 0xFF, 'a'},    // negative count
  };
  for (const Bytes& payload : kUnreadable) {
    Bytes bytes = Framed(payload);
    Pickle view(AsChars(bytes), Length(bytes));
    PickleIterator iter(view);
    const char* data = kSentinel;
    int length = 99;
    EXPECT_FALSE(iter.ReadData(&data, &length));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0, length);
  }

  Pickle empty_block;
  ASSERT_TRUE(empty_block.WriteData(nullptr, 0));
  PickleIterator iter(empty_block);
  const char* data = nullptr;
  int length = 99;
  ASSERT_TRUE(iter.ReadData(&data, &length));
  EXPECT_EQ(0, length);
  EXPECT_EQ(empty_block.end_of_payload(), data);
}

TEST(PickleReadTest, ReadLengthRefusesNegativeValuesWithoutMoving) {
  Bytes bytes = Framed({0xFF, 0xFF, 0xFF, 0xFF});
  Pickle view(AsChars(bytes), Length(bytes));
  PickleIterator iter(view);
  int length = 5;
  EXPECT_FALSE(iter.ReadLength(&length));
  EXPECT_EQ(5, length);
  int value = 0;
  ASSERT_TRUE(iter.ReadInt(&value));
  EXPECT_EQ(-1, value);
}

TEST(PickleReadTest, DefaultIteratorReadsNothing) { ExpectEveryReadFails(PickleIterator()); }

// Views and copies ------------------------------------------------------------------------

TEST(PickleViewTest, ViewReadsTheBytesInPlaceWithoutOwningThem) {
  Bytes bytes = Framed({3, 0, 0, 0, 'a', 'b', 'c'});
  Pickle view(AsChars(bytes), Length(bytes));
  EXPECT_EQ(Pickle::kCapacityReadOnly, view.capacity());
  EXPECT_EQ(bytes.data(), view.data());
  EXPECT_EQ(11u, view.size());
  std::string s;
  ASSERT_TRUE(PickleIterator(view).ReadString(&s));
  EXPECT_EQ("abc", s);
}

TEST(PickleViewTest, BytesThatDoNotFrameAPickleMakeAnInvalidView) {
  Bytes stored_size_too_big = {9, 0, 0, 0, 1, 2, 3, 4};
  Bytes header_not_aligned = {4, 0, 0, 0, 0, 0, 1, 2, 3, 4};  // header of 6
  Bytes no_header = {8, 0, 0, 0, 1, 2, 3, 4};                // header of 0
  Bytes three_bytes = {0, 0, 0};
  struct {
    const char* data;
    int length;
  } const kInvalid[] = {
      {AsChars(three_bytes), 3},
      {AsChars(stored_size_too_big), 8},
      {AsChars(header_not_aligned), 10},
      {AsChars(no_header), 8},
      {AsChars(stored_size_too_big), -8},
      {nullptr, 8},
  };
  for (const auto& bytes : kInvalid) {
    Pickle view(bytes.data, bytes.length);
    EXPECT_EQ(nullptr, view.data());
    EXPECT_EQ(0u, view.size());
    EXPECT_EQ(nullptr, view.payload());
    ExpectEveryReadFails(PickleIterator(view));
  }
}

TEST(PickleViewTest, CopyOfAViewOwnsItsBytes) {
  // A 12-byte buffer whose last byte is not part of the 11-byte pickle.
  Bytes buffer = {7, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0xEE};
  Pickle copy = [&buffer] {
    Pickle view(AsChars(buffer), 11);
    return Pickle(view);
  }();
  std::fill(buffer.begin(), buffer.end(), 0x55);

  EXPECT_NE(Pickle::kCapacityReadOnly, copy.capacity());
  EXPECT_EQ(64, copy.capacity());
  ASSERT_TRUE(copy.WriteInt(5));
  // The source's bytes beyond the pickle do not become padding on the wire.
  EXPECT_EQ(Bytes({12, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0, 5, 0, 0, 0}), WireBytes(copy));
}

TEST(PickleViewTest, CopyOfAnInvalidViewIsInvalidAndRefusesWrites) {
  Bytes three_bytes = {1, 2, 3};
  Pickle view(AsChars(three_bytes), 3);
  Pickle copy(view);
  EXPECT_EQ(nullptr, copy.data());
  EXPECT_FALSE(copy.WriteInt(1));
  ExpectEveryReadFails(PickleIterator(copy));
}

TEST(PickleViewTest, CopyOfAnOwningPickleIsIndependent) {
  Pickle original;
  ASSERT_TRUE(original.WriteString("one"));
  Pickle copy(original);
  ASSERT_TRUE(original.WriteInt(1));
  ASSERT_TRUE(copy.WriteInt(2));
  EXPECT_EQ(Bytes({3, 0, 0, 0, 'o', 'n', 'e', 0, 1, 0, 0, 0}), PayloadBytes(original));
  EXPECT_EQ(Bytes({3, 0, 0, 0, 'o', 'n', 'e', 0, 2, 0, 0, 0}), PayloadBytes(copy));
}

// Framing -----------------------------------------------------------------------------------

TEST(PickleFindNextTest, FramesOnlyCompletePickles) {
  Bytes two = test::Concat(Framed({'a', 'b', 'c'}), Framed({1, 2, 3, 4}));
  const char* start = AsChars(two);
  const char* end = start + two.size();
  // The second pickle starts right after the first, not at a 4-byte boundary.
  EXPECT_EQ(start + 7, Pickle::FindNext(4, start, end));
  EXPECT_EQ(end, Pickle::FindNext(4, start + 7, end));
  EXPECT_EQ(nullptr, Pickle::FindNext(4, start + 7, end - 1));
  EXPECT_EQ(nullptr, Pickle::FindNext(4, start, start + 3));
  EXPECT_EQ(nullptr, Pickle::FindNext(4, end, end));
}

TEST(PickleFindNextTest, SizeThatWrapsTheAddressSpaceFramesNothing) {
  Bytes bytes = {0xFC, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  const char* start = AsChars(bytes);
  EXPECT_EQ(nullptr, Pickle::FindNext(4, start, start + bytes.size()));
  EXPECT_EQ(nullptr, Pickle::FindNext(8, start, start + bytes.size()));
}

// Hostile input -------------------------------------------------------------------------

// Random payloads read with random readers: every read stays inside the payload or fails.
TEST(PickleHostileTest, RandomBytesNeverReadOutsideThePayload) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    Bytes payload(random() % 40);
    for (uint8_t& byte : payload)
      byte = static_cast<uint8_t>(random() % 4 == 0 ? 0xFF : random() % 12);
    Bytes bytes = Framed(payload);
    Pickle view(AsChars(bytes), Length(bytes));
    PickleIterator iter(view);
    const char* begin = view.payload();
    const char* end = view.end_of_payload();
    for (int step = 0; step < 12; ++step) {
      const char* data = nullptr;
      int length = 0;
      std::string s;
      std::wstring ws;
      int64_t i64;
      bool b;
      switch (random() % 6) {
        case 0:
          if (iter.ReadData(&data, &length)) {
            EXPECT_GE(data, begin);
            EXPECT_LE(data + length, end);
          }
          break;
        case 1:
          if (iter.ReadString(&s)) {
            EXPECT_LE(s.size(), payload.size());
          }
          break;
        case 2:
          if (iter.ReadWString(&ws)) {
            EXPECT_LE(ws.size() * 2, payload.size());
          }
          break;
        case 3:
          length = static_cast<int>(random() % 10) - 2;
          if (iter.ReadBytes(&data, length)) {
            EXPECT_GE(data, begin);
            EXPECT_LE(data + length, end);
          }
          break;
        case 4:
          iter.ReadInt64(&i64);
          break;
        default:
          iter.ReadBool(&b);
          break;
      }
    }
  }
}

// Fatal checks ------------------------------------------------------------------------------

TEST(PickleDeathTest, WritingToAReadOnlyViewIsFatal) {
  Bytes bytes = Framed({1, 0, 0, 0});
  EXPECT_EXIT(
      {
        Pickle view(AsChars(bytes), Length(bytes));
        view.WriteInt(2);
      },
      test::EndedByFailedCheck(),
      "Check failed: capacity_ != kCapacityReadOnly \\(-1 vs\\. -1\\)");
}

TEST(PickleDeathTest, WritingToAnInvalidViewIsFatalToo) {
  Bytes three_bytes = {1, 2, 3};
  EXPECT_EXIT(
      {
        Pickle view(AsChars(three_bytes), 3);
        view.WriteBool(true);
      },
      test::EndedByFailedCheck(),
      "Check failed: capacity_ != kCapacityReadOnly \\(-1 vs\\. -1\\)");
}

TEST(PickleDeathTest, BufferThatCannotBeAllocatedIsFatal) {
  EXPECT_EXIT({ Pickle huge(INT_MAX); }, test::EndedByFailedCheck(),
              "Check failed: resized\\. ");
}

}  // namespace
