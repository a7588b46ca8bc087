#include "channel/socket_messenger_client.h"

#include <unistd.h>

#include <condition_variable>
#include <utility>

#include "channel/socket_messenger_frame.h"
#include "channel/socket_messenger_path.h"
#include "platform/socket/peer_credentials.h"
#include "platform/socket/unix_socket.h"

namespace tavlune::channel {

using platform::Error;

Expected<std::unique_ptr<SocketMessengerClient>, ConnectError> SocketMessengerClient::connect(
    const std::string& path) {
  auto address = channelSocketAddress(path);
  if (!address) return unexpected(ConnectError{false, address.error().description});
  platform::UniqueFd fd = platform::makeStreamSocket();
  if (!fd) return unexpected(ConnectError{false, Error::fromErrno("Could not create a socket").description});
  if (auto connected = platform::connectSocket(fd.get(), *address, sizeof *address); !connected) {
    // No socket file, or a file nobody listens on (left by a crash).
    const platform::ErrorCode code = connected.error().code;
    const bool notRunning = code == platform::ErrorCode::notFound || code == platform::ErrorCode::refused;
    return unexpected(ConnectError{notRunning, "Could not connect to " + path + ": " + connected.error().description});
  }
  // Whoever serves our channel must be us; refuse anything the kernel cannot vouch for.
  auto peer = platform::peerUserId(fd.get());
  if (!peer || *peer != ::geteuid())
    return unexpected(ConnectError{false, "The channel at " + path + " is served by another user; refusing it"});
  return std::unique_ptr<SocketMessengerClient>(new SocketMessengerClient(fd.release()));
}

SocketMessengerClient::SocketMessengerClient(int fd) : fd_(fd) {
  reader_ = std::thread([this] { readReplies(); });
}

SocketMessengerClient::~SocketMessengerClient() {
  ::shutdown(fd_, SHUT_RDWR);
  reader_.join();
  ::close(fd_);
}

void SocketMessengerClient::send(const std::string& channel, const std::vector<uint8_t>& message,
                                 ClientReplyHandler handler) {
  uint32_t id;
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      handler(unexpected(Error{closedReason_}));
      return;
    }
    // Skip ids still awaited, should the counter ever wrap round to one.
    do {
      id = nextId_++;
    } while (pending_.count(id) != 0);
    pending_.emplace(id, std::move(handler));
  }
  auto frame = encodeFrame(Frame{id, FrameKind::message, channel, message});
  platform::Result<void> written = frame ? [&] {
    std::lock_guard lock(writeMutex_);
    return platform::sendAll(fd_, std::string_view(reinterpret_cast<const char*>(frame->data()), frame->size()));
  }()
                                         : platform::Result<void>(unexpected(frame.error()));
  if (written) return;
  ClientReplyHandler failed;
  {
    std::lock_guard lock(mutex_);
    auto found = pending_.find(id);
    // The reader may have failed it already when the connection went.
    if (found == pending_.end()) return;
    failed = std::move(found->second);
    pending_.erase(found);
  }
  failed(unexpected(written.error()));
}

std::future<ClientReply> SocketMessengerClient::send(const std::string& channel,
                                                     const std::vector<uint8_t>& message) {
  auto promise = std::make_shared<std::promise<ClientReply>>();
  auto future = promise->get_future();
  send(channel, message, [promise](ClientReply reply) { promise->set_value(std::move(reply)); });
  return future;
}

void SocketMessengerClient::waitUntilClosed() {
  std::unique_lock lock(mutex_);
  closedChanged_.wait(lock, [this] { return closed_; });
}

bool SocketMessengerClient::waitUntilClosed(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return closedChanged_.wait_for(lock, timeout, [this] { return closed_; });
}

void SocketMessengerClient::failPending(const std::string& why) {
  std::map<uint32_t, ClientReplyHandler> failed;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    closedReason_ = why;
    failed.swap(pending_);
  }
  closedChanged_.notify_all();
  for (auto& [id, handler] : failed) handler(unexpected(Error{why}));
}

void SocketMessengerClient::readReplies() {
  FrameReader reader;
  uint8_t buffer[64 * 1024];
  for (;;) {
    auto count = platform::receiveSome(fd_, buffer, sizeof buffer);
    if (!count) return failPending("Could not read from the channel: " + count.error().description);
    if (*count == 0) return failPending("TavluneDesktop closed the channel before answering");
    reader.append(buffer, *count);
    for (;;) {
      auto next = reader.next();
      if (!next) return failPending(next.error().description);
      if (!*next) break;
      Frame& frame = **next;
      ClientReplyHandler handler;
      {
        std::lock_guard lock(mutex_);
        auto found = pending_.find(frame.id);
        if (frame.kind == FrameKind::reply && found != pending_.end()) {
          handler = std::move(found->second);
          pending_.erase(found);
        }
      }
      if (!handler) return failPending("TavluneDesktop sent a frame that answers nothing we asked");
      handler(std::move(frame.payload));
    }
  }
}

}  // namespace tavlune::channel
