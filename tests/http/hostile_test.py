"""`z418kt http` against hostile and broken clients on real sockets: header
floods, slowloris, pipelining, request smuggling shapes, log injection,
bodies without or beyond their length, throttled tokens and rates, plus the
operations surface (/healthz, /readyz, /metrics, unix sockets, IPv6, TLS).
usage: hostile_test.py Z418KT_BINARY [POSTGRESQL_STATE_DIR]; with the
PostgreSQL test server's folder, only the readiness of a database that goes
away and comes back runs, on PostgreSQL."""

import json
import os
import re
import resource
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import server_fixture  # noqa: E402
from server_fixture import TOKEN, Server, demo_database  # noqa: E402

BINARY = None
AUTH = "Authorization: Bearer %s\r\n" % TOKEN


def connect(server):
    return socket.create_connection(("127.0.0.1", server.port), timeout=10)


def exchange(server, data, wait=10):
    """Sends raw bytes on a new connection; everything the server answers
    until it closes (or `wait` seconds pass)."""
    with connect(server) as s:
        s.sendall(data)
        return read_all(s, wait)


def read_all(s, wait=10):
    s.settimeout(wait)
    got = b""
    try:
        while chunk := s.recv(65536):
            got += chunk
    except (socket.timeout, ConnectionResetError):
        pass
    return got


def statuses(answer):
    return [int(m) for m in re.findall(rb"HTTP/1\.1 (\d{3}) ", answer)]


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1)) / 1024


def get(path, extra=""):
    return ("GET %s HTTP/1.1\r\nHost: x\r\n%s%s\r\n" % (path, AUTH, extra)).encode()


