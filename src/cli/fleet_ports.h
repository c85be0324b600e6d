#pragma once

#include <string>
#include <vector>

#include "net/network_port_name.h"

namespace vqx::cli {

// The ports of a fleet run from what --ports gave (each may be a comma-separated list):
// a name as it is; a pattern with * ? or [...] in its last name, expanded here and sorted
// (a shell on Windows does not expand, and a quoted pattern should not depend on the
// shell); "COM3-COM10", every COM port between the two; a network port
// ("rfc2217://host:port", "socket://host:port") unchanged, for the port factory to open.
// A port named twice is taken once. False with the reason for a pattern that matches no
// port, a range backwards or too long, or an empty list.
bool ExpandFleetPorts(const std::vector<std::string>& given, std::vector<std::string>* ports, std::string* error);


}  // namespace vqx::cli
