#!/usr/bin/env python3
"""How many connections, and how long, a CardDAV export of many cards takes.

Serves an address-book home with one book of N generated cards (10,000 by
default) from a server of its own on 127.0.0.1 that keeps HTTP/1.1
connections alive, as most servers behind a real web server do, and counts
the connections it accepts and the requests it answers. Each PROGRAM given
exports the book once; for each the script prints its exit code, the
connections, the requests, the wall time and a digest of the CSV, then
whether every program wrote the same bytes.

With --connect-delay MS the server waits MS milliseconds before it reads
the first request of each new connection, standing in for what a new
connection costs over a real network (TCP and TLS handshakes: two or three
round trips). On 127.0.0.1 without TLS a connection costs next to nothing.

With --radicale the book is served by Radicale (started here, stopped by its
process ID) instead, with a login from a netrc file: Radicale's own server
closes every connection after its answer, so this compares the programs'
output against a real server rather than their connections. Radicale
takes over a minute to answer the first listing of 10,000 cards (it builds
its cache), longer than the program's pace allows: use 2,000 or so.

  bench/carddav_connections.py [--cards N] [--connect-delay MS] [--radicale] PROGRAM...
"""
import argparse
import hashlib
import html
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

SYSTEM_PYTHON = "/usr/bin/python3"  # the one with Debian's Radicale
USER, PASSWORD = "alice", "bench-Pa55"


def card(n):
    return (
        "BEGIN:VCARD\r\nVERSION:3.0\r\n"
        f"UID:bench-{n:05d}\r\n"
        f"FN:Person {n}\r\nN:Person;{n};;;\r\n"
        f"ORG:Company {n % 97}\r\n"
        f"EMAIL;TYPE=INTERNET:person{n}@example.com\r\n"
        f"TEL;TYPE=WORK:+81-3-{n % 10000:04d}-{n % 7919:04d}\r\n"
        f"ADR;TYPE=WORK:;;{n} Main Street;Tokyo;;100-{n % 1000:04d};Japan\r\n"
        f"NOTE:card number {n}\\, \u9023\u7d61\u5148\r\n"
        "END:VCARD\r\n"
    )


def propstat(props):
    return (f"<D:propstat><D:prop>{props}</D:prop>"
            "<D:status>HTTP/1.1 200 OK</D:status></D:propstat>")


def response(href, props):
    return f"<D:response><D:href>{html.escape(href)}</D:href>{propstat(props)}</D:response>"


def multistatus(responses):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">'
            + "".join(responses) + "</D:multistatus>").encode()


class Book:
    """The home /dav/ and its one book /dav/contacts/ of `count` cards."""

    def __init__(self, count):
        self.cards = {f"/dav/contacts/{n:05d}.vcf": card(n) for n in range(count)}

    def propfind(self, path, depth):
        home = "<D:resourcetype><D:collection/></D:resourcetype><C:addressbook-home-set><D:href>/dav/</D:href></C:addressbook-home-set>"
        book = "<D:resourcetype><D:collection/><C:addressbook/></D:resourcetype><D:displayname>Contacts</D:displayname>"
        if path == "/dav/":
            answers = [response("/dav/", home)]
            if depth == "1":
                answers.append(response("/dav/contacts/", book))
            return multistatus(answers)
        if path == "/dav/contacts/":
            answers = [response("/dav/contacts/", book)]
            if depth == "1":
                answers += [response(href, f'<D:resourcetype/><D:getetag>"{href}"</D:getetag>') for href in self.cards]
            return multistatus(answers)
        return None

    def multiget(self, body):
        answers = []
        for href in re.findall(r"<D:href>([^<]*)</D:href>", body):
            href = html.unescape(href)
            data = html.escape(self.cards[href])
            answers.append(response(href, f'<D:getetag>"{href}"</D:getetag><C:address-data>{data}</C:address-data>'))
        return multistatus(answers)


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.connections = 0
        self.requests = 0


