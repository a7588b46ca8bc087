#include "channel/socket_messenger.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "channel/output_queue.h"
#include "channel/socket_messenger_frame.h"
#include "channel/socket_messenger_path.h"
#include "platform/descriptors/descriptors.h"
#include "platform/descriptors/self_pipe.h"
#include "platform/socket/peer_credentials.h"
#include "platform/socket/unix_socket.h"

namespace tavlune::channel {
namespace {

using platform::Error;
using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunkBytes = 64 * 1024;

struct Connection {
  explicit Connection(int descriptor) : fd(descriptor) {}
  const int fd;
  // I/O thread only.
  FrameReader reader;
  bool readClosed = false;
  // The last bytes read from it or written to it.
  Clock::time_point lastActive = Clock::now();
  // Shared with the replies, which may come from any thread.
  std::mutex mutex;
  OutputQueue output;
  std::unordered_set<uint32_t> inFlight;
  bool closed = false;
  bool failed = false;
};

struct Handlers {
  std::mutex mutex;
  std::map<std::string, BinaryMessageHandler> byChannel;

  BinaryMessageHandler find(const std::string& channel) {
    std::lock_guard lock(mutex);
    auto found = byChannel.find(channel);
    return found == byChannel.end() ? nullptr : found->second;
  }
};

}  // namespace

struct SocketMessenger::State {
  std::string path;
  std::shared_ptr<platform::MainQueue> mainQueue;
  SocketMessengerLimits limits;
  int listenFd = -1;
  dev_t device = 0;
  ino_t inode = 0;
  // Wakes the I/O thread out of poll() when a reply is queued from elsewhere.
  // Shared with every reply, so it outlives the messenger if a reply does.
  std::shared_ptr<platform::SelfPipe> waker;
  std::shared_ptr<Handlers> handlers = std::make_shared<Handlers>();
  std::atomic<bool> stopping{false};
  std::thread thread;
  std::mutex closeMutex;
  bool closed = false;
  // I/O thread only.
  std::vector<std::shared_ptr<Connection>> connections;
  Clock::time_point acceptResumesAt{};

