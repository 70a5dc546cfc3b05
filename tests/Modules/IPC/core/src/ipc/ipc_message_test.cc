// Wire header, flag bits, hello layout, views, copies and framing of IPC::Message.
#include "ipc/ipc_message.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fatal_check.h"
#include "support/wire_bytes.h"

namespace IPC {
namespace {

using test::AsChars;
using test::Bytes;
using test::Length;
using test::Concat;
using test::MessageHeaderBytes;
using test::WireBytes;


void ExpectNothingReads(const Message& msg) {
  PickleIterator iter(msg);
  int i;
  bool b;
  std::string s;
  EXPECT_FALSE(iter.ReadInt(&i));
  EXPECT_FALSE(iter.ReadBool(&b));
  EXPECT_FALSE(iter.ReadString(&s));
  EXPECT_FALSE(iter.SkipBytes(0));
}

// Header ------------------------------------------------------------------------------------

TEST(MessageHeaderTest, NewMessageIsSixteenZeroBytesInOneUnit) {
  Message msg;
  EXPECT_EQ(16u, msg.size());
  EXPECT_EQ(0u, msg.payload_size());
  EXPECT_EQ(64, msg.capacity());
  EXPECT_EQ(Bytes(16, 0), WireBytes(msg));
}

TEST(MessageHeaderTest, FortyNineBytesGrowItToTwoUnits) {
  std::vector<char> bytes(49, 'z');
  Message fits;
  ASSERT_TRUE(fits.WriteBytes(bytes.data(), 48));
  EXPECT_EQ(64, fits.capacity());

  Message grows;
  ASSERT_TRUE(grows.WriteBytes(bytes.data(), 49));
  EXPECT_EQ(128, grows.capacity());
  EXPECT_EQ(65u, grows.size());
}

TEST(MessageHeaderTest, HeaderFieldsAreLittleEndianInWireOrder) {
  Message msg(Message::kRoutingControl, 29, Message::kPriorityNormal);
  EXPECT_EQ(Bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 29, 0, 0, 0, 2, 0, 0, 0}),
            WireBytes(msg));
  msg.set_routing_id(Message::kRoutingNone);
  EXPECT_EQ(Bytes({0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 29, 0, 0, 0, 2, 0, 0, 0}),
            WireBytes(msg));
  EXPECT_EQ(Message::kRoutingNone, msg.routing_id());
  EXPECT_EQ(29u, msg.type());
  EXPECT_EQ(Message::kPriorityNormal, msg.priority());
}

TEST(MessageHeaderTest, StringAbcMakesATwentyThreeByteMessage) {
  Message msg(7, 35, Message::kPriorityNormal);
  ASSERT_TRUE(msg.WriteString("abc"));
  EXPECT_EQ(7u, msg.payload_size());
  EXPECT_EQ(Concat(MessageHeaderBytes(7, 7, 35, 2), {3, 0, 0, 0, 'a', 'b', 'c'}), WireBytes(msg));
}

TEST(MessageHeaderTest, EachFlagSetterSetsOnlyItsBit) {
  Message msg(1, 2, Message::kPriorityNormal);
  EXPECT_FALSE(msg.is_sync() || msg.is_reply() || msg.is_reply_error() ||
               msg.should_unblock() || msg.is_caller_pumping_messages());
  msg.set_sync();
  EXPECT_EQ(0x06u, msg.flags());
  msg.set_unblock(true);
  EXPECT_EQ(0x26u, msg.flags());
  msg.set_reply();
  EXPECT_EQ(0x2Eu, msg.flags());
  msg.set_reply_error();
  EXPECT_EQ(0x3Eu, msg.flags());
  msg.set_unblock(false);
  EXPECT_EQ(0x1Eu, msg.flags());
  EXPECT_TRUE(msg.is_sync() && msg.is_reply() && msg.is_reply_error());
  EXPECT_FALSE(msg.should_unblock());
  EXPECT_EQ(Message::kPriorityNormal, msg.priority());
  Bytes wire = WireBytes(msg);
  EXPECT_EQ(Bytes({0x1E, 0, 0, 0}), Bytes(wire.begin() + 12, wire.end()));
}

TEST(MessageHeaderTest, PriorityAndPumpingBitsAreReadFromTheWire) {
  Bytes bytes = MessageHeaderBytes(0, 1, 2, 0x43);
  Message view(AsChars(bytes), Length(bytes));
  EXPECT_EQ(Message::kPriorityHigh, view.priority());
  EXPECT_TRUE(view.is_caller_pumping_messages());
  EXPECT_FALSE(view.is_sync());
}

// Hello -------------------------------------------------------------------------------------

TEST(MessageHelloTest, ServerHelloIsTwentyBytes) {
  std::unique_ptr<Message> hello(Message::CreateHello(4012, 0));
  ASSERT_TRUE(hello);
  EXPECT_EQ(Bytes({4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 2, 0, 0, 0,
                   0xAC, 0x0F, 0, 0}),
            WireBytes(*hello));
  EXPECT_TRUE(hello->is_hello());
}

