// Parameter encodings that need more than one pickle call.
#include "ipc/ipc_message_utils.h"

#include <climits>

namespace IPC {

bool ParamTraits<std::vector<char>>::Write(Message* m, const param_type& p) {
  if (p.size() > static_cast<size_t>(INT_MAX))
    return false;
  return m->WriteData(p.data(), static_cast<int>(p.size()));
}

bool ParamTraits<std::vector<char>>::Read(const Message*, PickleIterator* iter,
                                          param_type* r) {
  const char* data;
  int length;
  if (!iter->ReadData(&data, &length))
    return false;
  r->assign(data, data + length);
  return true;
}

}  // namespace IPC
