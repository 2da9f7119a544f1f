// The socket commands: INTERNET, CONECTA, ATIVASSL, SERVE, OBSERVA, IP and HANDLE. Connections
// live on the channels, where ESCREVE, LE and FECHA reach them.
#include <memory>

#include "interp/interpreter.h"
#include "interp/socket_channel.h"
#include "interp/text.h"
#include "interp/tokens.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

SocketChannel* SocketOn(Interpreter& in, int channel) {
  ChannelStream* stream = in.channels.Get(channel);
  return stream != nullptr && stream->IsSocket() ? static_cast<SocketChannel*>(stream) : nullptr;
}

// A refused certificate is named, since "connection error" alone would leave the user guessing.
void ReportTlsRefusal(Interpreter& in, const std::string& host) {
  if (in.net.LastTlsFailure().rfind("certificate: ", 0) == 0) {
    in.svc.speech.SpeakWriteLine(Utf8ToCp1252("Certificado do servidor recusado: ") + host);
  }
}

bool Internet(Interpreter& in, std::string& args) {
  const std::string word = FoldUpper(Trim(args));
  if (word == "INICIA") {
    in.net.NetStartup();
    return true;
  }
  if (word == "TERMINA") {
    in.net.NetCleanup();
    return true;
  }
  return false;
}

// CONECTA [SSL ]#n host port [&]
bool Conecta(Interpreter& in, std::string& args) {
  const bool ssl_prefix = StartsWithFolded(args, "SSL ");
  if (ssl_prefix) {
    in.sockets.ssl = true;
    args.erase(0, 4);
    TrimInPlace(args);
  }
  const bool quiet = TakeTrailingAmpersand(args);
  auto connection_error = [&] {
    if (quiet) {
      in.io_status = 1;
      return true;
    }
    SayLine(in, "Erro de conexao");
    return false;
  };
  int channel = 0;
  std::string host, port_text;
  if (!TakeChannel(args, channel) || args.empty()) return connection_error();
  if (!TakeValue(in, args, host)) return connection_error();
  in.sockets.last_host = host;
  if (!TakeValue(in, args, port_text)) return connection_error();
  in.sockets.last_port = port_text;
  const auto port = ParseInteger(port_text);
  if (!port) {
    if (quiet) {
      in.io_status = 2;
      return true;
    }
    SayLine(in, "Erro na porta TCP/IP");
    return false;
  }
  // What the channel held is closed first, so that its connection (and a TLS connection it
  // carries) does not linger unreachable. The SSL mark stays as it is.
  in.channels.Close(channel);
  const int tcp_port = static_cast<uint16_t>(*port);
  const int s = in.sockets.ssl ? in.net.TcpConnectSecure(host, tcp_port)
                               : in.net.TcpConnect(host, tcp_port);
  if (s < 0) {
    if (in.sockets.ssl) ReportTlsRefusal(in, host);
    return connection_error();
  }
  in.channels.Put(channel, std::make_unique<SocketChannel>(in.net, s));
  if (quiet) in.io_status = 0;
  return true;
}

// ATIVASSL #n: a TLS connection to the last CONECTA target takes the channel's place.
bool AtivaSsl(Interpreter& in, std::string& args) {
  int channel = 0;
  if (!TakeChannel(args, channel)) return false;
  const auto port = ParseInteger(in.sockets.last_port);
  const int s = port ? in.net.TcpConnectSecure(in.sockets.last_host, static_cast<uint16_t>(*port))
                     : -1;
  if (s < 0) {
    ReportTlsRefusal(in, in.sockets.last_host);
    return true;
  }
  // The channel, reader included, follows the new connection and the old one is closed, so that
  // reading and writing go to the same peer.
  if (SocketChannel* socket = SocketOn(in, channel)) {
    socket->Replace(s);
  } else {
    in.channels.Put(channel, std::make_unique<SocketChannel>(in.net, s));
  }
  return true;
}

// SERVE #n port: waits for one client on the port.
bool Serve(Interpreter& in, std::string& args) {
  int channel = 0;
  std::string port_text;
  if (!TakeChannel(args, channel) || args.empty() || !TakeValue(in, args, port_text)) {
    SayLine(in, "Erro de conexao");
    return false;
  }
  const auto port = ParseInteger(port_text);
  if (!port) {
    SayLine(in, "Erro na porta TCP/IP");
    return false;
  }
  const int listening = in.net.TcpListen(static_cast<uint16_t>(*port));
  if (listening < 0) {
    SayLine(in, "Erro de conexao");
    return false;
  }
  const int s = in.net.TcpAccept(listening);
  in.net.TcpClose(listening);
  if (s < 0) {
    SayLine(in, "Erro de conexao");
    return false;
  }
  in.channels.Put(channel, std::make_unique<SocketChannel>(in.net, s));
  return true;
}

// OBSERVA TECLADO variable / OBSERVA #n variable
bool Observa(Interpreter& in, std::string& args) {
  const bool keyboard = StartsWithFolded(args, "TECLADO ");
  int channel = 0;
  if (keyboard) {
    args.erase(0, 8);
  } else if (!TakeChannel(args, channel)) {
    return false;
  }
  TrimInPlace(args);
  int slot = 0;
  if (!TakeVariable(in, args, slot) || !args.empty()) return false;
  bool ready = false;
  if (keyboard) {
    ready = in.svc.keyboard.KeyPressed();
  } else if (SocketChannel* socket = SocketOn(in, channel)) {
    ready = socket->reader() != nullptr && socket->reader()->HasData();
  }
  in.vars.Slot(slot).assign(1, ready ? '1' : '0');
  return true;
}

// IP LOCAL #n variable / IP REMOTO #n variable
bool Ip(Interpreter& in, std::string& args) {
  bool local;
  if (StartsWithFolded(args, "LOCAL ")) {
    local = true;
    args.erase(0, 6);
  } else if (StartsWithFolded(args, "REMOTO ")) {
    local = false;
    args.erase(0, 7);
  } else {
    return false;
  }
  TrimInPlace(args);
  int channel = 0;
  int slot = 0;
  if (!TakeChannel(args, channel) || !TakeVariable(in, args, slot)) return false;
  SocketChannel* socket = SocketOn(in, channel);
  if (socket == nullptr || socket->socket() < 0) return false;
  std::string address;
  if (!(local ? in.net.LocalAddress(socket->socket(), address)
              : in.net.PeerAddress(socket->socket(), address))) {
    return false;
  }
  in.vars.Slot(slot) = address;
  return true;
}

bool Handle(Interpreter& in, std::string& args) {
  int slot = 0;
  if (!TakeVariable(in, args, slot)) return false;
  in.vars.Slot(slot) = std::to_string(in.svc.console.WindowHandle());
  return true;
}

constexpr CommandEntry kEntries[] = {
    {"INTERNET", Internet}, {"CONECTA", Conecta}, {"ATIVASSL", AtivaSsl}, {"SERVE", Serve},
    {"OBSERVA", Observa},   {"IP", Ip},           {"HANDLE", Handle},
};

}  // namespace

std::span<const CommandEntry> SocketCommands() { return kEntries; }

}  // namespace navelo