TEST(MessageHelloTest, ClientHelloWithSecretIsTwentyFourBytes) {
  std::unique_ptr<Message> hello(Message::CreateHello(4012, 77));
  ASSERT_TRUE(hello);
  EXPECT_EQ(Concat(MessageHeaderBytes(8, -2, 0xFFFF, 2), {0xAC, 0x0F, 0, 0, 0x4D, 0, 0, 0}),
            WireBytes(*hello));
}

TEST(MessageHelloTest, HelloIsRoutingNoneAndHelloTypeTogether) {
  EXPECT_TRUE(Message(Message::kRoutingNone, Message::kHelloType, Message::kPriorityNormal)
                  .is_hello());
  EXPECT_FALSE(Message(Message::kRoutingNone, 0xFFFE, Message::kPriorityNormal).is_hello());
  EXPECT_FALSE(
      Message(Message::kRoutingControl, Message::kHelloType, Message::kPriorityNormal)
          .is_hello());
}

TEST(MessageHelloTest, MissingHelloFieldsReadAsMinusOne) {
  struct {
    Bytes payload;
    int pid;
    int secret;
  } const kCases[] = {
      {{}, -1, -1},
      {{0xAC, 0x0F}, -1, -1},
      {{0xAC, 0x0F, 0, 0}, 4012, -1},
      {{0xAC, 0x0F, 0, 0, 0x4D, 0}, 4012, -1},
      {{0xAC, 0x0F, 0, 0, 0x4D, 0, 0, 0}, 4012, 77},
  };
  for (const auto& c : kCases) {
    Bytes bytes = Concat(MessageHeaderBytes(static_cast<uint32_t>(c.payload.size()), -2, 0xFFFF, 2),
                         c.payload);
    Message view(AsChars(bytes), Length(bytes));
    ASSERT_TRUE(view.is_hello());
    int pid = 0;
    int secret = 0;
    Message::ReadHello(view, &pid, &secret);
    EXPECT_EQ(c.pid, pid);
    EXPECT_EQ(c.secret, secret);
  }
}

// Framing and views -------------------------------------------------------------------------

TEST(MessageFindNextTest, ShortHeaderFramesNothing) {
  Bytes header = MessageHeaderBytes(0, 1, 2, 2);
  EXPECT_EQ(nullptr, Message::FindNext(AsChars(header), AsChars(header) + 15));
  EXPECT_EQ(nullptr, Message::FindNext(AsChars(header), AsChars(header) + 3));
  EXPECT_EQ(AsChars(header) + 16, Message::FindNext(AsChars(header), AsChars(header) + 16));
}

TEST(MessageFindNextTest, WrappingPayloadSizeFramesNothing) {
  Bytes bytes = Concat(MessageHeaderBytes(0xFFFFFFF8u, 1, 2, 2), Bytes(32, 0));
  EXPECT_EQ(nullptr, Message::FindNext(AsChars(bytes), AsChars(bytes) + bytes.size()));
}

TEST(MessageFindNextTest, FramesOneWholeMessageAndTheNextFromTheFollowingByte) {
  Message first(1, 10, Message::kPriorityNormal);
  ASSERT_TRUE(first.WriteString("abc"));
  Message second(1, 11, Message::kPriorityNormal);
  ASSERT_TRUE(second.WriteInt(9));
  Bytes stream = Concat(WireBytes(first), WireBytes(second));
  const char* start = AsChars(stream);
  const char* end = start + stream.size();

  const char* first_end = Message::FindNext(start, end);
  ASSERT_EQ(start + 23, first_end);
  EXPECT_EQ(end, Message::FindNext(first_end, end));
  EXPECT_EQ(nullptr, Message::FindNext(first_end, end - 1));

  // A view over an unaligned message reads it like any other.
  Message view(first_end, static_cast<int>(end - first_end));
  EXPECT_EQ(11u, view.type());
  int value = 0;
  ASSERT_TRUE(PickleIterator(view).ReadInt(&value));
  EXPECT_EQ(9, value);
}

TEST(MessageViewTest, ViewOfOneMessageReadsItInPlace) {
  Bytes bytes = Concat(MessageHeaderBytes(4, 5, 6, 0x26), {7, 0, 0, 0});
  Message view(AsChars(bytes), Length(bytes));
  EXPECT_EQ(Message::kCapacityReadOnly, view.capacity());
  EXPECT_EQ(bytes.data(), view.data());
  EXPECT_EQ(5, view.routing_id());
  EXPECT_EQ(6u, view.type());
  EXPECT_TRUE(view.is_sync() && view.should_unblock());
  int value = 0;
  ASSERT_TRUE(PickleIterator(view).ReadInt(&value));
  EXPECT_EQ(7, value);
}

