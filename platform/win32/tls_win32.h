// The two TLS engines of Windows behind platform/tls_engine.h: OpenSSL's libraries when they can
// be loaded at run time, else the system's Schannel. Shared between tls_win32.cpp, the engines
// and the Windows TLS checks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tls_engine.h"

namespace navelo {

enum class TlsEngineChoice { kAutomatic, kOpenSsl, kSchannel };

// Which engine the next contexts come from; automatic (OpenSSL when loadable) unless a check
// pins one to compare them.
void ChooseTlsEngine(TlsEngineChoice choice);
// "OpenSSL <version>" or "Schannel": the engine the next context would come from.
std::string TlsEngineName();

// True when the text is an IPv4 address written as four dotted numbers; such a server name is
// checked against the certificate's addresses, not its names.
bool IsDottedAddress(std::string_view name);

// The certificates (DER) of a PEM file; false with error set when the file cannot be read or
// holds none.
bool ReadPemCertificates(const std::string& path, std::vector<std::string>& certificates,
                         std::string& error);

// OpenSSL's libraries loaded at run time: true once both libraries and every function the engine
// needs were found; later calls answer at once.
bool OpenSslDllLoad();
std::string OpenSslDllName();
std::unique_ptr<TlsContext> MakeOpenSslDllClientContext(const TlsClientOptions& options,
                                                        std::string& error);
std::unique_ptr<TlsContext> MakeOpenSslDllServerContext(const std::string& certificate_file,
                                                        const std::string& key_file,
                                                        std::string& error);

std::unique_ptr<TlsContext> MakeSchannelClientContext(const TlsClientOptions& options,
                                                      std::string& error);

}  // namespace navelo
