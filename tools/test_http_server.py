#!/usr/bin/env python3
"""A scriptable HTTP server for the download tests (loopback only).

Serves a folder and, per path, misbehaves on request: error answers, chunked
or close-delimited bodies, bodies cut short, silence, stalls, slow trickles.
Every connection and request is logged as one JSON line. It writes a ready
file once it listens, and ends on SIGTERM or after its lifetime at the latest,
so a test that dies cannot leave it running for long.

    test_http_server.py --bind 127.0.0.11 --port 80 --root DIR --log FILE
                        --ready FILE [--pid-file FILE] [--lifetime SECONDS]
                        [--rules FILE] [--rule PATH JSON]... [--drop-syns]

Rules map a path (or "*" for every other path) to a behaviour:

    {"/programy/setup_sys.cab": {"mode": "status", "status": 404},
     "/programy/sys/setup_sys.cab": {"mode": "stall", "after": 5000}}

A list of rules gives the n-th request of the path the n-th rule, and every
later request the last one.

Modes (the body is "body" as text, else "size" bytes of the pattern
(i + "shift") % 251, else the file under the root; a missing file answers
404):
    file      the body with Content-Length (the default)
    status    "status" (default 404) with the body, or a small HTML page;
              "length": false leaves Content-Length out (close-delimited)
    chunked   the body in chunks of "chunk" bytes, no Content-Length; with
              "send" it closes mid-chunk after that many bytes
    close     the body without Content-Length, ended by closing
    short     announces "announce" bytes (default: the body's length),
              sends "send" bytes (default: half), then closes
    silent    reads the request and never answers
    stall     announces the whole body, sends "after" bytes, then hangs
    reset     announces the whole body, sends "after" bytes, then resets
              the connection (RST)
    trickle   announces the whole body, sends "step" bytes every
              "interval" seconds
"status" and "headers" (a JSON object) apply to every answering mode, and
"delay" (milliseconds) holds the answer back that long after the request.
"times" limits a rule to the first N requests of its path; later ones get
the plain body, with the rule's "headers". A plain file, chunked, stall or
trickle answer honours "Range: bytes=N-" with 206 and a Content-Range,
unless the rule says "range": false (then 200 and the whole body); with
"cap" the 206 carries at most that many bytes, a range starting at or past
the end gets 416, and an "If-Range" that matches neither the answer's ETag
nor its Last-Modified gets the whole body, unless "ifrange": false (a cache
that ignores it). "unit" replaces the Content-Range's "bytes" and "total"
its total (a text: "*", zeros in front); "over" adds that many bytes past a
chunked range.

--drop-syns listens with a backlog of 0 and fills the accept queue with a
connection of its own that it never accepts: Linux then drops every further
SYN, as a dead host behind a firewall would. Nothing is ever answered.
"""

import argparse
import http.server
import json
import os
import select
import signal
import socket
import struct
import sys
import threading
import time

MAX_LIFETIME = 900
LOOPBACK_PREFIX = "127."


class Log:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="ascii")

    def write(self, record):
        record["time"] = round(time.time(), 3)
        line = json.dumps(record, ensure_ascii=True, sort_keys=False)
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()


