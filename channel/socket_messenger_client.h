// A front end's end of the channel socket: sends messages for channels and
// matches each reply to its message by id, several in flight at once.
#pragma once

#include <cstdint>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/result.h"

namespace tavlune::channel {

struct ConnectError {
  // Nothing listens at the path: the application is not running.
  bool notRunning = false;
  std::string description;
};

// The reply payload (empty: nobody handles the channel), or why none came.
using ClientReply = platform::Result<std::vector<uint8_t>>;
using ClientReplyHandler = std::function<void(ClientReply reply)>;

class SocketMessengerClient {
 public:
  // Connects and checks that the application runs as our own user.
  static Expected<std::unique_ptr<SocketMessengerClient>, ConnectError> connect(const std::string& path);
  // Closes the connection; replies still awaited get an error.
  ~SocketMessengerClient();
  SocketMessengerClient(const SocketMessengerClient&) = delete;
  SocketMessengerClient& operator=(const SocketMessengerClient&) = delete;

  // handler runs once, on the client's reader thread (or at once on a send failure).
  void send(const std::string& channel, const std::vector<uint8_t>& message, ClientReplyHandler handler);
  std::future<ClientReply> send(const std::string& channel, const std::vector<uint8_t>& message);

  // Blocks until the application closes the connection.
  void waitUntilClosed();
  // The same, giving up after timeout; true when it closed.
  bool waitUntilClosed(std::chrono::milliseconds timeout);

 private:
  explicit SocketMessengerClient(int fd);
  void readReplies();
  void failPending(const std::string& why);

  const int fd_;
  std::mutex writeMutex_;
  std::mutex mutex_;
  std::condition_variable closedChanged_;
  std::map<uint32_t, ClientReplyHandler> pending_;
  uint32_t nextId_ = 1;
  bool closed_ = false;
  std::string closedReason_;
  std::thread reader_;
};

}  // namespace tavlune::channel
