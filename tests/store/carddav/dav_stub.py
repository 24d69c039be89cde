"""A CardDAV server of the tests' own, on 127.0.0.1, for the faults a real
server does not make on request. One address book at /book/ holding COUNT
cards; the second multiget (REPORT) goes wrong as MODE says:

  none       every card answered
  discovery  the book's own PROPFIND answers 500
  report500  500
  cut        a body shorter than its Content-Length, then the connection closes
  stall      part of the body, then nothing (the client's stall limit ends it)
  malformed  a body that is not well-formed XML
  missing    card 3 reported as 404 inside the first multiget, the rest answered

Every method received is appended to LOG, one line each. Usage:
  dav_stub.py PORT MODE COUNT LOG
"""
import re
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT, MODE, COUNT, LOG = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), sys.argv[4]
reports = 0
lock = threading.Lock()


def card(i):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%06d\r\nFN:Person %d\r\nN:Person;P%d;;;\r\n"
            "EMAIL;TYPE=INTERNET:p%d@example.org\r\nEND:VCARD\r\n" % (i, i, i, i))


def href(i):
    return "/book/c%06d.vcf" % i


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self):
        with lock, open(LOG, "a") as log:
            log.write(self.command + "\n")

    def body(self):
        return self.rfile.read(int(self.headers.get("Content-Length", 0)))

    def send(self, status, body, length=None):
        self.send_response(status)
        self.send_header("Content-Type", "application/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def do_PROPFIND(self):
        self.record()
        self.body()
        if not self.path.startswith("/book"):
            return self.send(404, b"")
        if MODE == "discovery":
            return self.send(500, b"")
        head = ('<response><href>/book/</href><propstat><prop><resourcetype><collection/>'
                '<C:addressbook/></resourcetype><displayname>Book</displayname></prop>'
                '<status>HTTP/1.1 200 OK</status></propstat></response>')
        parts = ['<?xml version="1.0"?><multistatus xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">', head]
        if self.headers.get("Depth") == "1":
            # Streamed in pieces so a hundred thousand hrefs never sit in one string.
            self.send_response(207)
            self.send_header("Content-Type", "application/xml; charset=utf-8")
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            self.chunk("".join(parts))
            for start in range(0, COUNT, 1000):
                self.chunk("".join('<response><href>%s</href><propstat><prop><getetag>"%d"</getetag>'
                                   '<resourcetype/></prop><status>HTTP/1.1 200 OK</status></propstat>'
                                   '</response>' % (href(i), i) for i in range(start, min(COUNT, start + 1000))))
            self.chunk("</multistatus>")
            self.wfile.write(b"0\r\n\r\n")
            return
        self.send(207, ("".join(parts) + "</multistatus>").encode())

    def chunk(self, text):
        data = text.encode()
        self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))

    def do_REPORT(self):
        global reports
        self.record()
        asked = re.findall(r"<D:href>/book/c(\d+)\.vcf</D:href>", self.body().decode())
        with lock:
            reports += 1
            number = reports
        parts = ['<?xml version="1.0"?><D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">']
        for i in map(int, asked):
            if MODE == "missing" and i == 3:
                parts.append("<D:response><D:href>%s</D:href><D:status>HTTP/1.1 404 Not Found</D:status>"
                             "</D:response>" % href(i))
                continue
            parts.append('<D:response><D:href>%s</D:href><D:propstat><D:prop><D:getetag>"%d"</D:getetag>'
                         "<C:address-data>%s</C:address-data></D:prop><D:status>HTTP/1.1 200 OK</D:status>"
                         "</D:propstat></D:response>" % (href(i), i, card(i)))
        parts.append("</D:multistatus>")
        body = "".join(parts).encode()
        if number == 2 and MODE == "report500":
            return self.send(500, b"")
        if number == 2 and MODE == "malformed":
            return self.send(207, body.replace(b"</D:response>", b"</D:respons>", 1))
        if number == 2 and MODE == "cut":
            self.send(207, body[: len(body) // 2], length=len(body))
            self.close_connection = True
            return
        if number == 2 and MODE == "stall":
            self.send_response(207)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[:100])
            self.wfile.flush()
            time.sleep(120)
            return
        self.send(207, body)

    def do_GET(self):
        self.record()
        self.send(404, b"")

    def refuse(self):
        self.record()
        self.send(405, b"")

    do_PUT = do_DELETE = do_POST = do_MKCOL = do_PROPPATCH = do_MOVE = do_COPY = do_OPTIONS = refuse


server = ThreadingHTTPServer(("127.0.0.1", PORT), Handler)
server.daemon_threads = True
server.handle_error = lambda request, address: None  # a client that hangs up is expected
server.serve_forever()