def serve(book, counts, delay):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"  # connections stay open between requests

        def setup(self):
            super().setup()
            with counts.lock:
                counts.connections += 1
            time.sleep(delay)

        def log_message(self, *args):
            pass

        def answer(self, body):
            with counts.lock:
                counts.requests += 1
            if body is None:
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(207)
            self.send_header("Content-Type", "application/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def body(self):
            return self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode()

        def do_PROPFIND(self):
            self.body()
            self.answer(book.propfind(self.path, self.headers.get("Depth", "0")))

        def do_REPORT(self):
            self.answer(book.multiget(self.body()))

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_radicale(work, count):
    """Radicale with the cards written straight into its storage; its process."""
    book = work / "server/collections/collection-root" / USER / "contacts"
    book.mkdir(parents=True)
    (book / ".Radicale.props").write_text(json.dumps({"tag": "VADDRESSBOOK", "D:displayname": "Contacts"}))
    for n in range(count):
        (book / f"{n:05d}.vcf").write_bytes(card(n).encode())
    port = free_port()
    (work / "server/users").write_text(f"{USER}:{PASSWORD}\n")
    (work / "server/config").write_text(
        f"[server]\nhosts = 127.0.0.1:{port}\n[auth]\ntype = htpasswd\n"
        f"htpasswd_filename = {work}/server/users\nhtpasswd_encryption = plain\n"
        f"[storage]\nfilesystem_folder = {work}/server/collections\n[logging]\nlevel = warning\n")
    process = subprocess.Popen([SYSTEM_PYTHON, "-m", "radicale", "--config", str(work / "server/config")])
    for _ in range(300):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process, f"http://127.0.0.1:{port}/{USER}/"
        except OSError:
            time.sleep(0.05)
    process.kill()
    sys.exit("Radicale did not start")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("programs", nargs="+", metavar="PROGRAM")
    parser.add_argument("--cards", type=int, default=10000)
    parser.add_argument("--connect-delay", type=float, default=0, metavar="MS")
    parser.add_argument("--radicale", action="store_true")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        counts = Counts()
        radicale = server = None
        if args.radicale:
            radicale, url = start_radicale(work, args.cards)
        else:
            server = serve(Book(args.cards), counts, args.connect_delay / 1000)
            url = f"http://127.0.0.1:{server.server_address[1]}/dav/"
        try:
            (work / "profile").mkdir()
            (work / "profile/bench.carddav").write_text(f"url = {url}\n")
            (work / "netrc").write_text(f"machine 127.0.0.1 login {USER} password {PASSWORD}\n")
            env = dict(os.environ, CONTACT_EXPORT_PROFILE=str(work / "profile"), NETRC=str(work / "netrc"))
            where = "Radicale" if args.radicale else f"a keep-alive server, {args.connect_delay:g} ms a new connection"
            print(f"{args.cards} cards from {where} at {url}")
            print(f"{'exit':>4} {'connections':>11} {'requests':>8} {'seconds':>7}  {'csv sha256':16}  program")
            digests = set()
            for program in args.programs:
                output = work / "out.csv"
                output.unlink(missing_ok=True)
                with counts.lock:
                    counts.connections = counts.requests = 0
                start = time.monotonic()
                code = subprocess.run([program, str(output)], env=env, stdin=subprocess.DEVNULL).returncode
                seconds = time.monotonic() - start
                digest = hashlib.sha256(output.read_bytes()).hexdigest() if output.exists() else "(none)"
                digests.add(digest)
                connections = "-" if args.radicale else counts.connections
                requests = "-" if args.radicale else counts.requests
                print(f"{code:>4} {connections:>11} {requests:>8} {seconds:>7.2f}  {digest[:16]}  {program}")
            print("same output from every program" if len(digests) == 1 else "OUTPUTS DIFFER")
            return 0 if len(digests) == 1 else 1
        finally:
            if server:
                server.shutdown()
            if radicale:
                radicale.terminate()
                radicale.wait()


if __name__ == "__main__":
    sys.exit(main())
