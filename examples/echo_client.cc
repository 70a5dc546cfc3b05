// The echo server's client: it sends TEXT to NAME's server and prints the answer.
// Usage: echo_client NAME TEXT   exits 0 once the answer came, 1 without one within 10 s.
#include <IPC_Broker.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

const std::chrono::seconds kAnswerTimeout(10);

struct Answer {
  std::mutex lock;
  std::condition_variable arrived;
  bool received = false;  // guarded by lock
  std::string text;       // guarded by lock
};

bool IPC_CALL OnAnswer(void* user, int, void* data, unsigned size) {
  Answer* answer = static_cast<Answer*>(user);
  std::lock_guard<std::mutex> hold(answer->lock);
  answer->text.assign(static_cast<const char*>(data), size);
  answer->received = true;
  answer->arrived.notify_all();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argv[2][0] == '\0') {
    std::fprintf(stderr, "usage: echo_client NAME TEXT\n");
    return 2;
  }
  void* host = IPC_Connect(IPC_MODE_CLIENT, argv[1]);
  if (!host) {
    std::fprintf(stderr, "echo_client: nobody serves %s\n", argv[1]);
    return 1;
  }
  Answer answer;
  IPC_AddListener(host, OnAnswer, &answer);
  IPC_Send(host, IPC_TARGET_SERVER, argv[2], static_cast<unsigned>(std::strlen(argv[2])));

  bool answered = false;
  {
    std::unique_lock<std::mutex> hold(answer.lock);
    answered = answer.arrived.wait_for(hold, kAnswerTimeout, [&] { return answer.received; });
    if (answered)
      std::printf("answer: %s\n", answer.text.c_str());
  }
  IPC_ShutDown(host);
  return answered ? 0 : 1;
}
