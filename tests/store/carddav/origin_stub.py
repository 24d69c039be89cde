"""A CardDAV server of the tests' own that names things on another origin,
for the credential tests. It listens on two ports of 127.0.0.1 (the first is
the .carddav file's url); every request needs Basic authentication as alice
with password secret. The tree, the same on both ports:

  /                    current-user-principal /principal/
  /principal/          addressbook-home-set /home/
  /home/               books /home/contacts/ (Contacts) and /home/other/ (Other)
  /home/contacts/      cards c1.vcf (One) and c2.vcf (Two)
  /home/other/         card o1.vcf (Other)
  /home/moved/         a 307 redirect to ELSEWHERE/home/other/

MODE moves one of them to the origin ELSEWHERE (e.g. http://localhost:PORT):

  same        nothing moved
  principal   / names ELSEWHERE/principal/
  home        /principal/ names ELSEWHERE/home/
  contacts    /home/ lists ELSEWHERE/home/contacts/
  book        /home/ lists ELSEWHERE/home/other/
  redirect    /home/ lists /home/moved/ in place of /home/other/
  duplicates  /home/contacts/ lists its cards several times, spelt two ways

Each request appends "HOST AUTHORIZATION" to LOG (the Host header, the
Authorization header or "-"). Usage:
  origin_stub.py PORT OTHER_PORT MODE ELSEWHERE LOG
"""
import base64
import re
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote

PORT, OTHER_PORT, MODE, ELSEWHERE, LOG = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
LOGIN = "Basic " + base64.b64encode(b"alice:secret").decode()
NAMES = {"c1": "One", "c2": "Two", "o1": "Other"}
lock = threading.Lock()


def moved(path, mode):
    return ELSEWHERE + path if MODE == mode else path


def card(name):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%s\r\nFN:Person %s\r\nN:Person;%s;;;\r\nEND:VCARD\r\n"
            % (name, NAMES[name], NAMES[name]))


def response(href, props):
    return ("<D:response><D:href>%s</D:href><D:propstat><D:prop>%s</D:prop>"
            "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>" % (href, props))


def book(href, name):
    return response(href, "<D:resourcetype><D:collection/><C:addressbook/></D:resourcetype>"
                          "<D:displayname>%s</D:displayname>" % name)


def cards(path):
    if path == "/home/contacts/" and MODE == "duplicates":
        # c2 first listed as c%32.vcf, which sorts before c1.vcf.
        return ["c%32.vcf", "c1.vcf", "c2.vcf", "c%31.vcf", "http://127.0.0.1:%d/home/contacts/c1.vcf" % PORT]
    return {"/home/contacts/": ["c1.vcf", "c2.vcf"], "/home/other/": ["o1.vcf"]}.get(path)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def multistatus(self, parts):
        self.send(207, ('<?xml version="1.0"?><D:multistatus xmlns:D="DAV:" '
                        'xmlns:C="urn:ietf:params:xml:ns:carddav">%s</D:multistatus>' % "".join(parts)).encode())

    def allowed(self):
        """Reads the body, logs the request; False (after a 401) without the login."""
        self.request_body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
        authorization = self.headers.get("Authorization")
        with lock, open(LOG, "a") as log:
            log.write("%s %s\n" % (self.headers.get("Host"), authorization or "-"))
        if authorization == LOGIN:
            return True
        self.send(401, headers=[("WWW-Authenticate", 'Basic realm="stub"')])
        return False

    def do_PROPFIND(self):
        if not self.allowed():
            return
        path = self.path
        if path == "/home/moved/":
            return self.send(307, headers=[("Location", ELSEWHERE + "/home/other/")])
        if path == "/":
            return self.multistatus([response("/", "<D:current-user-principal><D:href>%s</D:href>"
                                                   "</D:current-user-principal>" % moved("/principal/", "principal"))])
        if path == "/principal/":
            return self.multistatus([response(path, "<C:addressbook-home-set><D:href>%s</D:href>"
                                                    "</C:addressbook-home-set>" % moved("/home/", "home"))])
        if path == "/home/":
            other = "/home/moved/" if MODE == "redirect" else moved("/home/other/", "book")
            return self.multistatus([response(path, "<D:resourcetype><D:collection/></D:resourcetype>"),
                                     book(moved("/home/contacts/", "contacts"), "Contacts"), book(other, "Other")])
        listed = cards(path)
        if listed is None:
            return self.send(404)
        self.multistatus([book(path, "Book")] + [response(href if "/" in href else path + href,
                                                          '<D:getetag>"1"</D:getetag><D:resourcetype/>')
                                                 for href in listed])

    def do_REPORT(self):
        if not self.allowed():
            return
        # Each card answered under the href's plain spelling, whatever the request's.
        parts = []
        for href in re.findall(r"<D:href>([^<]*)</D:href>", self.request_body):
            plain = unquote(re.sub(r"^https?://[^/]*", "", href))
            name = plain.rsplit("/", 1)[-1][:-len(".vcf")]
            parts.append(response(plain, '<D:getetag>"1"</D:getetag><C:address-data>%s</C:address-data>'
                                         % card(name)))
        self.multistatus(parts)


# The other port is bound first: once the first accepts connections, both do.
servers = [ThreadingHTTPServer(("127.0.0.1", port), Handler) for port in (OTHER_PORT, PORT)]
for server in servers:
    server.daemon_threads = True
    server.handle_error = lambda request, address: None  # a client that hangs up is expected
threading.Thread(target=servers[0].serve_forever, daemon=True).start()
servers[1].serve_forever()
