#!/usr/bin/env python3
"""A local HTTPS server for the download benchmarks, outside the program measured.

net_bench's own server runs in the benchmark's process; under Wine that server's sockets (and its
TLS, lent by tests/net/tls_relay.py) are Wine's too, so the figure mixes the server's costs with
the client's. This one runs on the Linux side with Python's ssl (OpenSSL), so a Linux build and a
Windows build under Wine fetch from the same server and only their clients differ.

    https_server.py DIR   serves GET /big (50 MiB) and /page (60 KiB) on 127.0.0.1 with DIR's
                          server.pem and server.key (made by tls_relay.py start DIR), writes its
                          port to DIR/https_port and runs until killed
"""

import os
import random
import ssl
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BIG = random.Random(7).randbytes(50 << 20)
PAGE = bytes(random.Random(7).choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(60 << 10))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        body = {"/big": BIG, "/page": PAGE}.get(self.path)
        if body is None:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        view = memoryview(body)
        for at in range(0, len(body), 1 << 20):
            self.wfile.write(view[at:at + (1 << 20)])
        self.close_connection = True

    def log_message(self, *args):
        pass


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    d = sys.argv[1]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(d, "server.pem"), os.path.join(d, "server.key"))
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(os.path.join(d, "https_port.tmp"), "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(os.path.join(d, "https_port.tmp"), os.path.join(d, "https_port"))
    server.serve_forever()


if __name__ == "__main__":
    main()
