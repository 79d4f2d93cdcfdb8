"""Coleta events end to end, through the z418kt command: saves from several
front ends at once leave one event each, in order per Coleta; `z418kt deliver`
sends them signed (checked here with Python's hmac, the Standard Webhooks
way), in order per Coleta, at least once, through a receiver that is down for
a while and through kill -9 at random moments; on PostgreSQL two dispatchers
share the work without sending an event twice.

usage: delivery_test.py Z418KT_BINARY [PG_STATE_DIR|"" [TEST ...]]
Without the PostgreSQL test server's folder everything runs on SQLite; with
it, on PostgreSQL (and the two-dispatcher case runs too). Receivers are small
HTTP servers on loopback; every loop is bounded in count and time."""

import base64
import contextlib
import hashlib
import hmac
import http.client
import http.server
import json
import os
import random
import signal
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "http"))
import server_fixture  # noqa: E402

BINARY = None
POSTGRESQL = None


@contextlib.contextmanager
def database():
    """The connection text of a new demo database (SQLite, or a schema of its
    own on the PostgreSQL test server), removed afterwards."""
    with server_fixture.demo_database(BINARY) as (db, _folder):
        yield db


def run(*args, stdin=None, check=True):
    done = subprocess.run([BINARY] + list(args), input=stdin, capture_output=True, text=True,
                          timeout=300)
    if check and done.returncode != 0:
        raise AssertionError("z418kt %s: %d\n%s%s" % (args[0], done.returncode, done.stdout,
                                                       done.stderr))
    return done.stdout


def save_request(db, coleta, volumes, pieces=1, user=5, oracle=False):
    """A gGrava_Coleta request: Coleta `coleta` (0: a new one) with `volumes`."""
    matrix = {"vt": "ARRAY", "lbounds": [0, 0],
              "items": [[1 + i for i in range(pieces)], [0.5] * pieces, [0.4] * pieces,
                        [0.3] * pieces, [""] * pieces]}
    return {"op": "gGrava_Coleta", "args": {
        "invntConecta_DB": db, "invntUsuario_Internet_ID": user, "invntEmpresa_Id": 1,
        "invntBanco_Dados": "ORACLE" if oracle else "SQLSERVER", "INVNTCLIENTE_ID": 2,
        "invntEND_DESTINATARIO_ID": 11, "invntEND_REMETENTE_ID": 12,
        "invntnum_volume": volumes, "invntpeso_real": "12,5", "invnttxt_embalagem": "Caixas",
        "invntval_declarado": "10", "invntQtde_Linha": pieces, "invntQtde_Coluna": 5,
        "inarrvntMatriz_Dim": matrix, "iovntDOCTO_TRANSPORTE_ID": coleta}}


def serve(requests):
    """Runs the requests through one `z418kt serve`; their answers."""
    out = run("serve", stdin="".join(json.dumps(r) + "\n" for r in requests))
    answers = [json.loads(line) for line in out.splitlines()]
    for a in answers:
        assert a.get("result", {}).get("value") == 0, a
    return answers


def create_coletas(db, n):
    answers = serve([save_request(db, 0, 1) for _ in range(n)])
    return [a["args"]["iovntDOCTO_TRANSPORTE_ID"]["value"] for a in answers]


def history(db, coleta):
    return json.loads(run("coleta", "history", str(coleta), "--json", "--db", db))


def verify_signature(secret, headers, body):
    """The Standard Webhooks check, written from its description."""
    key = base64.b64decode(secret[len("whsec_"):])
    signed = ("%s.%s." % (headers["webhook-id"], headers["webhook-timestamp"])).encode() + body
    expected = base64.b64encode(hmac.new(key, signed, hashlib.sha256).digest()).decode()
    given = headers["webhook-signature"].split(" ")
    fresh = abs(time.time() - int(headers["webhook-timestamp"])) < 300
    return fresh and any(hmac.compare_digest("v1," + expected, g) for g in given)


