#include "net/network_port_name.h"

#include <cctype>

namespace vqx {
namespace {

constexpr const char* kRfc2217Scheme = "rfc2217://";
constexpr const char* kRawScheme = "socket://";

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  return StartsWithNoCase(name, kRfc2217Scheme) || StartsWithNoCase(name, kRawScheme);
}

bool ParseNetworkPortName(const std::string& name, NetworkPortName* parsed, std::string* problem) {
  NetworkPortName out;
  std::string rest;
  if (StartsWithNoCase(name, kRfc2217Scheme)) {
    out.protocol = NetworkPortName::Protocol::Rfc2217;
    rest = name.substr(std::string(kRfc2217Scheme).size());
  } else if (StartsWithNoCase(name, kRawScheme)) {
    out.protocol = NetworkPortName::Protocol::Raw;
    rest = name.substr(std::string(kRawScheme).size());
  } else {
    *problem = "a network port name starts with rfc2217:// or socket://";
    return false;
  }
  // A trailing slash is what a pasted URL often carries; nothing may follow it.
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      *problem = "an IPv6 address is written in brackets and followed by :PORT, e.g. rfc2217://[fe80::1]:7000";
      return false;
    }
    out.host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos) {
      *problem = "the port number is missing: write HOST:PORT, e.g. rfc2217://mast-3.example:7000";
      return false;
    }
    out.host = rest.substr(0, colon);
    if (out.host.find(':') != std::string::npos) {
      *problem = "an IPv6 address is written in brackets, e.g. rfc2217://[fe80::1]:7000";
      return false;
    }
  }
  if (out.host.empty()) {
    *problem = "the host name is missing: write HOST:PORT, e.g. rfc2217://mast-3.example:7000";
    return false;
  }
  for (const char c : out.host) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '/' || c == '@' || c == '?' || c == '#') {
      *problem = "the host name holds a character no host name has";
      return false;
    }
  }
  const std::string digits = rest.substr(colon + 1);
  uint32_t port = 0;
  if (digits.empty() || digits.size() > 5) {
    *problem = "the TCP port must be a number from 1 to 65535";
    return false;
  }
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      *problem = "the TCP port must be a number from 1 to 65535";
      return false;
    }
    port = port * 10U + static_cast<uint32_t>(c - '0');
  }
  if (port == 0 || port > 65535U) {
    *problem = "the TCP port must be a number from 1 to 65535";
    return false;
  }
  out.port = static_cast<uint16_t>(port);
  out.where = rest.substr(0, colon) + ":" + digits;
  *parsed = out;
  return true;
}

}  // namespace vqx
