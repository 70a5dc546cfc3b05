// One message's bytes, copied once and carried between threads by reference.
#ifndef IPC_HOST_IPC_MSGBUF_H_
#define IPC_HOST_IPC_MSGBUF_H_

#include <cstddef>
#include <vector>

#include "base/memory/ref_counted.h"

class IPC_MsgBuf : public base::RefCountedThreadSafe<IPC_MsgBuf> {
 public:
  // Copies |size| bytes of |data|; the buffer is empty when either is zero.
  IPC_MsgBuf(const void* data, size_t size) {
    if (data && size) {
      const char* bytes = static_cast<const char*>(data);
      m_Data.assign(bytes, bytes + size);
    }
  }

  // The first byte, or null when empty.
  const char* data() const { return m_Data.empty() ? nullptr : &m_Data[0]; }
  size_t size() const { return m_Data.size(); }

 private:
  friend class base::RefCountedThreadSafe<IPC_MsgBuf>;
  ~IPC_MsgBuf() {}

  std::vector<char> m_Data;

  IPC_MsgBuf(const IPC_MsgBuf&) = delete;
  IPC_MsgBuf& operator=(const IPC_MsgBuf&) = delete;
};

#endif  // IPC_HOST_IPC_MSGBUF_H_
