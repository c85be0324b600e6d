// SIO_TCP_INFO and TCP_INFO_v0 are declared from Windows 10 1703 on; the call fails
// harmlessly on older systems (and under Wine), and the drain then does not wait.
#define NTDDI_VERSION 0x0A000003
#include "win32/win32_stream_socket.h"

#include <algorithm>

#include "win32/wide_text.h"

namespace vqx::win32 {
namespace {

IStreamSocket::ConnectError ErrorKind(int code) {
  switch (code) {
    case WSAECONNREFUSED: return IStreamSocket::ConnectError::Refused;
    case WSAETIMEDOUT: return IStreamSocket::ConnectError::TimedOut;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH: return IStreamSocket::ConnectError::Unreachable;
    default: return IStreamSocket::ConnectError::Other;
  }
}

}  // namespace

Win32StreamSocket::~Win32StreamSocket() { Close(); }

void Win32StreamSocket::Close() {
  if (socket_ != INVALID_SOCKET) calls_.CloseSocket(socket_);
  socket_ = INVALID_SOCKET;
}

IStreamSocket::ConnectResult Win32StreamSocket::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
  Close();
  if (!started_) {
    const int started = calls_.StartSockets();
    if (started != 0) return {ConnectError::Other, started};
    started_ = true;
  }
  const uint64_t start = calls_.TickCount();
  // The name lookup is the system resolver's, bounded by its own time-outs (a few seconds
  // per DNS server), not by timeoutMs: a lookup on a thread left behind when it takes
  // too long would be bounded, but a thread still running in the resolver when the
  // program ends can hold up its exit.
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const int lookup = calls_.ResolveHost(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (lookup != 0) {
    const bool unknown = lookup == WSAHOST_NOT_FOUND || lookup == WSANO_DATA || lookup == WSATRY_AGAIN ||
                         lookup == WSANO_RECOVERY;
    return {unknown ? ConnectError::UnknownHost : ConnectError::Other, lookup};
  }
  ConnectResult result{ConnectError::Other, WSAEADDRNOTAVAIL};
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    const SOCKET s = calls_.OpenSocket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      result = {ConnectError::Other, calls_.SocketError()};
      continue;
    }
    u_long nonBlocking = 1;
    calls_.SocketIoctl(s, static_cast<long>(FIONBIO), &nonBlocking);
    const BOOL on = TRUE;
    calls_.SetSocketOption(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    calls_.SetSocketOption(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    // Acknowledge every segment at once: a server with Nagle's algorithm on holds the rest
    // of a reply until its first segment is acknowledged. Not there (Wine): as before.
    TCP_ACK_FREQUENCY_PARAMETERS everySegment{1};
    DWORD returned = 0;
    calls_.SocketControl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned);
    int error = 0;
    if (calls_.ConnectSocket(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR) {
      error = calls_.SocketError();
      if (error == WSAEWOULDBLOCK) {
        error = WSAETIMEDOUT;
        const uint64_t elapsed = calls_.TickCount() - start;
        if (elapsed < timeoutMs) {
          WSAPOLLFD waiter{};
          waiter.fd = s;
          waiter.events = POLLWRNORM;
          const int ready = calls_.PollSockets(&waiter, 1, static_cast<INT>(timeoutMs - elapsed));
          if (ready > 0) {
            // A refused connection shows as POLLERR (or POLLHUP); SO_ERROR says why.
            int soError = 0;
            int length = sizeof soError;
            if (calls_.GetSocketOption(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0) {
              soError = calls_.SocketError();
            }
            error = soError;
            if (error == 0 && (waiter.revents & (POLLERR | POLLHUP)) != 0) error = WSAECONNREFUSED;
          } else if (ready == SOCKET_ERROR) {
            error = calls_.SocketError();
          }
        }
      }
    }
    if (error == 0) {
      calls_.FreeHostList(list);
      socket_ = s;
      return {};
    }
    calls_.CloseSocket(s);
    result = {ErrorKind(error), error};
    if (calls_.TickCount() - start >= timeoutMs) break;
  }
  calls_.FreeHostList(list);
  return result;
}

int32_t Win32StreamSocket::Receive(uint8_t* buffer, size_t size) {
  if (socket_ == INVALID_SOCKET) return -1;
  const int n = calls_.ReceiveSocket(socket_, reinterpret_cast<char*>(buffer),
                                     static_cast<int>(std::min<size_t>(size, 0x7FFFFFFF)));
  if (n > 0) return n;
  if (n == SOCKET_ERROR) {
    const int error = calls_.SocketError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) return 0;
  }
  return -1;  // 0: the server closed the connection; WSAECONNRESET and the like: it is gone
}

int32_t Win32StreamSocket::Send(const uint8_t* data, size_t size) {
  if (socket_ == INVALID_SOCKET) return -1;
  const int n = calls_.SendSocket(socket_, reinterpret_cast<const char*>(data),
                                  static_cast<int>(std::min<size_t>(size, 0x7FFFFFFF)));
  if (n >= 0) return n;
  const int error = calls_.SocketError();
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return 0;
  return -1;
}

bool Win32StreamSocket::Wait(SHORT events, uint32_t ms) {
  if (socket_ == INVALID_SOCKET) return false;
  WSAPOLLFD waiter{};
  waiter.fd = socket_;
  waiter.events = events;
  return calls_.PollSockets(&waiter, 1, static_cast<INT>(ms)) > 0;
}

bool Win32StreamSocket::WaitReadable(uint32_t ms) { return Wait(POLLRDNORM, ms); }
bool Win32StreamSocket::WaitWritable(uint32_t ms) { return Wait(POLLWRNORM, ms); }

int32_t Win32StreamSocket::UnacknowledgedBytes() {
  if (socket_ == INVALID_SOCKET) return -1;
  DWORD version = 0;
  TCP_INFO_v0 info{};
  DWORD returned = 0;
  if (calls_.SocketControl(socket_, SIO_TCP_INFO, &version, sizeof version, &info, sizeof info, &returned) != 0 ||
      returned < sizeof info) {
    return -1;
  }
  return static_cast<int32_t>(std::min<ULONG>(info.BytesInFlight, 0x7FFFFFFF));
}

std::string Win32StreamSocket::ErrorText(int systemError) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(systemError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) ::LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' || wide.back() == L' ')) {
    wide.pop_back();
  }
  if (wide.empty()) return "error " + std::to_string(systemError);
  return NarrowToUtf8(wide);
}

}  // namespace vqx::win32
