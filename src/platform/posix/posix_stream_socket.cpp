#include "posix/posix_stream_socket.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace vqx::posix {
namespace {

// Name lookups are given a negative code of their own, apart from errno values.
constexpr int kLookupCodeBase = -100000;

uint32_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000U +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000U);
}

// getaddrinfo cannot be bounded, so it runs on a thread of its own that is left behind
// (and frees what it found) when it takes longer than the caller waits.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  int code = 0;
  addrinfo* found = nullptr;
};

int ResolveWithin(const std::string& host, uint16_t port, uint32_t timeoutMs, addrinfo** found, bool* timedOut) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, port] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    if (lookup->abandoned) {
      if (list != nullptr) freeaddrinfo(list);
      return;
    }
    lookup->code = code;
    lookup->found = list;
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    *timedOut = true;
    return 0;
  }
  *found = lookup->found;
  return lookup->code;
}

}  // namespace

PosixStreamSocket::~PosixStreamSocket() { Close(); }

void PosixStreamSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

IStreamSocket::ConnectResult PosixStreamSocket::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
  Close();
  const uint32_t start = NowMs();
  addrinfo* list = nullptr;
  bool timedOut = false;
  const int lookup = ResolveWithin(host, port, timeoutMs, &list, &timedOut);
  if (timedOut) return {ConnectError::TimedOut, ETIMEDOUT};
  if (lookup != 0) {
    if (lookup == EAI_SYSTEM) return {ConnectError::Other, errno};
    const bool unknown = lookup == EAI_NONAME || lookup == EAI_NODATA || lookup == EAI_FAIL || lookup == EAI_AGAIN;
    return {unknown ? ConnectError::UnknownHost : ConnectError::Other, kLookupCodeBase - lookup};
  }
  ConnectResult result{ConnectError::Other, EADDRNOTAVAIL};
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      result = {ConnectError::Other, errno};
      continue;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int error = 0;
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS || error == EINTR) {
        error = ETIMEDOUT;
        for (;;) {
          const uint32_t elapsed = NowMs() - start;
          if (elapsed >= timeoutMs) break;
          pollfd waiter{fd, POLLOUT, 0};
          const int ready = poll(&waiter, 1, static_cast<int>(timeoutMs - elapsed));
          if (ready < 0 && errno == EINTR) continue;
          if (ready > 0) {
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
          }
          break;
        }
      }
    }
    if (error == 0) {
      freeaddrinfo(list);
      fd_ = fd;
      return {};
    }
    close(fd);
    switch (error) {
      case ECONNREFUSED: result = {ConnectError::Refused, error}; break;
      case ETIMEDOUT: result = {ConnectError::TimedOut, error}; break;
      case ENETUNREACH:
      case EHOSTUNREACH: result = {ConnectError::Unreachable, error}; break;
      default: result = {ConnectError::Other, error}; break;
    }
    if (NowMs() - start >= timeoutMs) break;
  }
  freeaddrinfo(list);
  return result;
}

int32_t PosixStreamSocket::Receive(uint8_t* buffer, size_t size) {
  if (fd_ < 0) return -1;
  const ssize_t n = recv(fd_, buffer, size, MSG_DONTWAIT);
  if (n > 0) {
    // Acknowledge at once, every time (Linux drops back to delayed acknowledgements on
    // its own): a server with Nagle's algorithm on holds the rest of a reply until its
    // first segment is acknowledged, up to 40 ms per reply otherwise.
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    return static_cast<int32_t>(n);
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return -1;  // 0: the server closed the connection; ECONNRESET and the like: it is gone
}

int32_t PosixStreamSocket::Send(const uint8_t* data, size_t size) {
  if (fd_ < 0) return -1;
  const ssize_t n = send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (n >= 0) return static_cast<int32_t>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  return -1;
}

bool PosixStreamSocket::Wait(short events, uint32_t ms) {
  if (fd_ < 0) return false;
  pollfd waiter{fd_, events, 0};
  const int ready = poll(&waiter, 1, static_cast<int>(ms));
  return ready > 0;
}

bool PosixStreamSocket::WaitReadable(uint32_t ms) { return Wait(POLLIN, ms); }
bool PosixStreamSocket::WaitWritable(uint32_t ms) { return Wait(POLLOUT, ms); }

int32_t PosixStreamSocket::UnacknowledgedBytes() {
  if (fd_ < 0) return -1;
  int queued = 0;
  if (ioctl(fd_, SIOCOUTQ, &queued) != 0) return -1;
  return queued;
}

std::string PosixStreamSocket::ErrorText(int systemError) {
  if (systemError <= kLookupCodeBase + 1000 && systemError > kLookupCodeBase - 1000) {
    return gai_strerror(kLookupCodeBase - systemError);
  }
  return std::strerror(systemError);
}

}  // namespace vqx::posix
