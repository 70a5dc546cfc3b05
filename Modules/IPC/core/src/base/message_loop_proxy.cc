// Finding the proxy of the calling thread's loop.
#include "base/message_loop_proxy.h"

#include "base/message_loop.h"

namespace base {

MessageLoopProxy::MessageLoopProxy() {}

MessageLoopProxy::~MessageLoopProxy() {}

// static
scoped_refptr<MessageLoopProxy> MessageLoopProxy::current() {
  MessageLoop* loop = MessageLoop::current();
  if (!loop)
    return nullptr;
  return loop->message_loop_proxy();
}

}  // namespace base