class Receiver:
    """An HTTP server on a free loopback port that records every POST
    (webhook-id, verified or not, body) and answers 204, or 503 while down."""

    def __init__(self):
        self.received, self.secret, self.down, self.lock = [], None, False, threading.Lock()
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                with receiver.lock:
                    if not receiver.down:
                        receiver.received.append({
                            "id": self.headers["webhook-id"],
                            "verified": verify_signature(receiver.secret, self.headers, body),
                            "type": self.headers["Content-Type"], "body": json.loads(body)})
                    code = 503 if receiver.down else 204
                self.send_response(code)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/hooks" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def subscribe(self, db, *extra):
        answer = json.loads(run("assinatura", "add", self.url, "--json", "--db", db, *extra))
        self.secret = answer["segredo"]
        return answer["id"]

    def ids(self):
        with self.lock:
            return [r["id"] for r in self.received]

    def wait_for(self, count, seconds):
        deadline = time.time() + seconds
        while len(set(self.ids())) < count and time.time() < deadline:
            time.sleep(0.05)
        return len(set(self.ids()))

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def check_order(test, receiver):
    """Every delivery verifies; each Coleta's events first arrive in order;
    a repeat of a webhook-id carries the same event."""
    first, bodies = {}, {}
    for r in receiver.received:
        test.assertTrue(r["verified"], r["id"])
        data = r["body"]["data"]
        if r["id"] in bodies:
            test.assertEqual(bodies[r["id"]], r["body"], "a repeat is the same message")
            continue
        bodies[r["id"]] = r["body"]
        test.assertEqual(r["id"], "evt_%d" % data["sequencia"])
        last = first.get(data["coleta_id"], 0)
        test.assertGreater(data["sequencia"], last, "Coleta %d out of order" % data["coleta_id"])
        first[data["coleta_id"]] = data["sequencia"]
    return bodies