def pattern(size, shift=0):
    return bytes((i + shift) % 251 for i in range(size))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VarnelTest/1"
    sys_version = ""

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def do_POST(self):
        self.answer(send_body=True)

    def answer(self, send_body):
        server = self.server
        path = self.path.split("?", 1)[0]
        server.log.write({
            "event": "request",
            "client": self.client_address[0],
            "method": self.command,
            "path": self.path,
            "version": self.request_version,
            "user_agent": self.headers.get("User-Agent", ""),
            "headers": [[name, value] for name, value in self.headers.items()],
        })
        rule = server.rules.get(path, server.rules.get("*", {}))
        with server.lock:
            server.seen[path] = server.seen.get(path, 0) + 1
            if isinstance(rule, list):
                rule = rule[min(server.seen[path], len(rule)) - 1]
            if "times" in rule and server.seen[path] > int(rule["times"]):
                rule = {key: rule[key] for key in ("body", "size", "shift", "range", "headers")
                        if key in rule}
        mode = rule.get("mode", "file")
        try:
            time.sleep(int(rule.get("delay", 0)) / 1000.0)
            if mode == "silent":
                self.hang()
                return
            body, found = self.body_for(path, rule)
            status = rule.get("status", 200 if found else 404)
            if mode == "status":
                status = rule.get("status", 404)
            elif not found:
                mode = "status"
            getattr(self, "send_" + mode)(status, body, rule, send_body)
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            pass
        finally:
            self.close_connection = True

    def body_for(self, path, rule):
        if "body" in rule:
            return rule["body"].encode("utf-8"), True
        if "size" in rule:
            return pattern(int(rule["size"]), int(rule.get("shift", 0))), True
        relative = path.lstrip("/")
        full = os.path.realpath(os.path.join(self.server.root, relative))
        if not full.startswith(self.server.root + os.sep) or not os.path.isfile(full):
            page = ("<html><head><title>404 Not Found</title></head><body>"
                    "<h1>Not Found</h1><p>%s</p></body></html>\n" % path)
            return page.encode("ascii", "replace"), False
        with open(full, "rb") as source:
            return source.read(), True

    def head(self, status, rule, length=None, extra=()):
        self.send_response_only(status)
        self.send_header("Content-Type", rule.get("type", "application/octet-stream"))
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        for name, value in rule.get("headers", {}).items():
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()

    def ranged(self, status, body, rule):
        """The answer to a "Range: bytes=N-" request: 206 with the rest of
        the body (or "cap" bytes of it), 416 for a range past its end, or
        the whole body as asked when there is none."""
        wanted = self.headers.get("Range", "")
        if not (status == 200 and rule.get("range", True) and wanted.startswith("bytes=")
                and wanted.endswith("-") and wanted[6:-1].isdigit()):
            return status, body, []
        validator = self.headers.get("If-Range")
        headers = rule.get("headers", {})
        if rule.get("ifrange", True) and validator is not None and validator not in (
                headers.get("ETag"), headers.get("Last-Modified")):
            return status, body, []
        first = int(wanted[6:-1])
        if first >= len(body):
            return 416, b"", [("Content-Range", "bytes */%d" % len(body))]
        last = min(len(body), first + int(rule.get("cap", len(body)))) - 1
        return 206, body[first:last + 1], [
            ("Content-Range", "%s %d-%d/%s" % (rule.get("unit", "bytes"), first, last,
                                               rule.get("total", len(body))))]

    def send_file(self, status, body, rule, send_body):
        status, body, extra = self.ranged(status, body, rule)
        self.head(status, rule, len(body), extra)
        if send_body:
            self.wfile.write(body)

    def send_status(self, status, body, rule, send_body):
        rule = dict(rule)
        rule.setdefault("type", "text/html")
        length = len(body) if rule.get("length", True) else None
        self.head(status, rule, length)
        if send_body:
            self.wfile.write(body)

    def send_chunked(self, status, body, rule, send_body):
        status, body, extra = self.ranged(status, body, rule)
        if status == 206:
            body += b"x" * int(rule.get("over", 0))
        self.head(status, rule, None, extra + [("Transfer-Encoding", "chunked")])
        if not send_body:
            return
        step = max(1, int(rule.get("chunk", 1000)))
        cut = int(rule.get("send", len(body)))
        for at in range(0, len(body), step):
            piece = body[at:at + step]
            if at + len(piece) > cut:
                self.wfile.write(b"%x\r\n%s" % (len(piece), piece[:cut - at]))
                return
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def send_close(self, status, body, rule, send_body):
        self.head(status, rule, None)
        if send_body:
            self.wfile.write(body)

    def send_short(self, status, body, rule, send_body):
        announced = int(rule.get("announce", len(body)))
        sent = int(rule.get("send", len(body) // 2))
        self.head(status, rule, announced)
        if send_body:
            self.wfile.write(body[:sent])

    def send_stall(self, status, body, rule, send_body):
        status, body, extra = self.ranged(status, body, rule)
        self.head(status, rule, len(body), extra)
        if send_body:
            self.wfile.write(body[:int(rule.get("after", 0))])
            self.wfile.flush()
            self.hang()

    def send_reset(self, status, body, rule, send_body):
        self.head(status, rule, len(body))
        if send_body:
            self.wfile.write(body[:int(rule.get("after", 0))])
            self.wfile.flush()
            time.sleep(0.2)
            # A zero linger time turns the close into a reset.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()

    def send_trickle(self, status, body, rule, send_body):
        status, body, extra = self.ranged(status, body, rule)
        self.head(status, rule, len(body), extra)
        if not send_body:
            return
        step = max(1, int(rule.get("step", 3)))
        interval = float(rule.get("interval", 1.0))
        for at in range(0, len(body), step):
            self.wfile.write(body[at:at + step])
            self.wfile.flush()
            if at + step < len(body):
                time.sleep(interval)

    def hang(self):
        """Keeps the connection open and silent until the client goes away."""
        self.wfile.flush()
        connection = self.connection
        while True:
            readable, _, _ = select.select([connection], [], [], 0.5)
            if readable:
                try:
                    if not connection.recv(4096):
                        break
                except OSError:
                    break
        self.server.log.write({"event": "client-closed", "client": self.client_address[0]})


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def verify_request(self, request, client_address):
        self.log.write({"event": "connect", "client": client_address[0]})
        return True


def drop_syns(address, port, log):
    """Listens without ever accepting, with the accept queue kept full."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(0)
    fillers = []
    # Backlog 0 still queues one connection; keep connecting until a connect
    # goes unanswered, which proves that SYNs are being dropped.
    for _ in range(8):
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        probe.settimeout(0.3)
        try:
            probe.connect((address, port))
        except (socket.timeout, OSError):
            probe.close()
            log.write({"event": "dropping-syns", "queued": len(fillers)})
            return listener, fillers
        fillers.append(probe)
    raise SystemExit("the accept queue never filled")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bind", required=True)
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--root", default=".")
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--pid-file")
    parser.add_argument("--lifetime", type=float, default=300.0)
    parser.add_argument("--rules")
    parser.add_argument("--rule", nargs=2, action="append", default=[], metavar=("PATH", "JSON"))
    parser.add_argument("--drop-syns", action="store_true")
    options = parser.parse_args()

    if not options.bind.startswith(LOOPBACK_PREFIX):
        parser.error("only loopback addresses (127.0.0.0/8) are served")
    lifetime = max(1.0, min(options.lifetime, MAX_LIFETIME))

    rules = {}
    if options.rules:
        with open(options.rules, encoding="utf-8") as source:
            rules.update(json.load(source))
    for path, text in options.rule:
        rules[path] = json.loads(text)

    log = Log(options.log)
    stop = threading.Event()
    # Started from Wine, the process inherits a mask that blocks SIGTERM;
    # the threads started below inherit the unblocked one.
    signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGTERM, signal.SIGINT})
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    if options.drop_syns:
        held = drop_syns(options.bind, options.port, log)  # noqa: F841 - kept open
    else:
        server = Server((options.bind, options.port), Handler)
        server.root = os.path.realpath(options.root)
        server.rules = rules
        server.log = log
        server.lock = threading.Lock()
        server.seen = {}
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                         daemon=True).start()

    if options.pid_file:
        with open(options.pid_file + ".tmp", "w") as out:
            out.write("%d\n" % os.getpid())
        os.replace(options.pid_file + ".tmp", options.pid_file)
    with open(options.ready + ".tmp", "w") as out:
        out.write("%s:%d\n" % (options.bind, options.port))
    os.replace(options.ready + ".tmp", options.ready)
    log.write({"event": "ready", "address": options.bind, "port": options.port})

    # Short waits: a signal caught by another thread is seen at the next one.
    deadline = time.monotonic() + lifetime
    while not stop.wait(0.1) and time.monotonic() < deadline:
        pass
    log.write({"event": "exit", "reason": "signal" if stop.is_set() else "lifetime"})
    if options.pid_file:
        try:
            os.remove(options.pid_file)
        except OSError:
            pass
    sys.stdout.flush()
    # Handler threads may sit in a silent connection; they die with the process.
    os._exit(0)


if __name__ == "__main__":
    main()
