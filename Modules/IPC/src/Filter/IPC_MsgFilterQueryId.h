// Answers ChannelMsg_ClientQueryId with the id of the service channel it sits on.
#ifndef IPC_FILTER_IPC_MSGFILTERQUERYID_H_
#define IPC_FILTER_IPC_MSGFILTERQUERYID_H_

#include "Filter/IPC_MsgFilter.h"

class IPC_MsgFilterQueryId : public IPC_MsgFilter {
 public:
  explicit IPC_MsgFilterQueryId(int channel_id);

  bool OnMessageReceived(const IPC::Message& message) override;

 private:
  ~IPC_MsgFilterQueryId() override;
  void OnQueryId(const IPC::Message& request);

  const int m_iChannelId;
};

#endif  // IPC_FILTER_IPC_MSGFILTERQUERYID_H_
