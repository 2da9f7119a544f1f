#!/usr/bin/env python3
"""Local TLS peers for the TLS engine check, one listening port each, written to a file:
good (the demo CA's certificate for 127.0.0.1 and localhost), other (a certificate of the same CA
for another name), self (a self-signed certificate for localhost), abrupt (closes without the closing alert after one line), broken and garbage (after
one line, a record that cannot be decrypted or plain text, then silence for 6 s) and plain (answers in plain HTTP and
stays open for 6 s).
The good, other and self peers answer HTTP/1.0 requests: GET /big gives 3 000 000 bytes, POST /eco
gives back its body, anything else a short page; they end the session with the closing alert."""
import argparse
import os
import socket
import ssl
import threading
import time


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None, b""
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), rest


def answer_http(conn):
    head, rest = read_head(conn)
    if head is None:
        return
    lines = head.split("\r\n")
    method, path = lines[0].split(" ")[:2]
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            length = int(value.strip())
    if method == "POST" and path == "/eco":
        body = rest
        while len(body) < length:
            chunk = conn.recv(65536)
            if not chunk:
                return
            body += chunk
    elif path == "/big":
        body = bytes((i * 7 + 3) % 251 for i in range(251)) * (3000000 // 251) + b"x" * (3000000 % 251)
    else:
        body = b"ola do servidor de teste\r\n"
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)


def serve(listener, context, mode):
    while True:
        raw, _ = listener.accept()
        threading.Thread(target=handle, args=(raw, context, mode), daemon=True).start()


def handle(raw, context, mode):
    try:
        if mode == "plain":
            raw.recv(4096)
            raw.sendall(b"HTTP/1.1 200 OK\r\n\r\n")
            # Staying open makes the client tell from the bytes alone that this is no TLS.
            time.sleep(6)
            raw.close()
            return
        conn = context.wrap_socket(raw, server_side=True)
        if mode in ("broken", "garbage"):
            conn.sendall(b"ok\r\n")
            raw_socket = socket.socket(fileno=conn.detach())
            if mode == "broken":
                # An application-data record whose contents cannot be decrypted.
                raw_socket.sendall(b"\x17\x03\x03\x00\x20" + b"g" * 32)
            else:
                raw_socket.sendall(b"HTTP/1.1 200 OK\r\n\r\n")
            time.sleep(6)
            raw_socket.close()
            return
        if mode == "abrupt":
            conn.sendall(b"linha\r\n")
            # Closing the socket under the session sends no closing alert.
            raw_socket = socket.socket(fileno=conn.detach())
            raw_socket.shutdown(socket.SHUT_RDWR)
            raw_socket.close()
            return
        answer_http(conn)
        try:
            conn.unwrap()
        except (ssl.SSLError, OSError):
            pass
        raw.close()
    except (ssl.SSLError, OSError, ValueError):
        raw.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--certs", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    ports = {}
    for mode, cert in (("good", "server"), ("other", "other"), ("self", "self"), ("abrupt", "server"),
                       ("broken", "server"), ("garbage", "server"),
                       ("plain", None)):
        context = None
        if cert:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(args.certs, cert + ".pem"),
                                    os.path.join(args.certs, "server.key"))
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(16)
        ports[mode] = listener.getsockname()[1]
        threading.Thread(target=serve, args=(listener, context, mode), daemon=True).start()
    with open(args.port_file + ".tmp", "w") as f:
        f.write(" ".join("%s=%d" % item for item in ports.items()) + "\n")
    os.rename(args.port_file + ".tmp", args.port_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
