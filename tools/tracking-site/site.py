#!/usr/bin/env python3
"""Demo parcel-tracking service over HTTPS on 127.0.0.1.

Serves /detalhes.php?P_COD_UNI=CODE with UTF-8 pages like a real tracking site's: one status block
per event, latest first. The demo codes' histories advance while the site runs, so a monitor has
changes to announce. Unknown codes and malformed codes get the two error-page forms. Some codes
are sent chunked, the others with a fixed length. A few codes show what older or careless sites
send: Latin-1 pages (declared in the header or only in the page), character references, a NUL
byte and a malformed UTF-8 sequence. Any other path answers 404, and /recusa.php answers 400.
"""

import argparse
import datetime
import html
import os
import re
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

# Each demo code: how its page is sent, how many events show at start, and its whole history in
# the order the events happen (status, place).
DEMO_CODES = {
    "AA123456789BR": {
        "chunked": False,
        "visible_at_start": 2,
        "events": [
            ("Objeto postado", "Agência dos Correios - São Paulo/SP"),
            ("Objeto em trânsito - por favor aguarde", "Centro de Tratamento - São Paulo/SP"),
            ("Objeto em trânsito - por favor aguarde", "Centro de Tratamento - Curitiba/PR"),
            ("Objeto saiu para entrega ao destinatário", "Unidade de Distribuição - Porto Alegre/RS"),
            ("Objeto entregue ao destinatário", "Unidade de Distribuição - Porto Alegre/RS"),
        ],
    },
    "BB987654321BR": {
        "chunked": True,
        "visible_at_start": 6,
        "events": [
            ("Objeto postado", "Agência dos Correios - Recife/PE"),
            ("Objeto em trânsito - por favor aguarde", "Centro de Tratamento - Recife/PE"),
            ("Objeto em trânsito - por favor aguarde", "Centro de Tratamento - Salvador/BA"),
            ("Objeto aguardando retirada no endereço indicado", "Agência dos Correios - Itabuna/BA"),
            ("Objeto saiu para entrega ao destinatário", "Unidade de Distribuição - Ilhéus/BA"),
            ("Objeto entregue ao destinatário", "Unidade de Distribuição - Ilhéus/BA"),
        ],
    },
    "CC111222333BR": {
        "chunked": True,
        "visible_at_start": 1,
        "events": [
            ("Objeto postado após o horário limite da unidade", "Agência dos Correios - Belo Horizonte/MG"),
            ("Objeto em trânsito - por favor aguarde", "Centro de Tratamento - Belo Horizonte/MG"),
            ("Fiscalização aduaneira finalizada", "Unidade de Tratamento Internacional - Curitiba/PR"),
            ("Objeto saiu para entrega ao destinatário", "Unidade de Distribuição - Manaus/AM"),
        ],
    },
    "DD444555666BR": {
        "chunked": False,
        "visible_at_start": 1,
        "events": [("Objeto postado", "Agência dos Correios - Florianópolis/SC")],
    },
    # Latin-1, declared in the Content-Type header. "JOSÉ" and the raw no-break space after it
    # happen to form a valid UTF-8 pair, so only the declared charset reads them right.
    "EE222333444BR": {
        "chunked": False,
        "visible_at_start": 1,
        "charset": "iso-8859-1",
        "declared": "header",
        "events": [("Objeto recebido na AGÊNCIA SÃO JOÃO", "Unidade SÃO JOSÉ\u00a0- SC")],
    },
    # Latin-1, declared only by the page's own meta element; the header names no charset.
    "FF555666777BR": {
        "chunked": True,
        "visible_at_start": 1,
        "charset": "iso-8859-1",
        "declared": "meta",
        "events": [("Objeto recebido na AGÊNCIA SÃO JOÃO", "Unidade SÃO JOSÉ\u00a0- SC")],
    },
    # UTF-8 with character references, a NUL byte and an overlong line end (C0 8A).
    "GG888999000BR": {
        "chunked": False,
        "visible_at_start": 1,
        "events": [("Objeto em tr&acirc;nsito &amp; triagem\x00 &#8211; Distribui&#231;&#xE3;o"
                    " &lt;urgente&gt; &eacute;tica &naoexiste; R&amp;D",
                    "Centro de Tratamento\udcc0\udc8aS&atilde;o Paulo/SP")],
    },
}

CODE_PATTERN = re.compile(r"^[A-Z]{2}[0-9]{9}[A-Z]{2}$")


