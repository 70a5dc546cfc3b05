// The test's own running client.
#include "support/launcher/client_double.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/utf_string_conversions.h"
#include "launcher/instance_names.h"
#include "support/deadline.h"

namespace test {

ClientDouble::ClientDouble(const std::wstring& oemId, const std::wstring& userId,
                           Presence presence)
    : presence_(presence) {
  if (presence != kChannelOnly) {
    mutex_.Set(CreateMutexW(nullptr, TRUE, ClientMutexName(oemId, userId).c_str()));
    EXPECT_TRUE(mutex_.IsValid());
  }
  if (presence != kMutexOnly) {
    const std::string channel = base::WideToUTF8(ClientChannelName(oemId, userId));
    server_ = IPC_Connect(IPC_MODE_SERVER, channel.c_str());
    EXPECT_TRUE(server_ != nullptr) << "the channel " << channel << " cannot be served";
    EXPECT_EQ(0, IPC_AddListener(server_, OnMessage, this));
    EXPECT_EQ(0, IPC_AddStatusCallback(server_, OnStatus, this));
  }
}

ClientDouble::~ClientDouble() {
  // Callbacks end with the host: the module's threads stop once its last host is shut.
  if (server_)
    IPC_ShutDown(server_);
  if (mutex_.IsValid())
    ReleaseMutex(mutex_.Get());
}

bool ClientDouble::IsReady() const {
  return (presence_ == kChannelOnly || mutex_.IsValid()) &&
         (presence_ == kMutexOnly || server_ != nullptr);
}

bool ClientDouble::WaitForPeerGone(unsigned long processId, unsigned long timeoutMs) const {
  return WaitUntil(
      [this, processId] {
        bool connected = false;
        for (const ChannelPeer& peer : Peers()) {
          if (peer.process_id != processId)
            continue;
          if (!peer.gone)
            return false;
          connected = true;
        }
        return connected;
      },
      timeoutMs);
}

bool ClientDouble::WaitForMessages(size_t count, unsigned long timeoutMs) const {
  return WaitUntil([this, count] { return Messages().size() >= count; }, timeoutMs);
}

std::vector<ReceivedMessage> ClientDouble::Messages() const {
  base::AutoLock hold(lock_);
  return messages_;
}

std::vector<ChannelPeer> ClientDouble::Peers() const {
  base::AutoLock hold(lock_);
  return peers_;
}

bool IPC_CALL ClientDouble::OnMessage(void* self, int sourceId, void* data, unsigned size) {
  ClientDouble* client = static_cast<ClientDouble*>(self);
  ReceivedMessage message;
  message.source_id = sourceId;
  message.bytes.assign(static_cast<const char*>(data), size);
  base::AutoLock hold(client->lock_);
  client->messages_.push_back(message);
  return true;
}

void IPC_CALL ClientDouble::OnStatus(void* self, void* /*host*/, Status status, int id,
                                     int processId) {
  ClientDouble* client = static_cast<ClientDouble*>(self);
  base::AutoLock hold(client->lock_);
  if (status == IPC_STATUS_CONNECTED) {
    ChannelPeer peer;
    peer.id = id;
    peer.process_id = static_cast<unsigned long>(processId);
    client->peers_.push_back(peer);
    return;
  }
  for (ChannelPeer& peer : client->peers_) {
    if (peer.id == id)
      peer.gone = true;
  }
}

}  // namespace test
