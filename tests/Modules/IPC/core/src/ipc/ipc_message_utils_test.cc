// Parameter encodings of the system's messages: exact bytes, round trips and bad input.
#include "ipc/ipc_message_utils.h"

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/wire_bytes.h"

namespace IPC {
namespace {

using test::AsChars;
using test::Bytes;
using test::Concat;
using test::Length;
using test::MessageHeaderBytes;
using test::PayloadBytes;
using test::WireBytes;

template <class P>
P RoundTrip(const P& value) {
  Message msg(1, 2, Message::kPriorityNormal);
  EXPECT_TRUE(WriteParam(&msg, value));
  PickleIterator iter(msg);
  P result = P();
  EXPECT_TRUE(ReadParam(&msg, &iter, &result));
  int extra;
  EXPECT_FALSE(iter.ReadInt(&extra)) << "the value reads back whole and nothing more";
  return result;
}

TEST(ParamTraitsTest, EachTypeRoundTrips) {
  for (int value : {INT_MIN, -1, 0, 10000, INT_MAX})
    EXPECT_EQ(value, RoundTrip(value));
  EXPECT_TRUE(RoundTrip(true));
  EXPECT_FALSE(RoundTrip(false));
  for (const std::string& value :
       {std::string(), std::string("abc"), std::string("a\0b", 3), std::string(5000, 'q')})
    EXPECT_EQ(value, RoundTrip(value));
  for (const std::vector<char>& value :
       {std::vector<char>(), std::vector<char>{'\0'}, std::vector<char>(4097, '\xEE')})
    EXPECT_EQ(value, RoundTrip(value));
}

// The routing message: peer id, then the data block, the flag and the tag.
TEST(ParamTraitsTest, RoutingMessagePayloadIsLaidOutFieldByField) {
  Message msg(Message::kRoutingControl, 35, Message::kPriorityNormal);
  ASSERT_TRUE(WriteParam(&msg, 10000));
  ASSERT_TRUE(WriteParam(&msg, std::vector<char>{'h', 'i', '!'}));
  ASSERT_TRUE(WriteParam(&msg, false));
  ASSERT_TRUE(WriteParam(&msg, -1));
  EXPECT_EQ(Concat(MessageHeaderBytes(20, 0x7FFFFFFF, 35, 2),
                   {0x10, 0x27, 0, 0, 3, 0, 0, 0, 'h', 'i', '!', 0, 0, 0, 0, 0, 0xFF, 0xFF,
                    0xFF, 0xFF}),
            WireBytes(msg));
}

TEST(ParamTraitsTest, EmptyByteVectorIsACountOfZero) {
  Message msg(1, 2, Message::kPriorityNormal);
  ASSERT_TRUE(WriteParam(&msg, std::vector<char>()));
  EXPECT_EQ(Bytes({0, 0, 0, 0}), PayloadBytes(msg));
}

TEST(ParamTraitsTest, StringIsACountThenTheBytes) {
  Message msg(1, 2, Message::kPriorityNormal);
  ASSERT_TRUE(WriteParam(&msg, std::string("worker")));
  EXPECT_EQ(Bytes({6, 0, 0, 0, 'w', 'o', 'r', 'k', 'e', 'r'}), PayloadBytes(msg));
}

TEST(ParamTraitsTest, UnreadableFieldsLeaveTheOutputAlone) {
  const Bytes kPayloads[] = {
      {},                                // nothing at all
      {0xFF, 0xFF, 0xFF, 0xFF, 'x'},     // negative count
      {0x10, 0, 0, 0, 'x', 'y'},         // count beyond the payload
      {0x00, 0x00, 0x00, 0x80},          // INT_MIN count
  };
  for (const Bytes& payload : kPayloads) {
    Bytes bytes =
        Concat(MessageHeaderBytes(static_cast<uint32_t>(payload.size()), 1, 2, 2), payload);
    Message view(AsChars(bytes), Length(bytes));
    std::string s = "keep";
    std::vector<char> v = {'k'};
    PickleIterator string_iter(view);
    PickleIterator vector_iter(view);
    EXPECT_FALSE(ReadParam(&view, &string_iter, &s));
    EXPECT_FALSE(ReadParam(&view, &vector_iter, &v));
    EXPECT_EQ("keep", s);
    EXPECT_EQ(std::vector<char>{'k'}, v);
  }
  Message empty;
  PickleIterator iter(empty);
  int i = 3;
  bool b = true;
  EXPECT_FALSE(ReadParam(&empty, &iter, &i));
  EXPECT_FALSE(ReadParam(&empty, &iter, &b));
  EXPECT_EQ(3, i);
  EXPECT_TRUE(b);
}

// Random payloads read as routing messages: a read either fails or yields bytes that were
// really in the payload.
TEST(ParamTraitsTest, RandomPayloadsNeverYieldBytesFromOutsideTheMessage) {
  std::mt19937 random(4012);
  for (int round = 0; round < 2000; ++round) {
    Bytes payload(random() % 48);
    for (uint8_t& byte : payload)
      byte = static_cast<uint8_t>(random() % 3 == 0 ? random() % 256 : random() % 16);
    Bytes bytes =
        Concat(MessageHeaderBytes(static_cast<uint32_t>(payload.size()), 1, 35, 2), payload);
    Message view(AsChars(bytes), Length(bytes));
    PickleIterator iter(view);
    int peer = 0;
    std::vector<char> data;
    bool flag = false;
    int tag = 0;
    if (!ReadParam(&view, &iter, &peer) || !ReadParam(&view, &iter, &data))
      continue;
    EXPECT_LE(data.size() + 8, payload.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(),
                           reinterpret_cast<const char*>(payload.data()) + 8));
    if (ReadParam(&view, &iter, &flag))
      ReadParam(&view, &iter, &tag);
  }
}

}  // namespace
}  // namespace IPC
