// What the TLS engine check asks of the platform it runs on.
#pragma once

#include <string>

namespace navelo {

// Pins the engine named "auto", "openssl" or "schannel" for the contexts made next; false when
// the platform has no such engine (name then tells why), else name is the engine's own.
bool PickTlsEngine(const std::string& wanted, std::string& name);
// True when the picked engine makes no server contexts by design.
bool ServerContextMayBeMissing();

}  // namespace navelo
