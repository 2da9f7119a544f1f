#!/usr/bin/env python3
"""The server side of TLS for the network tests of a Windows build under Wine.

The tests' local servers make a TLS server context in-process. On Linux that is OpenSSL; under
Wine, Schannel has no server side and OpenSSL's libraries are not there. This relay lends them
OpenSSL through Python's ssl module: the test process keeps the socket to the client and sends
each TLS call here with the bytes it received; the relay answers with the bytes to send on and
the call's result. The TLS state lives here, one session per relay connection, and the client
under test talks to a real OpenSSL server.

    tls_relay.py start DIR   makes the test certificates in DIR (as the tests make them on Linux),
                             starts the relay in the background and writes its port to DIR/port
    tls_relay.py stop DIR    stops it

A request is an operation letter, then two blocks (4-byte big-endian length, bytes): the bytes
received from the client since the last call, and the operation's argument. An answer is a
status byte (numbered as platform/tls_engine.h numbers them), then two blocks: the bytes to send
to the client, and the result (read bytes, a count, or why the call failed).
"""

import os
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time

OK, FAILED, WANT_READ, WANT_WRITE, SYSCALL, CLOSED = 0, 1, 2, 3, 5, 6
LIFETIME = 3600  # a relay left behind by a run that died goes away on its own


def make_certificates(d):
    """The authority, the server's certificate for localhost and 127.0.0.1, one for another name
    (same key) and a self-signed one, as tests/net/test_server.h makes them."""
    def run(*args):
        subprocess.run(["openssl", *args], check=True, cwd=d,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=navelo-test-ca", "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost")
    for name, extension in (("server", "subjectAltName=DNS:localhost,IP:127.0.0.1"),
                            ("other", "subjectAltName=DNS:other.invalid")):
        with open(os.path.join(d, name + ".ext"), "w") as f:
            f.write(extension + "\n")
        run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", name + ".ext")
    run("req", "-x509", *ec, "-keyout", "self.key", "-out", "self.pem", "-days", "2",
        "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")


def host_path(path):
    """A path as the Windows program wrote it (Z:\\dir\\file or Z:/dir/file) as a Linux path."""
    if len(path) >= 2 and path[1] == ":" and path[0] in "zZ":
        path = path[2:]
    return path.replace("\\", "/")


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def recv_block(sock):
    head = recv_exact(sock, 4)
    if head is None:
        return None
    (n,) = struct.unpack(">I", head)
    return recv_exact(sock, n) if n else b""


def block(data):
    return struct.pack(">I", len(data)) + data


def serve(sock):
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    session = None
    with sock:
        while True:
            op = recv_exact(sock, 1)
            if op is None:
                return
            feed, arg = recv_block(sock), recv_block(sock)
            if feed is None or arg is None:
                return
            if feed:
                incoming.write(feed)
            status, result = OK, b""
            try:
                if op == b"C":
                    certificate, key = arg.decode().split("\n")[:2]
                    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                    context.load_cert_chain(host_path(certificate), host_path(key))
                    session = context.wrap_bio(incoming, outgoing, server_side=True)
                elif session is None:
                    raise ValueError("no session: the first call names the certificate")
                elif op == b"H":
                    session.do_handshake()
                elif op == b"R":
                    result = session.read(int(arg))
                    if not result:
                        status = CLOSED
                elif op == b"W":
                    result = str(session.write(arg)).encode()
                elif op == b"S":
                    session.unwrap()
                elif op == b"P":
                    result = b"1" if session.pending() else b"0"
                elif op == b"E":
                    incoming.write_eof()
                else:
                    raise ValueError("unknown call %r" % op)
            except ssl.SSLWantReadError:
                status = WANT_READ
            except ssl.SSLWantWriteError:
                status = WANT_WRITE
            except ssl.SSLZeroReturnError:
                status = CLOSED
            except (ssl.SSLEOFError, ssl.SSLSyscallError) as e:
                status, result = SYSCALL, str(e).encode()
            except (ssl.SSLError, OSError, ValueError) as e:
                status, result = FAILED, str(e).encode()
            try:
                sock.sendall(bytes([status]) + block(outgoing.read()) + block(result))
            except OSError:
                return


def run_relay(d):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    with open(os.path.join(d, "port.tmp"), "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.replace(os.path.join(d, "port.tmp"), os.path.join(d, "port"))
    listener.settimeout(1.0)
    started = time.monotonic()
    while time.monotonic() - started < LIFETIME:
        try:
            sock, _ = listener.accept()
        except socket.timeout:
            continue
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=serve, args=(sock,), daemon=True).start()


def stop(d):
    try:
        with open(os.path.join(d, "pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(d, name))
        except OSError:
            pass


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    d = os.path.abspath(sys.argv[2])
    stop(d)
    if sys.argv[1] == "stop":
        return
    os.makedirs(d, exist_ok=True)
    make_certificates(d)
    pid = os.fork()
    if pid == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        run_relay(d)
        os._exit(0)
    with open(os.path.join(d, "pid"), "w") as f:
        f.write("%d\n" % pid)
    for _ in range(100):
        if os.path.exists(os.path.join(d, "port")):
            print("TLS relay for the tests on port", open(os.path.join(d, "port")).read().strip())
            return
        time.sleep(0.05)
    sys.exit("the TLS relay did not start")


if __name__ == "__main__":
    main()