class Events(unittest.TestCase):
    def test_saves_from_several_front_ends_leave_one_event_each_in_order(self):
        with database() as db:
            coletas = create_coletas(db, 10)
            counter = iter(range(2, 10**6))
            lock = threading.Lock()

            def next_save():
                with lock:
                    n = next(counter)
                return coletas[n % len(coletas)], n

            def by_serve(count, oracle):
                reqs = []
                for _ in range(count):
                    c, n = next_save()
                    reqs.append(save_request(db, c, n, pieces=1 + n % 3, oracle=oracle))
                serve(reqs)

            def by_invoke(count):
                for _ in range(count):
                    c, n = next_save()
                    req = save_request(db, c, n)
                    out = json.loads(run("invoke", "gGrava_Coleta", "--args",
                                         json.dumps(req["args"])))
                    self.assertEqual(out["result"]["value"], 0, out)

            def by_command(count):
                for _ in range(count):
                    c, n = next_save()
                    run("coleta", "save", "--id", str(c), "--cliente", "2", "--remetente", "12",
                        "--destinatario", "11", "--volumes", str(n), "--peso", "1,5", "--valor",
                        "3", "--embalagem", "Caixas", "--carga", "1x1x1x1", "--user", "5",
                        "--db", db)

            # 10 creations + 990 saves: two serve processes (one per dialect),
            # invoke processes and the people's command, all at once.
            jobs = [threading.Thread(target=by_serve, args=(450, False)),
                    threading.Thread(target=by_serve, args=(450, True)),
                    threading.Thread(target=by_invoke, args=(60,)),
                    threading.Thread(target=by_command, args=(30,))]
            for j in jobs:
                j.start()
            for j in jobs:
                j.join(timeout=600)
                self.assertFalse(j.is_alive())

            total = 0
            for c in coletas:
                events = history(db, c)
                total += len(events)
                self.assertEqual(events[0]["tipo"], "coleta.criada")
                for before, after in zip(events, events[1:]):
                    self.assertLess(before["sequencia"], after["sequencia"])
                    self.assertEqual(after["antes"], before["depois"], "one change after another")
                    self.assertEqual(after["usuario_id"], "5")
            self.assertEqual(total, 1000)

    def test_deliveries_are_signed_in_order_and_survive_a_receiver_that_is_down(self):
        with database() as db:
            receiver, one_record = Receiver(), Receiver()
            try:
                receiver.subscribe(db)
                one_record.subscribe(db, "--one-record", "--tipo", "coleta.criada")
                coletas = create_coletas(db, 3)
                receiver.down = True
                serve([save_request(db, coletas[i % 3], 10 + i) for i in range(27)])
                deliver = subprocess.Popen([BINARY, "deliver", "--db", db, "--retry-base-ms",
                                            "50", "--retry-cap-ms", "400", "--idle-ms", "50",
                                            "--max-attempts", "1000"],
                                           stderr=subprocess.DEVNULL)
                try:
                    time.sleep(1.5)  # attempts fail and back off meanwhile
                    self.assertEqual(receiver.received, [])
                    receiver.down = False
                    self.assertEqual(receiver.wait_for(30, 60), 30)
                    self.assertEqual(one_record.wait_for(3, 30), 3)
                finally:
                    deliver.send_signal(signal.SIGTERM)
                    self.assertEqual(deliver.wait(timeout=30), 0)
                bodies = check_order(self, receiver)
                kinds = [b["type"] for b in bodies.values()]
                self.assertEqual(kinds.count("coleta.criada"), 3)
                self.assertEqual(kinds.count("coleta.alterada"), 27)
                for r in one_record.received:
                    self.assertTrue(r["verified"])
                    self.assertEqual(r["type"], "application/ld+json")
                    self.assertEqual(r["body"]["@type"], "cargo:LogisticsEvent")
                    shipment = r["body"]["cargo:eventFor"]["@id"]
                    self.assertIn(shipment.rsplit("/", 1)[1], [str(c) for c in coletas])
                listed = run("assinatura", "list", "--json", "--db", db)
                self.assertNotIn("whsec_", listed, "the secret is shown once only")
            finally:
                receiver.close()
                one_record.close()

    def test_dead_letters_are_replayed_and_destinations_can_be_restricted(self):
        with database() as db:
            receiver = Receiver()
            try:
                sub = receiver.subscribe(db)
                coletas = create_coletas(db, 2)
                receiver.down = True
                quick = ["--db", db, "--max-attempts", "2", "--retry-base-ms", "1"]
                run("deliver", "--once", *quick)
                self.assertEqual(receiver.received, [])
                receiver.down = False
                run("deliver", "--once", *quick)
                self.assertEqual(receiver.received, [], "dead letters wait for a replay")
                self.assertIn("2 entrega(s)", run("assinatura", "replay", str(sub), "--db", db))
                run("deliver", "--once", *quick)
                self.assertEqual(sorted(receiver.ids()), ["evt_1", "evt_2"])
                # Everything again from the first event on; a destination
                # outside the allow-list is refused without a request.
                run("assinatura", "replay", str(sub), "--from", "1", "--db", db)
                run("deliver", "--once", "--allow-host", "hooks.example.com", *quick)
                self.assertEqual(len(receiver.received), 2)
                self.assertEqual(run("assinatura", "replay", "999", "--db", db, check=False), "")
                run("assinatura", "replay", str(sub), "--db", db)
                run("deliver", "--once", "--allow-host", "127.0.0.1", *quick)
                self.assertEqual(len(receiver.received), 4)
                check_order(self, receiver)
                self.assertEqual([json.loads(run("coleta", "history", str(c), "--json", "--db",
                                                 db))[0]["tipo"] for c in coletas],
                                 ["coleta.criada"] * 2)
            finally:
                receiver.close()

    def test_kill_9_at_random_moments_loses_nothing(self):
        with database() as db:
            receiver = Receiver()
            try:
                receiver.subscribe(db)
                coletas = create_coletas(db, 10)
                serve([save_request(db, coletas[i % 10], 10 + i) for i in range(190)])
                rng = random.Random(418)
                deadline = time.time() + 150
                kills = 0
                while kills < 100 and time.time() < deadline:
                    p = subprocess.Popen([BINARY, "deliver", "--db", db, "--lease-ms", "200",
                                          "--idle-ms", "20", "--batch", "5"],
                                         stderr=subprocess.DEVNULL)
                    time.sleep(rng.uniform(0.0, 0.15))
                    p.kill()
                    p.wait()
                    kills += 1
                self.assertEqual(kills, 100)
                time.sleep(0.3)  # the last leases run out
                run("deliver", "--once", "--db", db)
                self.assertEqual(len(set(receiver.ids())), 200)
                check_order(self, receiver)
            finally:
                receiver.close()

    def test_the_http_server_delivers_and_serves_history_and_subscriptions(self):
        with database() as db:
            receiver = Receiver()
            token = "t-" + os.urandom(8).hex()
            server = subprocess.Popen([BINARY, "http", "--db", db, "--listen", "127.0.0.1:0"],
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                      env=dict(os.environ, Z418KT_HTTP_TOKEN=token))
            try:
                port = int(server.stdout.readline().rsplit(":", 1)[1].strip(" /\n"))

                def call(method, path, body=None):
                    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
                    c.request(method, path, body=json.dumps(body) if body is not None else None,
                              headers={"Authorization": "Bearer " + token,
                                       "Content-Type": "application/json"})
                    r = c.getresponse()
                    data = r.read()
                    c.close()
                    return r.status, json.loads(data) if data else None

                status, bad = call("POST", "/v1/assinaturas", {"url": "ftp://x/y"})
                self.assertEqual((status, bad["campo"]), (422, "url"))
                status, sub = call("POST", "/v1/assinaturas",
                                   {"url": receiver.url, "tipos": ["coleta.criada"]})
                self.assertEqual(status, 201)
                receiver.secret = sub["segredo"]
                status, subs = call("GET", "/v1/assinaturas")
                self.assertEqual([s["id"] for s in subs], [sub["id"]])
                self.assertNotIn("segredo", subs[0])

                coleta = serve([save_request(db, 0, 4)])[0]["args"]["iovntDOCTO_TRANSPORTE_ID"]
                coleta = coleta["value"]
                serve([save_request(db, coleta, 5)])
                self.assertEqual(receiver.wait_for(1, 30), 1, "the server's own dispatcher sends")
                self.assertTrue(receiver.received[0]["verified"])
                status, events = call("GET", "/v1/coletas/%d/eventos" % coleta)
                self.assertEqual(status, 200)
                self.assertEqual([e["tipo"] for e in events], ["coleta.criada", "coleta.alterada"])
                self.assertEqual(events[1]["alteracoes"]["num_volume"], {"antes": 4, "depois": 5})
                status, later = call("GET", "/v1/coletas/%d/eventos?depois=%d" %
                                     (coleta, events[0]["sequencia"]))
                self.assertEqual([e["sequencia"] for e in later], [events[1]["sequencia"]])
                self.assertEqual(call("GET", "/v1/coletas/%d/eventos?limite=x" % coleta)[0], 400)
                self.assertEqual(call("DELETE", "/v1/assinaturas/%d" % sub["id"])[0], 204)
                self.assertEqual(call("DELETE", "/v1/assinaturas/%d" % sub["id"])[0], 404)
                self.assertEqual(call("GET", "/v1/assinaturas"), (200, []))
            finally:
                server.send_signal(signal.SIGTERM)
                server.wait(timeout=30)
                server.stdout.close()
                receiver.close()

    @unittest.skipIf(len(sys.argv) > 2 and sys.argv[2], "the SQLite file is edited directly")
    def test_a_database_made_before_the_outbox_gets_it_installed(self):
        import sqlite3
        with database() as db:
            path = db.split("Data Source=")[1].split(";")[0]
            with contextlib.closing(sqlite3.connect(path)) as c:
                objects = c.execute("SELECT type, name FROM sqlite_master WHERE type IN "
                                    "('trigger', 'view', 'table') AND (name LIKE 'KTR_EVENTO%' OR "
                                    "name IN ('KTR_COLETA_ESTADO', 'KTR_ASSINATURA', "
                                    "'KTR_ENTREGA'))").fetchall()
                for kind, name in sorted(objects, key=lambda o: o[0] != "trigger"):
                    c.execute("DROP %s %s" % (kind, name))
                c.commit()
            missing = subprocess.run([BINARY, "coleta", "history", "100", "--db", db],
                                     capture_output=True, text=True)
            self.assertEqual(missing.returncode, 1)
            self.assertIn("--install-outbox", missing.stderr)
            self.assertIn("criados", run("deliver", "--install-outbox", "--db", db))
            self.assertIn("já tem", run("deliver", "--install-outbox", "--db", db))
            coleta = create_coletas(db, 1)[0]
            self.assertEqual([e["tipo"] for e in history(db, coleta)], ["coleta.criada"])
            # An outbox of an earlier version (an index more, a trigger less)
            # gets this version's triggers again, and keeps its events.
            with contextlib.closing(sqlite3.connect(path)) as c:
                c.execute("CREATE INDEX KTR_EVENTO_A_DISTRIBUIR ON KTR_EVENTO (EVENTO_ID) "
                          "WHERE DISTRIBUIDO = 0")
                c.execute("DROP TRIGGER KTR_EVENTO_CARGA_INC_ABRE")
                c.commit()
            self.assertIn("já tem", run("deliver", "--install-outbox", "--db", db))
            with contextlib.closing(sqlite3.connect(path)) as c:
                names = {n for (n,) in c.execute("SELECT name FROM sqlite_master")}
            self.assertNotIn("KTR_EVENTO_A_DISTRIBUIR", names)
            self.assertIn("KTR_EVENTO_CARGA_INC_ABRE", names)
            self.assertEqual([e["tipo"] for e in history(db, coleta)], ["coleta.criada"])

    @unittest.skipUnless(len(sys.argv) > 2 and sys.argv[2], "needs the PostgreSQL test server")
    def test_two_dispatchers_share_the_work_without_duplicates(self):
        with database() as db:
            receiver = Receiver()
            try:
                receiver.subscribe(db)
                procs = [subprocess.Popen([BINARY, "deliver", "--db", db, "--idle-ms", "2000"],
                                          stderr=subprocess.DEVNULL) for _ in range(2)]
                try:
                    coletas = create_coletas(db, 10)
                    serve([save_request(db, coletas[i % 10], 10 + i) for i in range(990)])
                    self.assertEqual(receiver.wait_for(1000, 120), 1000)
                    time.sleep(0.5)
                finally:
                    for p in procs:
                        p.send_signal(signal.SIGTERM)
                    for p in procs:
                        self.assertEqual(p.wait(timeout=30), 0)
                ids = receiver.ids()
                self.assertEqual(len(ids), len(set(ids)), "no event went out twice")
                check_order(self, receiver)
            finally:
                receiver.close()


if __name__ == "__main__":
    BINARY = sys.argv[1]
    if len(sys.argv) > 2 and sys.argv[2]:
        with open(sys.argv[2] + "/connection.txt") as f:
            POSTGRESQL = f.read().strip()
        server_fixture.postgresql = POSTGRESQL
    # Further arguments (after the folder) name the tests to run.
    result = unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
