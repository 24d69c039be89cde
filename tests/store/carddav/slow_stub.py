"""A CardDAV server of the tests' own, on 127.0.0.1, that is slow or holds a
request open: what no real server does on request. One address book at
/book/ holding COUNT cards, each with a note of NOTE bytes. One request goes
as MODE says, the one WHERE names; every other request is answered at once:

  WHERE  discovery  the first PROPFIND (the program is discovering the book)
         report     the second multiget (the first batch has been exported)
         none       no request (MODE is then not used)
  MODE   trickle    the status and headers, then one byte of the body a
                    second, for ever
         hold       the status, headers and part of the body, then nothing
                    (the connection stays open)
         pace:N     the whole answer, at N bytes a second

When the slow answer has begun, the file MARKER is created. Usage:
  slow_stub.py PORT WHERE MODE COUNT NOTE MARKER
"""
import re
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PORT, WHERE, MODE, COUNT, NOTE, MARKER = (int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4]),
                                          int(sys.argv[5]), sys.argv[6])
counts = {"PROPFIND": 0, "REPORT": 0}
lock = threading.Lock()

PROLOG = '<?xml version="1.0"?><D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'


def card(i):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c%06d\r\nFN:Person %d\r\nN:Person;P%d;;;\r\nNOTE:%s\r\n"
            "END:VCARD\r\n" % (i, i, i, "n%d " % i + "x" * NOTE))


def href(i):
    return "/book/c%06d.vcf" % i


def collection():
    return ("<D:response><D:href>/book/</D:href><D:propstat><D:prop><D:resourcetype><D:collection/>"
            "<C:addressbook/></D:resourcetype><D:displayname>Book</D:displayname></D:prop>"
            "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def is_slow(self):
        with lock:
            counts[self.command] += 1
            number = counts[self.command]
        return (WHERE, self.command, number) in (("discovery", "PROPFIND", 1), ("report", "REPORT", 2))

    def answer(self, body, slow):
        body = body.encode()
        if not slow:
            self.send_response(207)
            self.send_header("Content-Type", "application/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        self.send_response(207)
        self.send_header("Content-Type", "application/xml; charset=utf-8")
        # A trickle never ends: its length is more than it will ever send.
        self.send_header("Content-Length", str(len(body) if MODE.startswith("pace:") else 1 << 40))
        self.end_headers()
        self.wfile.flush()
        open(MARKER, "w").close()
        if MODE == "trickle":
            self.wfile.write(PROLOG.encode())
            while True:
                self.wfile.write(b" ")
                self.wfile.flush()
                time.sleep(1)
        if MODE == "hold":
            self.wfile.write(body[: len(body) // 3])
            self.wfile.flush()
            while True:
                time.sleep(60)
        rate = int(MODE[len("pace:"):])
        slice_bytes = max(1, rate // 10)
        start = time.monotonic()
        for at in range(0, len(body), slice_bytes):
            # Each slice leaves when the rate allows it, whatever the earlier
            # writes cost, so the average is the rate asked for.
            delay = start + at / rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.wfile.write(body[at:at + slice_bytes])
            self.wfile.flush()

    def do_PROPFIND(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        slow = self.is_slow()
        parts = [PROLOG, collection()]
        if self.headers.get("Depth") == "1":
            parts += ['<D:response><D:href>%s</D:href><D:propstat><D:prop><D:getetag>"%d"</D:getetag>'
                      "<D:resourcetype/></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                      "</D:response>" % (href(i), i) for i in range(COUNT)]
        self.answer("".join(parts) + "</D:multistatus>", slow)

    def do_REPORT(self):
        asked = re.findall(r"<D:href>/book/c(\d+)\.vcf</D:href>",
                           self.rfile.read(int(self.headers.get("Content-Length", 0))).decode())
        slow = self.is_slow()
        parts = [PROLOG]
        parts += ['<D:response><D:href>%s</D:href><D:propstat><D:prop><D:getetag>"%d"</D:getetag>'
                  "<C:address-data>%s</C:address-data></D:prop><D:status>HTTP/1.1 200 OK</D:status>"
                  "</D:propstat></D:response>" % (href(i), i, card(i)) for i in map(int, asked)]
        self.answer("".join(parts) + "</D:multistatus>", slow)


server = ThreadingHTTPServer(("127.0.0.1", PORT), Handler)
server.daemon_threads = True
server.handle_error = lambda request, address: None  # a client that hangs up is expected
server.serve_forever()
