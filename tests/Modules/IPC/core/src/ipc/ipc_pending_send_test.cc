// Reading a reply into the send that waits for it.
#include "ipc/internal/ipc_pending_send.h"

#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "base/synchronization/waitable_event.h"

namespace IPC {
namespace {

SyncMessage* NewIntRequest(int* output) {
  return new SyncMessage(3, 29, Message::kPriorityNormal,
                         new ParamDeserializer<Tuple1<int&>>(MakeRefTuple(*output)));
}

// A pending send of a request with an int output (77 before), given the reply that |fill|
// completes; answers the send's result.
bool AnswerPendingSend(const std::function<void(Message*)>& fill, int* output) {
  *output = 77;
  std::unique_ptr<SyncMessage> request(NewIntRequest(output));
  base::WaitableEvent done(true, false);
  std::unique_ptr<MessageReplyDeserializer> deserializer(request->GetReplyDeserializer());
  PendingSend pending(SyncMessage::GetMessageId(*request), deserializer.get(), &done);
  std::unique_ptr<Message> reply(SyncMessage::GenerateReply(request.get()));
  fill(reply.get());
  pending.TakeReply(*reply);
  // The sender is released whatever the reply held.
  EXPECT_TRUE(done.IsSignaled());
  return pending.send_result;
}

TEST(PendingSendTest, GoodReplyFillsTheOutput) {
  int output = 0;
  EXPECT_TRUE(AnswerPendingSend([](Message* reply) { reply->WriteInt(42); }, &output));
  EXPECT_EQ(42, output);
}

TEST(PendingSendTest, ErrorReplyLeavesTheOutputUntouched) {
  int output = 0;
  EXPECT_FALSE(AnswerPendingSend(
      [](Message* reply) {
        reply->WriteInt(42);
        reply->set_reply_error();
      },
      &output));
  EXPECT_EQ(77, output);
}

TEST(PendingSendTest, ReplyWithoutItsOutputFails) {
  int output = 0;
  // Two bytes where four are needed.
  EXPECT_FALSE(AnswerPendingSend([](Message* reply) { reply->WriteUInt16(1); }, &output));
  EXPECT_EQ(77, output);
}

}  // namespace
}  // namespace IPC
