"""HTTP API of `z418kt http` through a real client: the Coleta cycle in both
dialects, every error status with its cause, the security rules, 50 clients at
once and a shutdown with a request in flight.
usage: api_test.py Z418KT_BINARY OPENAPI_JSON [POSTGRESQL_STATE_DIR]; with the
PostgreSQL test server's folder, only the Coleta cycle runs, on PostgreSQL."""

import concurrent.futures
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, __import__("os").path.dirname(__file__))
import server_fixture  # noqa: E402
from server_fixture import TOKEN, Server  # noqa: E402

BINARY = None
BROKEN_DB = "Provider=SQLite;Data Source=/nonexistent/z418kt/coleta.db"
NEW = {"cliente_id": 2, "remetente_id": 12, "destinatario_id": 11, "volumes": 3,
       "peso_kg": 42.5, "valor_declarado": "1500.75", "embalagem": "Caixas de papelão",
       "pecas": [{"largura_m": 0.5, "altura_m": 0.4, "comprimento_m": 0.3, "volumes": 2},
                 {"largura_m": 1.2, "altura_m": 0.8, "comprimento_m": 0.6, "volumes": 1}]}


def stored_fields(coleta):
    """The fields a save takes, as a read answers them."""
    c = {k: coleta[k] for k in NEW if k != "pecas"}
    c["pecas"] = [{k: p[k] for k in NEW["pecas"][0]} for p in coleta["pecas"]]
    return c


