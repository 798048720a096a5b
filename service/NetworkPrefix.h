#pragma once

#include <optional>
#include <string>

// The network a client address belongs to, as far as flags are counted: its IPv4 /24 or its IPv6 /48
// (an IPv4 address mapped into IPv6 is taken as IPv4). Nothing for text that is no address.
std::optional<std::string> networkPrefix(const std::string& address);