def visible_events(code, started, advance_seconds, now):
    """The events of a code that have happened by now, oldest first."""
    demo = DEMO_CODES[code]
    steps = int((now - started) // advance_seconds) if advance_seconds > 0 else 0
    count = min(len(demo["events"]), demo["visible_at_start"] + steps)
    return demo["events"][:count]


def event_time(code, index, started):
    """When event index of a code happened: the past ones a day apart, the rest as they come."""
    demo = DEMO_CODES[code]
    base = datetime.datetime.fromtimestamp(started)
    past = demo["visible_at_start"]
    if index < past:
        return base - datetime.timedelta(days=past - index, hours=index % 3, minutes=7 * index)
    return base + datetime.timedelta(minutes=index - past + 1)


def charset_of(code):
    """The charset a code's page is written in, and where the page declares it."""
    demo = DEMO_CODES.get(code, {})
    return demo.get("charset", "utf-8"), demo.get("declared", "both")


def page_for(code, started, advance_seconds, now):
    charset, declared = charset_of(code)
    if declared == "meta":
        meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\">\n"
    else:
        meta = "<meta charset=\"" + charset + "\">\n" if declared == "both" else ""
    head = ("<!DOCTYPE html>\n<html lang=\"pt-br\">\n<head>\n" + meta +
            "<title>Rastreamento de objetos</title>\n</head>\n<body>\n"
            "<div id=\"conteudo\">\n<h3>Rastreamento</h3>\n")
    tail = "</div>\n</body>\n</html>\n"
    if not CODE_PATTERN.match(code):
        # The older form of the site's error message: a red line, indented by 19 blanks.
        return (head + " " * 19 + "<B><FONT COLOR='#ff0000'>Código de objeto inválido: "
                + html.escape(code) + "</FONT></B>\n" + tail)
    if code not in DEMO_CODES:
        return (head + "<p><br /><br />O objeto " + code
                + " não foi encontrado na base de dados. <br />Verifique o código e tente "
                  "mais tarde.</p>\n" + tail)
    body = ["<p>Objeto: <strong>" + code + "</strong></p>\n"]
    events = visible_events(code, started, advance_seconds, now)
    for index in reversed(range(len(events))):
        status, place = events[index]
        when = event_time(code, index, started)
        body.append("<ul class=\"linha_status\" style=\"\">\n")
        body.append("<li><b>Status:</b> " + status + "</li>\n")
        body.append("<li><b>Data:</b> " + when.strftime("%d/%m/%Y") + " | <b>Hora:</b> "
                    + when.strftime("%H:%M") + "</li>\n")
        body.append("<li><b>Local:</b> " + place + "</li>\n")
        body.append("</ul>\n")
    return head + "".join(body) + tail


class TrackingHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DemoTracking/1.0"

    def do_GET(self):
        url = urlsplit(self.path)
        if url.path == "/recusa.php":
            self.send_page(400, "<html><body><h1>400 Pedido inválido</h1></body></html>\n", False)
            return
        if url.path != "/detalhes.php":
            self.send_page(404, "<html><body><h1>404 Não encontrado</h1></body></html>\n", False)
            return
        code = parse_qs(url.query).get("P_COD_UNI", [""])[0].strip().upper()
        site = self.server
        page = page_for(code, site.started, site.advance_seconds, time.time())
        chunked = DEMO_CODES.get(code, {}).get("chunked", False)
        charset, declared = charset_of(code)
        self.send_page(200, page, chunked, charset, declared in ("both", "header"))

    def send_page(self, status, page, chunked, charset="utf-8", declare=True):
        # Lone surrogates in a demo text stand for raw bytes that are not valid UTF-8.
        data = page.encode(charset, "surrogateescape")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=" + charset if declare else "text/html")
        self.send_header("Connection", "close")
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for start in range(0, len(data), 700):
                piece = data[start:start + 700]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        else:
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
        self.close_connection = True

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("tracking-site: " + (fmt % args) + "\n")



class QuietServer(ThreadingHTTPServer):
    """A client that hangs up in the middle of an answer (as the downloader does after a head it
    only wanted to see) is normal here, not worth a traceback."""

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--certs", required=True, help="folder made by make_certs.sh")
    parser.add_argument("--advance", type=float, default=30.0,
                        help="seconds between new events of the advancing codes")
    parser.add_argument("--port-file", help="write the port number here once listening")
    parser.add_argument("--lifetime", type=float, default=0,
                        help="stop by itself after this many seconds (0: run until killed)")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    server = QuietServer(("127.0.0.1", args.port), TrackingHandler)
    server.daemon_threads = True
    server.started = time.time()
    server.advance_seconds = args.advance
    server.verbose = args.verbose
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.certs + "/server.pem", args.certs + "/server.key")
    server.socket = context.wrap_socket(server.socket, server_side=True)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as out:
            out.write(f"{port}\n")
        os.replace(args.port_file + ".tmp", args.port_file)
    print(f"tracking site on https://127.0.0.1:{port}/detalhes.php?P_COD_UNI=", flush=True)
    if args.lifetime > 0:
        threading.Timer(args.lifetime, server.shutdown).start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