  void serve();
  void acceptAll();
  bool makeRoom();
  void readFrom(Connection& connection);
  void dispatchBuffered(const std::shared_ptr<Connection>& connection);
  void flush(Connection& connection);
  bool finished(Connection& connection);
  void closeConnection(Connection& connection);
  void flushBeforeClosing();
  BinaryReply replyFor(const std::shared_ptr<Connection>& connection, uint32_t id, const std::string& channel);
};

BinaryReply SocketMessenger::State::replyFor(const std::shared_ptr<Connection>& connection, uint32_t id,
                                             const std::string& channel) {
  auto answered = std::make_shared<std::atomic<bool>>(false);
  return [weak = std::weak_ptr<Connection>(connection), waker = waker, answered, id, channel,
          maxPending = limits.maxPendingReplyBytes](const uint8_t* reply, size_t size) {
    if (answered->exchange(true)) return;
    auto connection = weak.lock();
    if (!connection) return;
    Frame frame{id, FrameKind::reply, channel, std::vector<uint8_t>(reply, reply + size)};
    auto bytes = encodeFrame(frame);
    {
      std::lock_guard lock(connection->mutex);
      if (connection->closed || connection->inFlight.erase(id) == 0 || connection->failed) return;
      // A reply that cannot go out, or a front end that does not read its
      // replies, ends the connection: better than a caller waiting for ever
      // or us holding its replies without bound. The bound is on the memory
      // held, and what is held is let go at once rather than when the I/O
      // thread gets round to closing.
      if (!bytes || connection->output.heldBytesAfter(bytes->size()) > maxPending) {
        connection->failed = true;
        connection->output.clear();
      } else {
        connection->output.append(*bytes);
      }
    }
    waker->wake();
  };
}

void SocketMessenger::State::acceptAll() {
  for (;;) {
    auto accepted = platform::acceptConnection(listenFd, true);
    if (!accepted) {
      // Out of descriptors or memory: the listening socket stays readable, so
      // pause accepting rather than spin.
      if (accepted.error().code == platform::ErrorCode::exhausted)
        acceptResumesAt = Clock::now() + std::chrono::milliseconds(100);
      return;
    }
    auto peer = platform::peerUserId(accepted->get());
    if (!peer || *peer != ::geteuid() || !makeRoom()) continue;
    connections.push_back(std::make_shared<Connection>(accepted->release()));
  }
}

// Room for one more front end: there is, or the one idle longest (no call of
// its own unanswered, no reply left to write) gives up its place, so that
// front ends left open and silent never lock the others out. Its closing
// follows in the serve loop.
bool SocketMessenger::State::makeRoom() {
  size_t live = 0;
  Connection* idlest = nullptr;
  for (const auto& connection : connections) {
    std::lock_guard lock(connection->mutex);
    if (connection->failed) continue;
    ++live;
    if (connection->inFlight.empty() && connection->output.empty() &&
        (!idlest || connection->lastActive < idlest->lastActive))
      idlest = connection.get();
  }
  if (live < limits.maxConnections) return true;
  if (!idlest) return false;
  std::lock_guard lock(idlest->mutex);
  idlest->failed = true;
  return true;
}

void SocketMessenger::State::readFrom(Connection& connection) {
  uint8_t buffer[kReadChunkBytes];
  auto count = platform::receiveReady(connection.fd, buffer, sizeof buffer);
  if (!count) {
    std::lock_guard lock(connection.mutex);
    connection.failed = true;
    return;
  }
  if (!*count) return;  // woken with nothing to read
  if (**count == 0) {
    // The front end has finished sending; what it sent is still answered.
    connection.readClosed = true;
    return;
  }
  connection.reader.append(buffer, **count);
  connection.lastActive = Clock::now();
}

void SocketMessenger::State::dispatchBuffered(const std::shared_ptr<Connection>& connection) {
  for (;;) {
    {
      std::lock_guard lock(connection->mutex);
      if (connection->failed || connection->inFlight.size() >= limits.maxMessagesInFlight) return;
    }
    auto next = connection->reader.next();
    if (next && !*next) return;
    std::lock_guard lock(connection->mutex);
    // A malformed frame, a reply (we send no messages to answer) or an id
    // still in flight: the stream cannot be trusted, so the front end goes.
    if (!next || (*next)->kind != FrameKind::message || !connection->inFlight.insert((*next)->id).second) {
      connection->failed = true;
      return;
    }
    Frame frame = std::move(**next);
    BinaryReply reply = replyFor(connection, frame.id, frame.channel);
    mainQueue->async([handlers = handlers, frame = std::move(frame), reply = std::move(reply)] {
      if (auto handler = handlers->find(frame.channel)) {
        handler(frame.payload.data(), frame.payload.size(), reply);
      } else {
        reply(nullptr, 0);
      }
    });
  }
}

void SocketMessenger::State::flush(Connection& connection) {
  std::lock_guard lock(connection.mutex);
  while (!connection.output.empty()) {
    const auto front = connection.output.front();
    auto sent = platform::sendReady(connection.fd, std::string_view(reinterpret_cast<const char*>(front.data()), front.size()));
    if (!sent) connection.failed = true;
    if (!sent || *sent == 0) return;
    connection.output.consume(*sent);
    connection.lastActive = Clock::now();
  }
}

bool SocketMessenger::State::finished(Connection& connection) {
  std::lock_guard lock(connection.mutex);
  return connection.failed ||
         (connection.readClosed && connection.inFlight.empty() && connection.output.empty());
}

void SocketMessenger::State::closeConnection(Connection& connection) {
  {
    std::lock_guard lock(connection.mutex);
    connection.closed = true;
    connection.output.clear();
    connection.inFlight.clear();
  }
  ::close(connection.fd);
}

void SocketMessenger::State::serve() {
  std::vector<pollfd> polled;
  while (!stopping.load()) {
    const auto now = Clock::now();
    const bool accepting = now >= acceptResumesAt;
    polled.clear();
    polled.push_back({waker->readFd(), POLLIN, 0});
    polled.push_back({listenFd, static_cast<short>(accepting ? POLLIN : 0), 0});
    for (const auto& connection : connections) {
      short events = 0;
      {
        std::lock_guard lock(connection->mutex);
        // Reading stops while the connection has its fill of calls in flight;
        // until then whole frames never wait in the buffer, so it stays within one frame.
        if (!connection->readClosed && connection->inFlight.size() < limits.maxMessagesInFlight) events |= POLLIN;
        if (!connection->output.empty()) events |= POLLOUT;
      }
      polled.push_back({connection->fd, events, 0});
    }
    const int timeout = accepting ? -1
                                  : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                         acceptResumesAt - now)
                                                         .count()) + 1;
    if (!platform::waitForEvents(polled, timeout)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (polled[0].revents) waker->drain();
    const size_t known = connections.size();
    if (polled[1].revents & POLLIN) acceptAll();
    for (size_t i = 0; i < known; ++i) {
      Connection& connection = *connections[i];
      const short revents = polled[i + 2].revents;
      if (revents & POLLIN) {
        readFrom(connection);
      } else if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // Gone without anything left to read: its replies have nowhere to go.
        std::lock_guard lock(connection.mutex);
        connection.failed = true;
      }
      if (revents & POLLOUT) flush(connection);
    }
    for (auto it = connections.begin(); it != connections.end();) {
      dispatchBuffered(*it);
      if (finished(**it)) {
        closeConnection(**it);
        it = connections.erase(it);
      } else {
        ++it;
      }
    }
  }
  flushBeforeClosing();
}

