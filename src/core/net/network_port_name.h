#pragma once

#include <cstdint>
#include <string>

namespace vqx {

// A port reached through a serial device server over TCP, named as a URL:
//   rfc2217://HOST:PORT  Telnet with the COM-PORT-OPTION: we set the far port's line
//   socket://HOST:PORT   the bytes as they are; the server keeps its own line settings
struct NetworkPortName {
  enum class Protocol { Rfc2217, Raw };
  Protocol protocol = Protocol::Rfc2217;
  std::string host;  // without the brackets of an IPv6 literal
  uint16_t port = 0;
  // "HOST:PORT" as the user wrote it, for messages.
  std::string where;
};

// True for a name that starts with one of the two schemes (in any case), valid or not:
// such a name is never a device of this machine.
bool IsNetworkPortName(const std::string& name);

// The parts of a network port name; false with the reason in *problem (one sentence,
// no full stop) when the name starts like one but is not one.
bool ParseNetworkPortName(const std::string& name, NetworkPortName* parsed, std::string* problem);

}  // namespace vqx
