// An echo server embedding the broker: it serves NAME and answers each request to its
// sender's communication id.
// Usage: echo_server NAME [REQUESTS]   ends after REQUESTS answers, or when Enter is pressed.
#include <IPC_Broker.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

struct EchoServer {
  void* host = nullptr;
  std::mutex lock;
  std::condition_variable answered;
  unsigned answers = 0;  // guarded by lock
};

// Runs on the broker's event thread. Sending from here is fine; IPC_Connect and
// IPC_ShutDown are not.
bool IPC_CALL OnRequest(void* user, int sender, void* data, unsigned size) {
  EchoServer* server = static_cast<EchoServer*>(user);
  IPC_Send(server->host, sender, data, size);
  std::lock_guard<std::mutex> hold(server->lock);
  ++server->answers;
  server->answered.notify_all();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: echo_server NAME [REQUESTS]\n");
    return 2;
  }
  EchoServer server;
  server.host = IPC_Connect(IPC_MODE_SERVER, argv[1]);
  if (!server.host) {
    std::fprintf(stderr, "echo_server: cannot serve %s\n", argv[1]);
    return 1;
  }
  IPC_AddListener(server.host, OnRequest, &server);
  std::printf("serving %s as %d\n", argv[1], IPC_GetCommunicationID(server.host));
  std::fflush(stdout);

  if (argc > 2) {
    const unsigned requests = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    std::unique_lock<std::mutex> hold(server.lock);
    server.answered.wait(hold, [&] { return server.answers >= requests; });
  } else {
    std::getchar();
  }
  // Every host is shut down before the program ends: the broker's threads stop here.
  IPC_ShutDown(server.host);
  return 0;
}