class Api(unittest.TestCase):
    def test_coleta_cycle_in_both_dialects(self):
        for oracle in (False, True):
            with self.subTest(oracle=oracle), Server(BINARY, oracle) as server:
                c = server.client()
                status, response, created, _ = c.request("POST", "/v1/coletas", NEW)
                path = "/v1/coletas/%d" % created["id"]
                self.assertEqual((status, response.getheader("Location")), (201, path), created)
                self.assertEqual(stored_fields(created), NEW)
                self.assertTrue(all(p["id"] for p in created["pecas"]))
                self.assertNotIn("aviso", created)
                self.assertEqual(c.request("GET", path)[::2], (200, created))

                changed = json.loads(json.dumps(NEW))
                changed["pecas"][1]["largura_m"] = 1.75
                changed["valor_declarado"] = "99.5"
                status, _, replaced, _ = c.request("PUT", path, changed)
                self.assertEqual(status, 200, replaced)
                self.assertEqual(stored_fields(replaced), changed)
                self.assertEqual(c.request("GET", path)[2], replaced)
                self.assertEqual(c.request("DELETE", path)[::3], (204, b""))
                self.assertEqual(c.request("GET", path)[0], 404)

                # A retried create under one key makes one Coleta and answers it again.
                key = {"Idempotency-Key": "retry-%s" % oracle}
                first = c.request("POST", "/v1/coletas", NEW, headers=key)
                second = c.request("POST", "/v1/coletas", NEW, headers=key)
                self.assertEqual((second[0], second[2]), (first[0], first[2]))
                self.assertEqual(second[1].getheader("Idempotency-Replayed"), "true")
                status, _, problem, _ = c.request("POST", "/v1/coletas", dict(NEW, volumes=9),
                                                  headers=key)
                self.assertEqual((status, problem.get("campo")), (422, "Idempotency-Key"))
                self.assertEqual(c.request("DELETE", "/v1/coletas/%d" % first[2]["id"])[0], 204)

                # An unknown client is the request's fault, never the database's.
                status, _, problem, _ = c.request("POST", "/v1/coletas", dict(NEW, cliente_id=98765))
                self.assertEqual((status, problem.get("campo")), (422, "cliente_id"), problem)
                self.assertEqual(problem["erros"], [
                    {"campo": "cliente_id", "mensagem": "Cliente 98765 não encontrado."}])

                # The demo Coleta has air waybills: it is listed, but neither changes nor goes.
                demo = c.request("GET", "/v1/coletas/100")[2]
                self.assertIn("AWBs", demo["aviso"])
                self.assertEqual((demo["editavel"], demo["destinatario_nome"]),
                                 (False, "Maria da Silva"))
                for method, body in (("PUT", NEW), ("DELETE", None)):
                    self.assertEqual(c.request(method, "/v1/coletas/100", body)[0], 409)
                self.assertEqual(c.request("GET", "/v1/coletas/100")[2], demo)
                listed = c.request("GET", "/v1/coletas?cliente_id=2")[2]["itens"]
                self.assertEqual([(i["id"], i["cliente_nome"]) for i in listed],
                                 [(100, demo["cliente_nome"])])
                found = c.request("GET", "/v1/pessoas?q=silva")[2]["itens"]
                self.assertEqual([p["endereco_id"] for p in found], [11])
                _, response, shipment, _ = c.request(
                    "GET", "/v1/coletas/100", headers={"Accept": "application/ld+json"})
                self.assertEqual(response.getheader("Content-Type"), "application/ld+json")
                self.assertIn("Aurora", json.dumps(shipment, ensure_ascii=False))
                self.assertIn(c.request("GET", "/v1/pessoas/12")[2]["tipo"], ("PF", "PJ"))

    def test_each_error_status_names_its_cause(self):
        with Server(BINARY) as server:
            c = server.client()
            coletas, delete = "/v1/coletas", "/v1/operations/gExclui_Coleta"
            for method, path, body, status, field in [
                ("POST", coletas, b"{not json", 400, None),
                ("POST", coletas, dict(NEW, cliente_id="dois"), 400, "cliente_id"),
                ("POST", coletas, dict(NEW, pecas=[{"largura_m": "x"}]), 400, "pecas[0].largura_m"),
                ("POST", coletas, b"[" * 5000 + b"]" * 5000, 400, None),
                ("GET", "/v1/coletas/999999", None, 404, None),
                ("GET", "/v1/coletas/abc", None, 404, None),
                ("GET", "/v1/pessoas/999999", None, 404, None),
                ("GET", "/v1/nada", None, 404, None),
                ("POST", coletas, dict(NEW, cliente_id=None), 422, "cliente_id"),
                ("POST", coletas, dict(NEW, peso_kg=1234567.5), 422, "peso_kg"),
                ("PUT", "/v1/coletas/110", dict(NEW, embalagem="x" * 300), 422, "embalagem"),
                ("PUT", "/v1/coletas/100", NEW, 409, None),
                ("GET", coletas + "?limite=0", None, 400, "limite"),
                ("GET", coletas + "?desde=ontem", None, 400, "desde"),
                ("GET", "/v1/pessoas?q=", None, 400, "q"),
                ("POST", delete, {"invntDOCTO_TRANSPORTE_ID": 0}, 422, None),
                ("POST", "/v1/operations/nenhuma", {}, 404, None),
                ("POST", delete, [1, 2], 400, None),
            ]:
                with self.subTest(method=method, path=path, status=status):
                    got, _, problem, _ = c.request(method, path, body)
                    self.assertEqual((got, problem["status"]), (status, status), problem)
                    self.assertTrue(problem["detail"])
                    self.assertEqual(problem.get("campo"), field)
            problem = c.request("POST", coletas, dict(NEW, cliente_id=None))[2]
            self.assertEqual(problem["detail"], "O campo Cliente é obrigatório.")
            # Every field error at once, by caption, the operations' own first.
            three = dict(NEW, peso_kg=None, destinatario_id=98765,
                         pecas=[dict(NEW["pecas"][0], largura_m=-0.5)])
            problem = c.request("POST", coletas, three)[2]
            self.assertEqual([e["campo"] for e in problem["erros"]],
                             ["peso_kg", "pecas[0].largura_m", "destinatario_id"], problem)
            self.assertEqual(problem["erros"][1]["mensagem"],
                             "O campo Largura da peça 1 deve ser maior que zero.")
            problem = c.request("POST", coletas, dict(NEW, cliente_id="dois", peso_kg="1.500"))[2]
            self.assertEqual([e["mensagem"] for e in problem["erros"]],
                             ["O campo Cliente deve ser um número inteiro.",
                              "O campo Peso deve ser um número."])
            problem = c.request("POST", delete, {"invntDOCTO_TRANSPORTE_ID": 0})[2]
            self.assertEqual(problem["detail"], "Informe uma Coleta.")
            self.assertEqual(problem["answer"]["result"], {"vt": "I2", "value": 10})
            self.assertEqual(c.request("POST", coletas, b"{}",
                                       headers={"Content-Type": "text/plain"})[0], 415)

            refused = server.client("errado")  # its refused bodies are read, so the
            for client, method, path, body in [  # connection stays in step
                    (server.client(None), "GET", "/v1/coletas/100", None),
                    (server.client(TOKEN + "x"), "GET", "/v1/coletas/100", None),
                    (refused, "GET", "/v1/coletas/100", None),
                    (refused, "POST", coletas, NEW), (refused, "POST", coletas, NEW)]:
                got, response, _, _ = client.request(method, path, body)
                self.assertEqual((got, response.getheader("WWW-Authenticate")), (401, "Bearer"))

            # 20 MB is read and refused as a whole, on its own connection.
            self.assertEqual(server.client().request(
                "POST", coletas, b" " * (20 * 1024 * 1024),
                headers={"Content-Type": "application/json"})[0], 413)
            # Nothing of the refused requests was stored, and the server still answers.
            got, _, demo, _ = c.request("GET", "/v1/coletas/100")
            self.assertEqual(got, 200)
            self.assertNotEqual(demo["embalagem"], "x" * 300)

    def test_operations_by_name_keep_the_connection_text_private(self):
        with Server(BINARY) as server:
            c = server.client()
            sent = {"invntConecta_DB": "Provider=SQLite;Data Source=/tmp/outro.db",
                    "invntENDERECO_PESSOA_ID": 12}
            got, _, answer, raw = c.request("POST", "/v1/operations/gconsulta_dados_pessoa",
                                            {"args": sent})
            self.assertEqual((got, answer["result"]), (200, {"vt": "I2", "value": 0}), answer)
            self.assertNotIn("invntConecta_DB", answer["args"])
            self.assertIn("outvntNome", answer["args"])
            for other in ("/v1/coletas/100", "/v1/pessoas/12"):
                raw += c.request("GET", other)[3]
            raw += c.request("POST", "/v1/operations/gExclui_Coleta", {})[3]
        with Server(BINARY, db=BROKEN_DB) as bad:
            got, _, problem, answer = bad.client().request("GET", "/v1/coletas/100")
            raw += answer
            self.assertEqual(got, 503)
            self.assertIn("Favor tentar mais tarde", problem["detail"])
            # Diagnostics (user id 1) name the database file where it cannot be opened.
            raw += bad.client().request("POST", "/v1/operations/gConsulta_Coleta", {
                "invntUsuario_Internet_ID": 1, "invntDOCTO_TRANSPORTE_ID": 100})[3]
        self.assertIn(b"unable to open", raw)
        for secret in (b"/nonexistent/", server.folder.encode(), b"outro.db"):
            self.assertNotIn(secret, raw)

    def test_security_headers_limits_tokens_and_access_log(self):
        with Server(BINARY, extra=["--rate", "5"], token=None) as server:
            self.assertRegex(server.token, "^[0-9a-f]{64}$")  # made at start
            c = server.client()
            for path in ("/", "/app.js", "/v1/coletas/100", "/v1/nada"):
                response = c.request("GET", path)[1]
                self.assertIn("default-src 'none'", response.getheader("Content-Security-Policy"))
                self.assertEqual(response.getheader("X-Content-Type-Options"), "nosniff")
                self.assertEqual(response.getheader("Cache-Control"), "no-store")
                self.assertIsNone(response.getheader("Access-Control-Allow-Origin"))
            self.assertIn(b'<html lang="pt-BR">', c.request("GET", "/")[3])
            statuses = [c.request("GET", "/v1/pessoas/11")[0] for _ in range(40)]
            self.assertIn(429, statuses)
            time.sleep(1.1)  # the client's allowance refills within a second
            self.assertEqual(server.client().request("GET", "/v1/pessoas/11")[0], 200)
            server.stop()
            log = server.log()
            lines = [json.loads(line) for line in log.splitlines()]
            seen = {(e["method"], e["path"], e["status"]) for e in lines if "status" in e}
            self.assertLessEqual({("GET", "/v1/coletas/100", 200), ("GET", "/v1/pessoas/11", 429)},
                                 seen)
            self.assertNotIn(server.token, log)
        with tempfile.NamedTemporaryFile("w", suffix=".token") as f:
            f.write("  segredo-do-arquivo \n")
            f.flush()
            with Server(BINARY, extra=["--token-file", f.name], token=None) as server:
                for token, status in ((TOKEN, 401), ("segredo-do-arquivo", 200)):
                    self.assertEqual(server.client(token).request("GET", "/v1/pessoas/11")[0],
                                     status)

    def test_named_tokens_name_the_log_and_the_changes(self):
        def start(*args):
            return subprocess.run([BINARY, "http", "--listen", "127.0.0.1:0", "--db", "x"]
                                  + list(args), capture_output=True, text=True, timeout=30,
                                  env={k: v for k, v in os.environ.items()
                                       if k != "Z418KT_HTTP_TOKEN"})
        # Refused at start, nothing served: a name twice, a secret twice, an unreadable file.
        for args, status, says in ((["--token", "a=1", "--token", "a=2"], 2, "named a"),
                                   (["--token", "a=1", "--token", "b=1"], 2, "secret"),
                                   (["--tokens-file", "/nonexistent/tokens"], 1, "tokens file")):
            done = start(*args)
            self.assertEqual(done.returncode, status, args)
            self.assertIn(says, done.stderr)
        with server_fixture.demo_database(BINARY) as (db, folder), \
                tempfile.NamedTemporaryFile("w", suffix=".tokens") as tokens:
            subprocess.run([BINARY, "deliver", "--install-outbox", "--db", db], check=True,
                           stdout=subprocess.DEVNULL)
            tokens.write("# one a line\n\nops=segredo-ops\n")
            tokens.flush()
            extra = ["--token", "portal=segredo=portal", "--tokens-file", tokens.name,
                     "--no-deliver"]
            with Server(BINARY, db=db, extra=extra) as server:
                status, _, created, _ = server.client("segredo=portal").request(
                    "POST", "/v1/coletas", NEW)
                self.assertEqual(status, 201)
                path = "/v1/coletas/%d" % created["id"]
                self.assertEqual(server.client("segredo-ops").request(
                    "PUT", path, dict(NEW, volumes=4))[0], 200)
                self.assertEqual(server.client("portal").request("GET", path)[0], 401)
                status, _, events, _ = server.client().request("GET", path + "/eventos")
                self.assertEqual(status, 200)
                self.assertEqual([(e["tipo"], e["origem"]) for e in events],
                                 [("coleta.criada", "portal"), ("coleta.alterada", "ops")])
                server.stop()
                log = server.log()
        # Lines of different connections are written by their own threads, so a line may
        # follow the next request's; request ids follow the order requests arrived in.
        lines = sorted((json.loads(line) for line in log.splitlines() if '"status"' in line),
                       key=lambda e: e["request_id"])
        self.assertEqual([(e["method"], e.get("token")) for e in lines if e["route"] != "/healthz"],
                         [("POST", "portal"), ("PUT", "ops"), ("GET", None), ("GET", "http")])
        for secret in ("segredo=portal", "segredo-ops", TOKEN):
            self.assertNotIn(secret, log)

    def test_fifty_clients_lose_nothing(self):
        with Server(BINARY, extra=["--rate", "0"]) as server:
            def work(_):
                c = server.client()
                try:
                    status, _, created, _ = c.request("POST", "/v1/coletas", NEW)
                    self.assertEqual(status, 201, created)
                    path = "/v1/coletas/%d" % created["id"]
                    for i in range(99):  # a replace every tenth request, reads between
                        volumes = i // 10 * 10 + 1
                        put = ("PUT", path, dict(NEW, volumes=volumes))
                        status, _, got, _ = c.request(*put if i % 10 == 0 else ("GET", path))
                        self.assertEqual((status, got.get("volumes")), (200, volumes), (i, got))
                    return created["id"]
                finally:
                    c.connection.close()

            with concurrent.futures.ThreadPoolExecutor(50) as pool:
                ids = set(pool.map(work, range(50)))
            self.assertEqual(len(ids), 50)
            c = server.client()
            for coleta_id in ids:
                status, _, read, _ = c.request("GET", "/v1/coletas/%d" % coleta_id)
                self.assertEqual((status, read["volumes"], len(read["pecas"])), (200, 91, 2))

    def test_shutdown_lets_the_request_in_flight_finish(self):
        with Server(BINARY) as server:
            body = json.dumps(NEW).encode()
            s = socket.create_connection(("127.0.0.1", server.port))
            s.sendall(("POST /v1/coletas HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s\r\n"
                       "Content-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                       % (TOKEN, len(body))).encode() + body[:10])
            time.sleep(0.3)
            server.process.send_signal(signal.SIGTERM)
            time.sleep(0.3)
            s.sendall(body[10:])
            answer = s.recv(65536)
            s.close()
            self.assertTrue(answer.startswith(b"HTTP/1.1 201"), answer[:200])
            self.assertEqual(server.stop(), 0)
            with self.assertRaises(OSError):  # no new connection is taken after the stop
                socket.create_connection(("127.0.0.1", server.port), timeout=2)


if __name__ == "__main__":
    BINARY = sys.argv[1]
    server_fixture.openapi = server_fixture.OpenApi(sys.argv[2])
    tests = [sys.argv[0], "-v"]
    if len(sys.argv) > 3:
        with open(sys.argv[3] + "/connection.txt") as f:
            server_fixture.postgresql = f.read().strip()
        tests += ["Api.test_coleta_cycle_in_both_dialects"]
    result = unittest.main(argv=tests, exit=False).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