void SocketMessenger::State::flushBeforeClosing() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(limits.flushMilliseconds);
  std::vector<pollfd> polled;
  for (;;) {
    polled.clear();
    std::vector<Connection*> writing;
    for (const auto& connection : connections) {
      std::lock_guard lock(connection->mutex);
      if (!connection->failed && !connection->output.empty()) {
        polled.push_back({connection->fd, POLLOUT, 0});
        writing.push_back(connection.get());
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (writing.empty() || left <= 0) break;
    if (!platform::waitForEvents(polled, static_cast<int>(left))) break;
    for (size_t i = 0; i < writing.size(); ++i) {
      if (polled[i].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        std::lock_guard lock(writing[i]->mutex);
        writing[i]->failed = true;
      } else if (polled[i].revents & POLLOUT) {
        flush(*writing[i]);
      }
    }
  }
  for (const auto& connection : connections) closeConnection(*connection);
  connections.clear();
}

platform::Result<std::unique_ptr<SocketMessenger>> SocketMessenger::listen(
    std::string path, std::shared_ptr<platform::MainQueue> mainQueue, SocketMessengerLimits limits) {
  auto address = channelSocketAddress(path);
  if (!address) return unexpected(address.error());
  auto waker = platform::SelfPipe::open(platform::SelfPipe::Reading::nonBlocking, "Could not create the channel's wake pipe");
  if (!waker) return unexpected(waker.error());
  auto state = std::make_shared<State>();
  state->waker = std::make_shared<platform::SelfPipe>(std::move(*waker));

  struct stat info;
  if (::lstat(path.c_str(), &info) == 0) {
    // Only a socket is ours to replace; anything else there is left alone.
    if (!S_ISSOCK(info.st_mode)) return unexpected(Error{path + " exists and is not a socket"});
    if (::unlink(path.c_str()) != 0) return unexpected(Error::fromErrno("Could not remove the old " + path));
  }
  int fd = platform::makeStreamSocket().release();
  if (fd < 0) return unexpected(Error::fromErrno("Could not create the channel socket"));
  auto fail = [&](const std::string& what) {
    Error error = Error::fromErrno(what);
    ::close(fd);
    return unexpected(std::move(error));
  };
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
    return fail("Could not bind the channel socket " + path);
  // The folder is owner-only already; this keeps the socket so if it is moved.
  if (::chmod(path.c_str(), 0600) != 0) return fail("Could not restrict " + path);
  if (::lstat(path.c_str(), &info) != 0) return fail("Could not examine " + path);
  if (::listen(fd, 64) != 0) return fail("Could not listen on " + path);
  platform::setNonBlocking(fd);

  state->path = std::move(path);
  state->mainQueue = std::move(mainQueue);
  state->limits = limits;
  state->listenFd = fd;
  state->device = info.st_dev;
  state->inode = info.st_ino;
  state->thread = std::thread([raw = state.get()] { raw->serve(); });
  return std::unique_ptr<SocketMessenger>(new SocketMessenger(std::move(state)));
}

SocketMessenger::SocketMessenger(std::shared_ptr<State> state) : state_(std::move(state)) {}

SocketMessenger::~SocketMessenger() { close(); }

void SocketMessenger::close() {
  std::lock_guard lock(state_->closeMutex);
  if (state_->closed) return;
  state_->closed = true;
  // The file goes before any connection closes: a client that sees its
  // connection end may rely on the name being free. Only our own socket
  // file, never one that replaced it.
  struct stat info;
  if (::lstat(state_->path.c_str(), &info) == 0 && info.st_dev == state_->device && info.st_ino == state_->inode)
    ::unlink(state_->path.c_str());
  state_->stopping.store(true);
  state_->waker->wake();
  state_->thread.join();
  ::close(state_->listenFd);
}

void SocketMessenger::Send(const std::string&, const uint8_t*, size_t, BinaryReply reply) const {
  if (reply) reply(nullptr, 0);
}

void SocketMessenger::SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) {
  std::lock_guard lock(state_->handlers->mutex);
  if (handler) {
    state_->handlers->byChannel[channel] = std::move(handler);
  } else {
    state_->handlers->byChannel.erase(channel);
  }
}

const std::string& SocketMessenger::path() const { return state_->path; }

}  // namespace tavlune::channel
