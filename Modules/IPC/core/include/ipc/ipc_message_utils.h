// Parameter encodings of the channel layer: ParamTraits<T> writes and reads one value of T
// as pickle fields, and WriteParam / ReadParam pick the traits from the argument type.
#ifndef IPC_IPC_MESSAGE_UTILS_H_
#define IPC_IPC_MESSAGE_UTILS_H_

#include <string>
#include <vector>

#include "base/pickle.h"
#include "ipc/ipc_message.h"

namespace IPC {

// Specialised for each type a message carries. Write answers false when the message cannot
// grow; Read answers false, and leaves |r| as it was, when the fields do not read.
template <class P>
struct ParamTraits {};

template <class P>
inline bool WriteParam(Message* m, const P& p) {
  return ParamTraits<P>::Write(m, p);
}

template <class P>
inline bool ReadParam(const Message* m, PickleIterator* iter, P* p) {
  return ParamTraits<P>::Read(m, iter, p);
}

template <>
struct ParamTraits<bool> {
  typedef bool param_type;
  static bool Write(Message* m, const param_type& p) { return m->WriteBool(p); }
  static bool Read(const Message*, PickleIterator* iter, param_type* r) {
    return iter->ReadBool(r);
  }
};

template <>
struct ParamTraits<int> {
  typedef int param_type;
  static bool Write(Message* m, const param_type& p) { return m->WriteInt(p); }
  static bool Read(const Message*, PickleIterator* iter, param_type* r) {
    return iter->ReadInt(r);
  }
};

template <>
struct ParamTraits<std::string> {
  typedef std::string param_type;
  static bool Write(Message* m, const param_type& p) { return m->WriteString(p); }
  static bool Read(const Message*, PickleIterator* iter, param_type* r) {
    return iter->ReadString(r);
  }
};

// A byte block: its size, then the bytes (an empty vector is a count of 0 and no bytes).
template <>
struct ParamTraits<std::vector<char>> {
  typedef std::vector<char> param_type;
  static bool Write(Message* m, const param_type& p);
  static bool Read(const Message* m, PickleIterator* iter, param_type* r);
};

}  // namespace IPC

#endif  // IPC_IPC_MESSAGE_UTILS_H_