class Forwarder:
    """A TCP relay on loopback to `port`, which the test can cut (every
    connection closed, no new one taken) and restore: a database that goes
    away and comes back."""

    def __init__(self, port):
        self.target, self.sockets, self.listener = port, [], None
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()

    def start(self):
        self.listener = socket.create_server(("127.0.0.1", self.port))
        threading.Thread(target=self._accept, args=(self.listener,), daemon=True).start()

    def cut(self):
        for s in [self.listener] + self.sockets:  # shutdown wakes a blocked accept
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        self.sockets = []

    def _accept(self, listener):
        while True:
            try:
                client, _ = listener.accept()
            except OSError:
                return
            upstream = socket.create_connection(("127.0.0.1", self.target))
            self.sockets += [client, upstream]
            for a, b in ((client, upstream), (upstream, client)):
                threading.Thread(target=self._pump, args=(a, b), daemon=True).start()

    @staticmethod
    def _pump(a, b):
        try:
            while data := a.recv(65536):
                b.sendall(data)
        except OSError:
            pass
        try:
            b.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Hostile(unittest.TestCase):
    def test_header_flood_is_cut_off_with_memory_bounded(self):
        with Server(BINARY) as server:
            self.assertEqual(statuses(exchange(server, get("/healthz"), 1)), [200])
            idle = rss_mb(server.process.pid)
            line = b"X-Hn: " + b"a" * 80 + b"\r\n"
            for _ in range(20):  # 20 connections, each trying to send 20 MB of headers
                with connect(server) as s:
                    s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
                    try:
                        for _ in range(20 * 1024 * 1024 // (len(line) * 1000)):
                            s.sendall(line * 1000)
                    except (BrokenPipeError, ConnectionResetError):
                        pass
                    self.assertIn(431, statuses(read_all(s, 5)))
            # The product build idles at about 20 MB: it stays under 100 MB. (A
            # sanitizer build idles higher, hence the growth is what is checked.)
            self.assertLess(rss_mb(server.process.pid) - idle, 80)
            with connect(server) as s:  # and too many short headers
                s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n" + b"A: b\r\n" * 200 + b"\r\n")
                self.assertEqual(statuses(read_all(s)), [431])
            self.assertEqual(statuses(exchange(server, get("/healthz"), 1)), [200])

    def test_slowloris_leaves_a_normal_client_served(self):
        with Server(BINARY, extra=["--head-timeout", "3"]) as server:
            def timed_get(c):
                start = time.monotonic()
                c.sendall(get("/v1/coletas/100"))
                answer = b""
                while b"}" not in answer:
                    answer += c.recv(65536)
                self.assertEqual(statuses(answer), [200])
                return time.monotonic() - start

            with connect(server) as c:  # the same GET on a quiet server, for comparison
                quiet = sorted(timed_get(c) for _ in range(5))[2]
            slow = [connect(server) for _ in range(500)]
            for s in slow:
                s.sendall(b"GET /v1/coletas/100 HTTP/1.1\r\n")
            times = []
            with connect(server) as c:
                for i in range(10):
                    for s in slow[i * 50:(i + 1) * 50]:  # a header line now and then
                        s.sendall(b"X-Slow: 1\r\n")
                    times.append(timed_get(c))
                    time.sleep(0.1)
            # Under 100 ms, or about what it takes on a quiet server when the
            # machine itself is slower than that (a sanitizer build, a busy CI).
            self.assertLess(sorted(times)[len(times) // 2], max(0.1, 2 * quiet + 0.02),
                            (quiet, times))
            # The head deadline ends them all: 408, then closed.
            time.sleep(3)
            answers = [read_all(s, 5) for s in slow[:20]]
            for s in slow:
                s.close()
            self.assertEqual({tuple(statuses(a)) for a in answers}, {(408,)})

    def test_pipelined_requests_are_answered_in_order(self):
        with Server(BINARY) as server:
            paths = ["/v1/coletas/100", "/v1/pessoas/11", "/healthz", "/v1/coletas/100"]
            with connect(server) as s:
                s.sendall(b"".join(get(p) for p in paths[:-1]) +
                          get(paths[-1], "Connection: close\r\n"))
                answer = read_all(s)
            self.assertEqual(statuses(answer), [200] * 4)
            bodies = re.findall(rb"\r\n\r\n(\{.*?\})(?=HTTP/1\.1|$)", answer, re.S)
            self.assertIn(b'"id":100', bodies[0])
            self.assertIn(b'"status":"ok"', bodies[2])
            self.assertEqual(bodies[0], bodies[3])
            # A connection that showed the right token is asked for it again on
            # every request: a wrong one of the same length, or none, is refused.
            wrong = get("/v1/pessoas/11").replace(TOKEN.encode(), TOKEN[::-1].encode())
            with connect(server) as s:
                s.sendall(get("/v1/pessoas/11") + wrong + b"GET /healthz HTTP/1.1\r\nHost: x\r\n"
                          b"\r\nGET /v1/pessoas/11 HTTP/1.1\r\nHost: x\r\n\r\n" +
                          get("/v1/pessoas/11", "Connection: close\r\n"))
                self.assertEqual(statuses(read_all(s)), [200, 401, 200, 401, 200])

    def test_smuggling_shapes_and_protocol_faults_get_400_and_close(self):
        shapes = {
            "two lengths": "Content-Length: 2\r\nContent-Length: 3\r\n",
            "chunked and length": "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n",
            "length and chunked": "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n",
            "coding not chunked": "Transfer-Encoding: gzip\r\n",
            "chunked not last": "Transfer-Encoding: chunked, identity\r\n",
            "space before colon": "Content-Length : 3\r\n",
            "signed length": "Content-Length: +3\r\n",
            "two hosts": "Host: y\r\n",
        }
        with Server(BINARY) as server:
            for name, headers in shapes.items():
                with self.subTest(name):
                    request = ("POST /v1/coletas HTTP/1.1\r\nHost: x\r\n%s%s\r\n{}}"
                               % (AUTH, headers)).encode()
                    self.assertEqual(statuses(exchange(server, request)), [400])
            for name, request in {
                    "no host": b"GET /healthz HTTP/1.1\r\n\r\n",
                    "chunked on 1.0": b"POST /v1/coletas HTTP/1.0\r\nTransfer-Encoding: chunked"
                                      b"\r\n\r\n0\r\n\r\n",
                    "not http": b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n"}.items():
                with self.subTest(name):
                    self.assertEqual(statuses(exchange(server, request)), [400])

            # A method the resource does not have: 405 with what it has.
            answer = exchange(server, get("/v1/pessoas/11").replace(b"GET", b"DELETE", 1), 1)
            self.assertEqual(statuses(answer), [405])
            self.assertIn(b"\r\nAllow: GET, HEAD\r\n", answer)
            # A POST without a body is answered at once (empty body: not JSON).
            start = time.monotonic()
            answer = exchange(server, ("POST /v1/coletas HTTP/1.1\r\nHost: x\r\n%s"
                                       "Connection: close\r\n\r\n" % AUTH).encode())
            self.assertEqual(statuses(answer), [400])
            # A body announced beyond the limit: 413 at once, nothing read.
            answer = exchange(server, ("POST /v1/coletas HTTP/1.1\r\nHost: x\r\n%s"
                                       "Content-Length: 1000000000\r\n\r\n{" % AUTH).encode())
            self.assertEqual(statuses(answer), [413])
            self.assertLess(time.monotonic() - start, 2)
            # A chunked body beyond the limit is cut off too.
            with connect(server) as s:
                s.sendall(("POST /v1/coletas HTTP/1.1\r\nHost: x\r\n%sTransfer-Encoding: "
                           "chunked\r\n\r\n" % AUTH).encode())
                try:
                    for _ in range(300):
                        s.sendall(b"2000\r\n" + b" " * 0x2000 + b"\r\n")
                except (BrokenPipeError, ConnectionResetError):
                    pass
                self.assertEqual(statuses(read_all(s)), [413])

    def test_deadlines_close_slow_and_idle_connections(self):
        with Server(BINARY, extra=["--body-timeout", "1", "--keep-alive", "1"]) as server:
            with connect(server) as s:  # a body that stops half-way
                s.sendall(("POST /v1/coletas HTTP/1.1\r\nHost: x\r\n%sContent-Length: 10\r\n"
                           "\r\n{" % AUTH).encode())
                start = time.monotonic()
                self.assertEqual(statuses(read_all(s)), [408])
                self.assertLess(time.monotonic() - start, 3)
            with connect(server) as s:  # kept alive, then idle: closed without a word
                s.sendall(get("/healthz"))
                start = time.monotonic()
                self.assertEqual(statuses(read_all(s)), [200])
                self.assertLess(time.monotonic() - start, 3)

    def test_log_lines_are_json_with_every_field_escaped(self):
        with Server(BINARY) as server:
            answer = exchange(server, get("/v1/coletas/100%0d%0aX-Injected:%201%00", "X-Request-Id:"
                                          " forged\"id\r\nConnection: close\r\n"))
            self.assertEqual(statuses(answer), [404])
            self.assertNotIn(b"forged", answer)
            answer = exchange(server, get("/healthz", "X-Request-Id: abc-123\r\n"
                                          "Connection: close\r\n"))
            self.assertIn(b"\r\nX-Request-Id: abc-123\r\n", answer)
            server.stop()
            lines = server.log().splitlines()
        entries = [json.loads(line) for line in lines]  # every line is one JSON object
        injected = next(e for e in entries if e.get("path", "").startswith("/v1/coletas/100%"))
        self.assertEqual(injected["path"], "/v1/coletas/100%0d%0aX-Injected:%201%00")
        self.assertEqual(injected["client"], "127.0.0.1")
        self.assertRegex(injected["request_id"], "^[0-9a-f]{16}$")
        self.assertFalse(any(line.startswith("X-Injected") for line in lines))
        self.assertTrue(any(e.get("request_id") == "abc-123" for e in entries))
        self.assertNotIn(TOKEN, "\n".join(lines))

    def test_tokens_rates_and_connections_are_limited_per_client(self):
        extra = ["--rate", "5", "--failed-tokens", "5", "--trust-proxy",
                 "--max-connections-per-client", "4"]
        with Server(BINARY, extra=extra) as server:
            def status(token, forwarded="10.0.0.1"):
                request = ("GET /v1/pessoas/11 HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s\r\n"
                           "X-Forwarded-For: 6.6.6.6, %s\r\nConnection: close\r\n\r\n"
                           % (token, forwarded)).encode()
                answer = exchange(server, request)
                return statuses(answer)[0], answer

            got = [status("errado" * i, "10.0.0.9")[0] for i in range(1, 8)]
            self.assertEqual(got, [401] * 5 + [429] * 2)
            code, answer = status(TOKEN, "10.0.0.9")  # throttled: not even compared
            self.assertEqual(code, 429)
            self.assertRegex(answer, rb"\r\nRetry-After: \d+\r\n")
            # Five a second per client, whatever the connection; another client is not held.
            self.assertIn(429, [status(TOKEN)[0] for _ in range(8)])
            self.assertEqual(status(TOKEN, "10.0.0.2")[0], 200)

            # Four connections held, each answered once so the server has surely
            # counted it. Connections are admitted and let go on their own threads, so
            # one closed a moment ago may still count: a refused one is tried again.
            def held_connection():
                for _ in range(50):
                    s = connect(server)
                    s.sendall(get("/healthz"))
                    s.settimeout(10)
                    head = b""
                    while b"\r\n\r\n" not in head:
                        chunk = s.recv(4096)
                        if not chunk:
                            break
                        head += chunk
                    if statuses(head) == [200]:
                        return s
                    s.close()
                    time.sleep(0.05)
                self.fail("a connection under the limit was never admitted")

            held = [held_connection() for _ in range(4)]
            self.assertEqual(statuses(exchange(server, get("/healthz"))), [503])
            for s in held:
                s.close()

    def test_health_readiness_and_metrics(self):
        from prometheus_client.parser import text_string_to_metric_families
        with tempfile.TemporaryDirectory() as folder:
            db = "Provider=SQLite;Data Source=%s/late.db" % folder
            # No webhook delivery: nothing but the requests below takes a database session.
            with Server(BINARY, db=db, extra=("--no-deliver",)) as server:
                self.assertIn("não responde", server.log())  # said at start
                answer = exchange(server, b"GET /readyz HTTP/1.1\r\nHost: x\r\n\r\n", 1)
                self.assertEqual(statuses(answer), [503])
                self.assertIn(b'"reason"', answer)
                subprocess.run([BINARY, "init", "--db", db], check=True,
                               stdout=subprocess.DEVNULL)
                answer = exchange(server, b"GET /readyz HTTP/1.1\r\nHost: x\r\n\r\n", 1)
                self.assertEqual(statuses(answer), [200])
                self.assertEqual(statuses(exchange(server, b"GET /healthz HTTP/1.1\r\n"
                                                   b"Host: x\r\n\r\n", 1)), [200])
                self.assertEqual(statuses(exchange(server, b"GET /metrics HTTP/1.1\r\n"
                                                   b"Host: x\r\n\r\n", 1)), [401])
                read = exchange(server, get("/v1/coletas/100", "Connection: close\r\n"))
                self.assertEqual(statuses(read), [404])  # a database read, of no Coleta
                answer = exchange(server, get("/metrics", "Connection: close\r\n"))
        text = answer.split(b"\r\n\r\n", 1)[1].decode()
        families = {f.name: f for f in text_string_to_metric_families(text)}
        requests = families["z418kt_http_requests"].samples
        self.assertTrue(any(s.labels == {"route": "/readyz", "method": "GET", "status": "503"}
                            for s in requests))
        self.assertIn("z418kt_http_request_duration_seconds", families)
        self.assertGreaterEqual(families["z418kt_http_connections_open"].samples[0].value, 1)
        failures = {s.labels["class"]: s.value
                    for s in families["z418kt_database_failures"].samples}
        self.assertGreaterEqual(failures["unavailable"], 1)
        self.assertEqual(families["z418kt_build_info"].samples[0].value, 1)
        # The read's session went back to the pool: open, idle, none lent.
        self.assertGreaterEqual(families["z418kt_database_sessions_idle"].samples[0].value, 1)
        self.assertEqual(families["z418kt_database_sessions_in_use"].samples[0].value, 0)

    def test_readiness_follows_a_database_that_goes_away(self):
        if not server_fixture.postgresql:
            self.skipTest("runs on the PostgreSQL test server")
        with demo_database(BINARY) as (db, _):
            port = int(re.search(r"Port=(\d+)", db).group(1))
            relay = Forwarder(port)
            relay.start()
            db = re.sub(r"Port=\d+", "Port=%d" % relay.port, db)
            ready = b"GET /readyz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
            coleta = get("/v1/coletas/100", "Connection: close\r\n")
            with Server(BINARY, db=db) as server:
                self.assertEqual(statuses(exchange(server, ready)), [200])
                self.assertEqual(statuses(exchange(server, coleta)), [200])
                relay.cut()
                answer = exchange(server, ready)
                self.assertEqual(statuses(answer), [503])
                self.assertIn(b'"reason"', answer)
                self.assertEqual(statuses(exchange(server, coleta)), [503])
                relay.start()
                self.assertEqual(statuses(exchange(server, ready)), [200])

    def test_unix_socket_ipv6_and_tls_listeners(self):
        with tempfile.TemporaryDirectory() as folder:
            path = folder + "/http.sock"
            with Server(BINARY, extra=["--listen", "unix:" + path]) as server:
                self.assertEqual(server.url, "unix:" + path)
                with socket.socket(socket.AF_UNIX) as s:
                    s.connect(path)
                    s.sendall(get("/v1/pessoas/11", "Connection: close\r\n"))
                    self.assertEqual(statuses(read_all(s)), [200])
            self.assertFalse(os.path.exists(path))  # removed at the stop

            if socket.has_ipv6:
                with Server(BINARY, extra=["--listen", "[::1]:0"]) as server:
                    self.assertRegex(server.url, r"^http://\[::1\]:\d+/$")

            cert, key = folder + "/cert.pem", folder + "/key.pem"
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj",
                            "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                            "-keyout", key, "-out", cert], check=True, capture_output=True)
            with Server(BINARY, extra=["--tls-cert", cert, "--tls-key", key]) as server:
                self.assertRegex(server.url, r"^https://127\.0\.0\.1:\d+/$")
                context = ssl.create_default_context(cafile=cert)
                with context.wrap_socket(connect(server), server_hostname="127.0.0.1") as s:
                    s.sendall(get("/v1/coletas/100", "Accept: application/ld+json\r\n"
                                  "Connection: close\r\n"))
                    answer = read_all(s)
                self.assertEqual(statuses(answer), [200])
                self.assertIn(b"https://", answer)  # the export's identifiers follow the scheme
                # Plain HTTP on the TLS port gets no HTTP answer.
                self.assertNotIn(b"HTTP/1.1", exchange(server, get("/healthz"), 2))


if __name__ == "__main__":
    BINARY = sys.argv[1]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
    tests = [sys.argv[0], "-v"]
    if len(sys.argv) > 2:
        with open(sys.argv[2] + "/connection.txt") as f:
            server_fixture.postgresql = f.read().strip()
        tests += ["Hostile.test_readiness_follows_a_database_that_goes_away"]
    result = unittest.main(argv=tests, exit=False).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