TEST(MessageViewTest, BytesThatDoNotFrameOneMessageMakeAnInvalidView) {
  Bytes three_bytes = {0, 0, 0};
  Bytes claims_more = Concat(MessageHeaderBytes(5, 1, 2, 2), {1, 2, 3, 4});
  // A well-formed bare pickle with a 4-byte header is not a message.
  Bytes short_header = {4, 0, 0, 0, 1, 0, 0, 0};
  for (const Bytes* bytes : {&three_bytes, &claims_more, &short_header}) {
    Message view(AsChars(*bytes), Length(*bytes));
    EXPECT_EQ(nullptr, view.data());
    EXPECT_EQ(0, view.routing_id());
    EXPECT_EQ(0u, view.type());
    EXPECT_EQ(0u, view.flags());
    EXPECT_FALSE(view.is_hello());
    ExpectNothingReads(view);
    int pid = 0;
    int secret = 0;
    Message::ReadHello(view, &pid, &secret);
    EXPECT_EQ(-1, pid);
  }
}

TEST(MessageViewTest, CopyOfAViewIsWritableAndIndependentOfTheBuffer) {
  Bytes buffer = Concat(MessageHeaderBytes(4, 3, 4, 2), {0x2A, 0, 0, 0});
  std::unique_ptr<Message> copy;
  {
    Message view(AsChars(buffer), Length(buffer));
    copy.reset(new Message(view));
  }
  std::fill(buffer.begin(), buffer.end(), 0xCC);

  EXPECT_EQ(64, copy->capacity());
  copy->set_routing_id(9);
  copy->set_sync();
  ASSERT_TRUE(copy->WriteInt(-1));
  EXPECT_EQ(Concat(MessageHeaderBytes(8, 9, 4, 6), {0x2A, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
            WireBytes(*copy));
}

TEST(MessageViewTest, CopyOfAnInvalidViewStaysInvalid) {
  Bytes three_bytes = {1, 2, 3};
  Message view(AsChars(three_bytes), 3);
  Message copy(view);
  copy.set_routing_id(5);
  copy.set_sync();
  EXPECT_EQ(0, copy.routing_id());
  EXPECT_FALSE(copy.WriteInt(1));
  ExpectNothingReads(copy);
}

// Hostile input -----------------------------------------------------------------------------

// Frames random streams the way a channel reader does: every framed message lies inside the
// stream, its view is valid and has exactly the framed size, and its reads stay inside it.
TEST(MessageHostileTest, RandomStreamsFrameOnlyWholeMessages) {
  std::mt19937 random(77);
  for (int round = 0; round < 2000; ++round) {
    Bytes stream(random() % 120);
    for (size_t i = 0; i < stream.size(); ++i) {
      // Small sizes now and then, so that some headers frame a message.
      bool size_byte = i % 16 == 0 && random() % 2 == 0;
      stream[i] = static_cast<uint8_t>(size_byte ? random() % 24 : random() % 256);
    }
    const char* cursor = AsChars(stream);
    const char* end = cursor + stream.size();
    while (const char* next = Message::FindNext(cursor, end)) {
      ASSERT_GE(next - cursor, 16);
      ASSERT_LE(next, end);
      Message view(cursor, static_cast<int>(next - cursor));
      ASSERT_EQ(static_cast<size_t>(next - cursor), view.size());
      PickleIterator iter(view);
      const char* data;
      int length;
      while (iter.ReadData(&data, &length)) {
        EXPECT_GE(data, view.payload());
        EXPECT_LE(data + length, view.end_of_payload());
      }
      int pid;
      int secret;
      Message::ReadHello(view, &pid, &secret);
      cursor = next;
    }
  }
}

TEST(MessageHostileTest, OversizedClaimsInTruncatedHeadersFrameNothing) {
  const uint32_t kClaims[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu, 200u << 20};
  for (uint32_t claim : kClaims) {
    Bytes bytes = Concat(MessageHeaderBytes(claim, 1, 2, 2), Bytes(64, 0xAB));
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
      EXPECT_EQ(nullptr, Message::FindNext(AsChars(bytes), AsChars(bytes) + cut));
      Message view(AsChars(bytes), static_cast<int>(cut));
      EXPECT_EQ(nullptr, view.data());
    }
  }
}

// Fatal checks ------------------------------------------------------------------------------

TEST(MessageDeathTest, ChangingTheHeaderOfAReceivedMessageIsFatal) {
  Bytes bytes = MessageHeaderBytes(0, 1, 2, 2);
  EXPECT_EXIT(
      {
        Message view(AsChars(bytes), Length(bytes));
        view.set_unblock(true);
      },
      test::EndedByFailedCheck(),
      "Check failed: capacity\\(\\) != kCapacityReadOnly \\(-1 vs\\. -1\\)");
}

TEST(MessageDeathTest, WritingThePayloadOfAReceivedMessageIsFatal) {
  Bytes bytes = MessageHeaderBytes(0, 1, 2, 2);
  EXPECT_EXIT(
      {
        Message view(AsChars(bytes), Length(bytes));
        view.WriteString("x");
      },
      test::EndedByFailedCheck(),
      "Check failed: capacity_ != kCapacityReadOnly \\(-1 vs\\. -1\\)");
}

}  // namespace
}  // namespace IPC
