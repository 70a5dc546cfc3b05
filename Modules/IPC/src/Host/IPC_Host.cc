// The hosts' common operations, each a task on its thread.
#include "Host/IPC_Host.h"

#include "base/bind.h"
#include "base/location.h"
#include "Thread/IPC_ThreadEnviroment.h"

IPC_Host::IPC_Host(int mode, const std::string& name)
    : m_iMode(mode),
      m_iCommunicationId(-1),
      m_strName(name),
      m_bHoldsMessages(true),
      m_HeldBytes(0),
      m_bQuiet(0) {}

IPC_Host::~IPC_Host() {}

bool IPC_Host::AddListener(IPC_ListenerFunc listener, void* user) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_Host::AddListener"),
                                 base::Bind(&IPC_Host::AddListenerTask, this, listener, user));
  return true;
}

bool IPC_Host::RemoveListener(IPC_ListenerFunc listener) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT,
                                 FROM_HERE_WITH_FUNCTION("IPC_Host::RemoveListener"),
                                 base::Bind(&IPC_Host::RemoveListenerTask, this, listener));
  return true;
}

bool IPC_Host::AddStatus(IPC_StatusFunc callback, void* user) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_Host::AddStatus"),
                                 base::Bind(&IPC_Host::AddStatusTask, this, callback, user));
  return true;
}

bool IPC_Host::RemoveStatus(IPC_StatusFunc callback) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT,
                                 FROM_HERE_WITH_FUNCTION("IPC_Host::RemoveStatus"),
                                 base::Bind(&IPC_Host::RemoveStatusTask, this, callback));
  return true;
}

bool IPC_Host::SendAsync(int target_id, scoped_refptr<IPC_MsgBuf> buffer) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_MAIN, FROM_HERE_WITH_FUNCTION("IPC_Host::SendAsync"),
                                 base::Bind(&IPC_Host::Send, this, target_id, buffer, -1));
  return true;
}

bool IPC_Host::OnStatus(int status, int id, int process_id) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_Host::OnStatus"),
                                 base::Bind(&IPC_Host::OnStatusTask, this, status, id, process_id));
  return true;
}

bool IPC_Host::OnMsg(int source_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) {
  IPC_ThreadEnviroment::PostTask(IPC_THREAD_EVENT, FROM_HERE_WITH_FUNCTION("IPC_Host::OnMsg"),
                                 base::Bind(&IPC_Host::OnMsgTask, this, source_id, buffer, tag));
  return true;
}

void IPC_Host::DropCallbacks() {
  m_pCallbacks = nullptr;
  m_bHoldsMessages = false;
  m_HeldMessages.clear();
  m_HeldBytes = 0;
}

void IPC_Host::AddListenerTask(IPC_ListenerFunc listener, void* user) {
  callbacks()->AddListener(listener, user);
  if (!listener || !m_bHoldsMessages)
    return;
  m_bHoldsMessages = false;
  std::deque<HeldMessage> held;
  held.swap(m_HeldMessages);
  m_HeldBytes = 0;
  for (const HeldMessage& message : held)
    OnMsgTask(message.source_id, message.buffer, -1);
}

void IPC_Host::RemoveListenerTask(IPC_ListenerFunc listener) {
  if (m_pCallbacks)
    m_pCallbacks->RemoveListener(listener);
}

void IPC_Host::AddStatusTask(IPC_StatusFunc callback, void* user) {
  callbacks()->AddStatus(callback, user, this);
}

void IPC_Host::RemoveStatusTask(IPC_StatusFunc callback) {
  if (m_pCallbacks)
    m_pCallbacks->RemoveStatus(callback);
}

void IPC_Host::OnStatusTask(int status, int id, int process_id) {
  if (m_pCallbacks)
    m_pCallbacks->CallStatus(static_cast<Status>(status), id, process_id);
}

void IPC_Host::OnMsgTask(int source_id, scoped_refptr<IPC_MsgBuf> buffer, int tag) {
  if (!buffer || tag != -1)
    return;
  if (m_bHoldsMessages) {
    if (buffer->size() <= kHeldBytesLimit - m_HeldBytes) {
      m_HeldBytes += buffer->size();
      m_HeldMessages.push_back(HeldMessage{source_id, buffer});
    }
    return;
  }
  if (m_pCallbacks)
    m_pCallbacks->CallListeners(source_id, buffer->data(), static_cast<unsigned>(buffer->size()));
}

IPC_HostCallbacks* IPC_Host::callbacks() {
  if (!m_pCallbacks)
    m_pCallbacks = new IPC_HostCallbacks;
  return m_pCallbacks.get();
}
