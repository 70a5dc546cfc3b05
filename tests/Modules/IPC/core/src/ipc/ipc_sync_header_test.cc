// Byte layout of synchronous requests and replies.
#include "ipc/internal/ipc_sync_header.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/wire_bytes.h"

namespace IPC {
namespace {

using test::AsChars;
using test::Bytes;
using test::Concat;
using test::Length;
using test::MessageHeaderBytes;
using test::WireBytes;

TEST(SyncLayoutTest, RequestCarriesSyncAndUnblockBitsThenItsId) {
  Message request(Message::kRoutingControl, 29, Message::kPriorityNormal);
  ASSERT_TRUE(MakeSyncRequest(&request, 5));
  ASSERT_TRUE(request.WriteInt(-1));  // an input parameter follows the header
  EXPECT_EQ(Concat(MessageHeaderBytes(8, 0x7FFFFFFF, 29, 0x26),
                   {5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
            WireBytes(request));
}

TEST(SyncLayoutTest, ReplyMirrorsTheRequest) {
  Message request(Message::kRoutingControl, 24, Message::kPriorityNormal);
  ASSERT_TRUE(MakeSyncRequest(&request, 0x01020304));
  std::unique_ptr<Message> reply(NewSyncReply(request));
  ASSERT_TRUE(reply);
  ASSERT_TRUE(reply->WriteString("w"));
  EXPECT_EQ(Concat(MessageHeaderBytes(9, 0x7FFFFFFF, 0xFFFFFFF0, 0x0A),
                   {4, 3, 2, 1, 1, 0, 0, 0, 'w'}),
            WireBytes(*reply));

  reply->set_reply_error();
  EXPECT_EQ(0x1Au, reply->flags());
}

TEST(SyncLayoutTest, ReplyCopiesThePriority) {
  Message request(3, 4, Message::kPriorityHigh);
  ASSERT_TRUE(MakeSyncRequest(&request, 1));
  std::unique_ptr<Message> reply(NewSyncReply(request));
  ASSERT_TRUE(reply);
  EXPECT_EQ(0x0Bu, reply->flags());
  EXPECT_EQ(3, reply->routing_id());
}

TEST(SyncLayoutTest, ReplyToAMessageWithoutSyncHeaderCarriesIdZero) {
  Message plain(3, 4, Message::kPriorityNormal);
  ASSERT_TRUE(plain.WriteInt(77));  // an int, but not a sync header
  std::unique_ptr<Message> reply(NewSyncReply(plain));
  ASSERT_TRUE(reply);
  EXPECT_EQ(Bytes({0, 0, 0, 0}), WireBytes(reply->payload(), reply->payload_size()));

  Bytes bytes = MessageHeaderBytes(0, 3, 4, 0x26);  // a request with no header at all
  Message empty_request(AsChars(bytes), Length(bytes));
  std::unique_ptr<Message> empty_reply(NewSyncReply(empty_request));
  ASSERT_TRUE(empty_reply);
  EXPECT_EQ(Bytes({0, 0, 0, 0}), WireBytes(empty_reply->payload(), empty_reply->payload_size()));
}

TEST(SyncLayoutTest, HeaderReadsOnlyFromRequestsAndReplies) {
  Message plain(1, 2, Message::kPriorityNormal);
  ASSERT_TRUE(plain.WriteInt(9));
  SyncHeader header = {-7};
  EXPECT_FALSE(ReadSyncHeader(plain, &header));
  EXPECT_EQ(-7, header.message_id);

  plain.set_sync();
  ASSERT_TRUE(ReadSyncHeader(plain, &header));
  EXPECT_EQ(9, header.message_id);

  Message reply_without_header(1, Message::kReplyType, Message::kPriorityNormal);
  reply_without_header.set_reply();
  EXPECT_FALSE(ReadSyncHeader(reply_without_header, &header));
}

TEST(SyncLayoutTest, IteratorStartsAfterTheHeaderOrReadsNothing) {
  Message reply(1, Message::kReplyType, Message::kPriorityNormal);
  reply.set_reply();
  ASSERT_TRUE(WriteSyncHeader(&reply, {12}));
  ASSERT_TRUE(reply.WriteInt(345));
  PickleIterator outputs = IteratorAfterSyncHeader(reply);
  int value = 0;
  ASSERT_TRUE(outputs.ReadInt(&value));
  EXPECT_EQ(345, value);

  Bytes bytes = Concat(MessageHeaderBytes(3, 1, 0xFFFFFFF0, 0x0A), {1, 2, 3});
  Message short_reply(AsChars(bytes), Length(bytes));
  PickleIterator nothing = IteratorAfterSyncHeader(short_reply);
  const char* data;
  EXPECT_FALSE(nothing.ReadBytes(&data, 0));
}

}  // namespace
}  // namespace IPC
