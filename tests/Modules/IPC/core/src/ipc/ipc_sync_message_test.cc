// Synchronous requests: request ids, replies, and the reading of a reply's outputs into the
// sender's variables.
#include "ipc/ipc_sync_message.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/background_thread.h"
#include "support/child_test_runner.h"
#include "support/thread_runner.h"
#include "support/wire_bytes.h"

namespace IPC {
namespace {

using test::Concat;
using test::MessageHeaderBytes;
using test::WireBytes;

const Message::PriorityValue kNormal = Message::kPriorityNormal;

SyncMessage* NewIntRequest(int* output) {
  return new SyncMessage(3, 29, kNormal,
                         new ParamDeserializer<Tuple1<int&>>(MakeRefTuple(*output)));
}

// Counts its deletions; reads nothing.
class CountingDeserializer : public MessageReplyDeserializer {
 public:
  explicit CountingDeserializer(int* deletes) : deletes_(deletes) {}
  ~CountingDeserializer() override { ++*deletes_; }

 private:
  bool SerializeOutputParameters(const Message&, PickleIterator) override { return true; }

  int* deletes_;
};

// The first requests of a process, run as a child so that no other request came first.
TEST(SyncMessageChild, DISABLED_RequestIdsCountFromZeroAcrossThreads) {
  std::unique_ptr<SyncMessage> first(new SyncMessage(3, 29, kNormal, nullptr));
  std::unique_ptr<SyncMessage> second(new SyncMessage(5, 24, kNormal, nullptr));
  EXPECT_EQ(Concat(MessageHeaderBytes(4, 3, 29, 0x26), {0, 0, 0, 0}), WireBytes(*first));
  EXPECT_EQ(Concat(MessageHeaderBytes(4, 5, 24, 0x26), {1, 0, 0, 0}), WireBytes(*second));

  const int kThreads = 4;
  const int kPerThread = 500;
  std::vector<int> ids[kThreads];
  {
    std::vector<std::unique_ptr<test::BackgroundThread>> threads;
    for (std::vector<int>& thread_ids : ids) {
      threads.emplace_back(new test::BackgroundThread([&thread_ids] {
        for (int i = 0; i < kPerThread; ++i) {
          SyncMessage request(1, 2, kNormal, nullptr);
          thread_ids.push_back(SyncMessage::GetMessageId(request));
        }
      }));
    }
    for (std::unique_ptr<test::BackgroundThread>& thread : threads)
      ASSERT_TRUE(thread->Join());
  }
  std::vector<int> all;
  for (const std::vector<int>& thread_ids : ids)
    all.insert(all.end(), thread_ids.begin(), thread_ids.end());
  std::sort(all.begin(), all.end());
  std::vector<int> expected(kThreads * kPerThread);
  for (size_t i = 0; i < expected.size(); ++i)
    expected[i] = static_cast<int>(i) + 2;
  EXPECT_EQ(expected, all);
}

TEST(SyncMessageTest, RequestIdsOfAProcessCountFromZeroWithoutGapsOrRepeats) {
  unsigned long exit_code = 1;
  ASSERT_TRUE(test::RunChildTest("SyncMessageChild.DISABLED_RequestIdsCountFromZeroAcrossThreads",
                                 test::kDeadlineMs, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

// Ids and replies --------------------------------------------------------------------------

TEST(SyncMessageTest, ReplyAnswersItsRequestOnly) {
  int output = 0;
  std::unique_ptr<SyncMessage> request(NewIntRequest(&output));
  int id = SyncMessage::GetMessageId(*request);
  std::unique_ptr<Message> reply(SyncMessage::GenerateReply(request.get()));
  ASSERT_TRUE(reply);
  EXPECT_EQ(WireBytes(&id, sizeof(id)), WireBytes(reply->payload(), reply->payload_size()));
  EXPECT_EQ(Concat(MessageHeaderBytes(4, 3, Message::kReplyType, 0x0A), WireBytes(&id, 4)),
            WireBytes(*reply));

  EXPECT_TRUE(SyncMessage::IsMessageReplyTo(*reply, id));
  EXPECT_FALSE(SyncMessage::IsMessageReplyTo(*reply, id + 1));
  // The request carries the same id but is no reply.
  EXPECT_FALSE(SyncMessage::IsMessageReplyTo(*request, id));
}

TEST(SyncMessageTest, MessageIdIsZeroForMessagesWithoutASyncHeader) {
  Message plain(3, 29, kNormal);
  ASSERT_TRUE(plain.WriteInt(9));
  EXPECT_EQ(0, SyncMessage::GetMessageId(plain));

  test::Bytes empty_request = MessageHeaderBytes(0, 3, 29, 0x26);
  Message empty(test::AsChars(empty_request), test::Length(empty_request));
  EXPECT_EQ(0, SyncMessage::GetMessageId(empty));

  test::Bytes short_reply = Concat(MessageHeaderBytes(2, 3, Message::kReplyType, 0x0A), {9, 0});
  Message reply(test::AsChars(short_reply), test::Length(short_reply));
  EXPECT_EQ(0, SyncMessage::GetMessageId(reply));
  EXPECT_FALSE(SyncMessage::IsMessageReplyTo(reply, 9));
}

TEST(SyncMessageTest, DataIteratorStartsAfterTheSyncHeader) {
  int output = 0;
  std::unique_ptr<SyncMessage> request(NewIntRequest(&output));
  ASSERT_TRUE(request->WriteInt(-5));
  PickleIterator iter = SyncMessage::GetDataIterator(request.get());
  int input = 0;
  EXPECT_TRUE(iter.ReadInt(&input));
  EXPECT_EQ(-5, input);

  test::Bytes short_reply = Concat(MessageHeaderBytes(2, 3, Message::kReplyType, 0x0A), {9, 0});
  Message reply(test::AsChars(short_reply), test::Length(short_reply));
  PickleIterator empty = SyncMessage::GetDataIterator(&reply);
  bool flag = false;
  EXPECT_FALSE(empty.ReadBool(&flag));
}

TEST(SyncMessageTest, DeserializerGoesWithTheMessageUnlessTakenOut) {
  int deletes = 0;
  delete new SyncMessage(1, 2, kNormal, new CountingDeserializer(&deletes));
  EXPECT_EQ(1, deletes);

  std::unique_ptr<SyncMessage> request(
      new SyncMessage(1, 2, kNormal, new CountingDeserializer(&deletes)));
  std::unique_ptr<MessageReplyDeserializer> taken(request->GetReplyDeserializer());
  request.reset();
  EXPECT_EQ(1, deletes);
  EXPECT_EQ(nullptr, request.get());
  taken.reset();
  EXPECT_EQ(2, deletes);
}

TEST(ParamDeserializerTest, StringOutputIsReadOrLeftAlone) {
  std::string output = "before";
  ParamDeserializer<Tuple1<std::string&>> deserializer(MakeRefTuple(output));
  SyncMessage request(1, 24, kNormal, nullptr);

  std::unique_ptr<Message> bad(SyncMessage::GenerateReply(&request));
  bad->WriteInt(100);  // a count past the end
  EXPECT_FALSE(deserializer.SerializeOutputParameters(*bad));
  EXPECT_EQ("before", output);

  std::unique_ptr<Message> good(SyncMessage::GenerateReply(&request));
  good->WriteString("worker.7");
  EXPECT_TRUE(deserializer.SerializeOutputParameters(*good));
  EXPECT_EQ("worker.7", output);
}

}  // namespace
}  // namespace IPC
