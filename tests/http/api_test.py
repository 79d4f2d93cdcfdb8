"""HTTP API of `z418kt http` through a real client, in both dialects: the
Coleta cycle, every error status with its cause, the security rules, 50
concurrent clients and a shutdown with a request in flight.

usage: api_test.py Z418KT_BINARY OPENAPI_JSON [POSTGRESQL_STATE_DIR]
With the state directory of the PostgreSQL test server, the Coleta cycle
runs on PostgreSQL instead of SQLite."""

import json
import socket
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, __import__("os").path.dirname(__file__))
import server_fixture  # noqa: E402
from server_fixture import TOKEN, Server  # noqa: E402

BINARY = None
DIALECTS = (False, True)  # stored procedures, ORACLE

NEW = {"cliente_id": 2, "remetente_id": 12, "destinatario_id": 11, "volumes": 3,
       "peso_kg": 42.5, "valor_declarado": "1500.75", "embalagem": "Caixas de papelão",
       "pecas": [{"largura_m": 0.5, "altura_m": 0.4, "comprimento_m": 0.3, "volumes": 2},
                 {"largura_m": 1.2, "altura_m": 0.8, "comprimento_m": 0.6, "volumes": 1}]}


def stored_fields(coleta):
    """The fields a save takes, as a read answers them."""
    c = {k: coleta[k] for k in NEW if k != "pecas"}
    c["pecas"] = [{k: p[k] for k in ("largura_m", "altura_m", "comprimento_m", "volumes")}
                  for p in coleta["pecas"]]
    return c


class Api(unittest.TestCase):
    def test_coleta_cycle_in_both_dialects(self):
        for oracle in DIALECTS:
            with self.subTest(oracle=oracle), Server(BINARY, oracle) as server:
                c = server.client()
                status, response, created, _ = c.request("POST", "/v1/coletas", NEW)
                self.assertEqual(status, 201, created)
                self.assertEqual(response.getheader("Location"), "/v1/coletas/%d" % created["id"])
                self.assertEqual(stored_fields(created), NEW)
                self.assertTrue(all(p["id"] for p in created["pecas"]))
                self.assertNotIn("aviso", created)

                status, _, read, _ = c.request("GET", "/v1/coletas/%d" % created["id"])
                self.assertEqual((status, read), (200, created))

                changed = json.loads(json.dumps(NEW))
                changed["pecas"][1]["largura_m"] = 1.75
                changed["valor_declarado"] = "99.5"
                status, _, replaced, _ = c.request("PUT", "/v1/coletas/%d" % created["id"],
                                                   changed)
                self.assertEqual(status, 200, replaced)
                self.assertEqual(stored_fields(replaced), changed)
                status, _, read, _ = c.request("GET", "/v1/coletas/%d" % created["id"])
                self.assertEqual(read, replaced)

                status, _, body, raw = c.request("DELETE", "/v1/coletas/%d" % created["id"])
                self.assertEqual((status, raw), (204, b""))
                status, _, problem, _ = c.request("GET", "/v1/coletas/%d" % created["id"])
                self.assertEqual(status, 404)

                # The demo Coleta has air waybills; the demo parties are a person and a company.
                status, _, demo, _ = c.request("GET", "/v1/coletas/100")
                self.assertEqual(status, 200)
                self.assertIn("AWBs", demo["aviso"])
                status, response, shipment, _ = c.request(
                    "GET", "/v1/coletas/100", headers={"Accept": "application/ld+json"})
                self.assertEqual(response.getheader("Content-Type"), "application/ld+json")
                self.assertIn("Aurora", json.dumps(shipment, ensure_ascii=False))
                status, _, pessoa, _ = c.request("GET", "/v1/pessoas/12")
                self.assertEqual(status, 200)
                self.assertIn(pessoa["tipo"], ("PF", "PJ"))

    def test_each_error_status_names_its_cause(self):
        with Server(BINARY) as server:
            c = server.client()
            cases = [
                ("POST", "/v1/coletas", None, b"{not json", 400, None),
                ("POST", "/v1/coletas", dict(NEW, cliente_id="dois"), None, 400, "cliente_id"),
                ("POST", "/v1/coletas", dict(NEW, pecas=[{"largura_m": "x"}]), None, 400,
                 "pecas[0].largura_m"),
                ("POST", "/v1/coletas", None, b"[" * 5000 + b"]" * 5000, 400, None),
                ("GET", "/v1/coletas/999999", None, None, 404, None),
                ("GET", "/v1/coletas/abc", None, None, 404, None),
                ("GET", "/v1/pessoas/999999", None, None, 404, None),
                ("GET", "/v1/nada", None, None, 404, None),
                ("POST", "/v1/coletas", dict(NEW, cliente_id=None), None, 422, "cliente_id"),
                ("POST", "/v1/coletas", dict(NEW, peso_kg=1234567.5), None, 422, "peso_kg"),
                ("PUT", "/v1/coletas/100", dict(NEW, embalagem="x" * 300), None, 422,
                 "embalagem"),
                ("POST", "/v1/operations/gExclui_Coleta", {"invntDOCTO_TRANSPORTE_ID": 0}, None,
                 422, None),
                ("POST", "/v1/operations/nenhuma", {}, None, 404, None),
                ("POST", "/v1/operations/gExclui_Coleta", [1, 2], None, 400, None),
            ]
            for method, path, body, raw, status, field in cases:
                with self.subTest(method=method, path=path, status=status):
                    got, _, problem, _ = c.request(method, path, body, raw=raw)
                    self.assertEqual(got, status, problem)
                    self.assertEqual(problem["status"], status)
                    self.assertTrue(problem["detail"])
                    self.assertEqual(problem.get("campo"), field)
            _, _, problem, _ = c.request("POST", "/v1/coletas", dict(NEW, cliente_id=None))
            self.assertEqual(problem["detail"], "O campo Cliente é obrigatório.")
            _, _, problem, _ = c.request("POST", "/v1/operations/gExclui_Coleta",
                                         {"invntDOCTO_TRANSPORTE_ID": 0})
            self.assertEqual(problem["detail"], "Informe uma Coleta.")
            self.assertEqual(problem["answer"]["result"], {"vt": "I2", "value": 10})
            got, _, _, _ = c.request("POST", "/v1/coletas", raw=b"{}",
                                     headers={"Content-Type": "text/plain"})
            self.assertEqual(got, 415)

            for token in (None, "errado", TOKEN + "x"):
                got, response, problem, _ = server.client(token).request("GET", "/v1/coletas/100")
                self.assertEqual((got, response.getheader("WWW-Authenticate")), (401, "Bearer"))
            refused = server.client("errado")
            for _ in range(2):  # the refused body is read, so the connection stays in step
                got, response, _, _ = refused.request("POST", "/v1/coletas", NEW)
                self.assertEqual((got, response.getheader("WWW-Authenticate")), (401, "Bearer"))

            # 20 MB is read and refused as a whole, on its own connection.
            got, _, problem, _ = server.client().request(
                "POST", "/v1/coletas", raw=b" " * (20 * 1024 * 1024),
                headers={"Content-Type": "application/json"})
            self.assertEqual(got, 413)
            # Nothing of the refused requests was stored, and the server still answers.
            got, _, demo, _ = c.request("GET", "/v1/coletas/100")
            self.assertEqual((got, demo["embalagem"]), (200, demo["embalagem"]))
            self.assertNotEqual(demo["embalagem"], "x" * 300)

        with Server(BINARY, db="Provider=SQLite;Data Source=/nonexistent/dir/coleta.db") as server:
            got, _, problem, _ = server.client().request("GET", "/v1/coletas/100")
            self.assertEqual(got, 503)
            self.assertIn("Favor tentar mais tarde", problem["detail"])

    def test_operations_by_name_keep_the_connection_text_private(self):
        with Server(BINARY) as server:
            c = server.client()
            sent = {"invntConecta_DB": "Provider=SQLite;Data Source=/tmp/outro.db",
                    "invntENDERECO_PESSOA_ID": 12}
            got, _, answer, raw = c.request("POST", "/v1/operations/gconsulta_dados_pessoa",
                                            {"args": sent})
            self.assertEqual(got, 200, answer)
            self.assertEqual(answer["result"], {"vt": "I2", "value": 0})
            self.assertNotIn("invntConecta_DB", answer["args"])
            self.assertIn("outvntNome", answer["args"])
            for other in ("/v1/coletas/100", "/v1/pessoas/12"):
                raw += c.request("GET", other)[3]
            raw += c.request("POST", "/v1/operations/gExclui_Coleta", {})[3]
            # Diagnostics (user id 1) name the database file where it cannot be opened.
        with Server(BINARY, db="Provider=SQLite;Data Source=/nonexistent/z418kt/c.db") as bad:
            raw += bad.client().request("POST", "/v1/operations/gConsulta_Coleta", {
                "invntUsuario_Internet_ID": 1, "invntDOCTO_TRANSPORTE_ID": 100})[3]
            self.assertIn(b"unable to open", raw)
            self.assertNotIn(b"/nonexistent/", raw)
            self.assertNotIn(server.dir.encode(), raw)
            self.assertNotIn(b"outro.db", raw)

    def test_security_headers_limits_and_access_log(self):
        with Server(BINARY, extra=["--rate", "20"]) as server:
            c = server.client()
            for path in ("/", "/app.js", "/v1/coletas/100", "/v1/nada"):
                _, response, _, _ = c.request("GET", path)
                self.assertIn("default-src 'none'", response.getheader("Content-Security-Policy"))
                self.assertEqual(response.getheader("X-Content-Type-Options"), "nosniff")
                self.assertEqual(response.getheader("Cache-Control"), "no-store")
                self.assertIsNone(response.getheader("Access-Control-Allow-Origin"))
            _, response, _, page = c.request("GET", "/")
            self.assertIn(b'<html lang="pt-BR">', page)
            statuses = [c.request("GET", "/v1/pessoas/11")[0] for _ in range(40)]
            self.assertIn(429, statuses)
            self.assertEqual(server.client().request("GET", "/v1/pessoas/11")[0], 200)
            server.stop()
            log = "".join(server.log)
            self.assertRegex(log, r"GET /v1/coletas/100 200 [0-9.]+ms")
            self.assertIn("GET /v1/pessoas/11 429", log)
            self.assertNotIn(TOKEN, log)

    def test_token_from_a_file_or_made_at_start(self):
        with tempfile.NamedTemporaryFile("w", suffix=".token") as f:
            f.write("  segredo-do-arquivo \n")
            f.flush()
            with Server(BINARY, extra=["--token-file", f.name], token=None) as server:
                self.assertEqual(server.client(TOKEN).request("GET", "/v1/pessoas/11")[0], 401)
                self.assertEqual(
                    server.client("segredo-do-arquivo").request("GET", "/v1/pessoas/11")[0], 200)
        with Server(BINARY, token=None) as server:
            self.assertRegex(server.token, "^[0-9a-f]{64}$")
            self.assertEqual(server.client().request("GET", "/v1/pessoas/11")[0], 200)
            server.stop()
            self.assertNotIn(server.token, "".join(server.log))

    def test_fifty_clients_lose_nothing(self):
        with Server(BINARY, extra=["--rate", "0"]) as server:
            failures, ids = [], {}

            def work(n):
                c = server.client()
                try:
                    status, _, created, _ = c.request("POST", "/v1/coletas", NEW)
                    if status != 201:
                        failures.append((n, "POST", status, created))
                        return
                    path, volumes = "/v1/coletas/%d" % created["id"], NEW["volumes"]
                    for i in range(99):  # a replace every tenth request, reads between
                        if i % 10 == 0:
                            volumes = i + 1
                            status, _, got, _ = c.request("PUT", path, dict(NEW, volumes=volumes))
                        else:
                            status, _, got, _ = c.request("GET", path)
                        if status != 200 or got["volumes"] != volumes:
                            failures.append((n, i, status, got))
                            return
                    ids[n] = created["id"]
                except Exception as e:  # a failed request is what this test counts
                    failures.append((n, repr(e)))
                finally:
                    c.close()

            threads = [threading.Thread(target=work, args=(n,)) for n in range(50)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            self.assertEqual(failures, [])
            c = server.client()
            for n, coleta_id in ids.items():
                status, _, read, _ = c.request("GET", "/v1/coletas/%d" % coleta_id)
                self.assertEqual((status, read["volumes"], len(read["pecas"])), (200, 91, 2))
            self.assertEqual(len(set(ids.values())), 50)

    def test_shutdown_lets_the_request_in_flight_finish(self):
        with Server(BINARY) as server:
            body = json.dumps(NEW).encode()
            s = socket.create_connection(("127.0.0.1", server.port))
            head = ("POST /v1/coletas HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s\r\n"
                    "Content-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                    % (TOKEN, len(body))).encode()
            s.sendall(head + body[:10])
            time.sleep(0.3)
            server.process.send_signal(__import__("signal").SIGTERM)
            time.sleep(0.3)
            s.sendall(body[10:])
            answer = s.recv(65536)
            s.close()
            self.assertTrue(answer.startswith(b"HTTP/1.1 201"), answer[:200])
            self.assertEqual(server.stop(), 0)
            # No new connection is taken after the stop.
            with self.assertRaises(OSError):
                socket.create_connection(("127.0.0.1", server.port), timeout=2)


if __name__ == "__main__":
    BINARY = sys.argv[1]
    server_fixture.openapi = server_fixture.OpenApi(sys.argv[2])
    tests = [sys.argv[0], "-v"]
    if len(sys.argv) > 3:
        with open(sys.argv[3] + "/connection.txt") as f:
            server_fixture.postgresql = f.read().strip()
        tests += ["Api.test_coleta_cycle_in_both_dialects"]
    program = unittest.main(argv=tests, exit=False)
    result = program.result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
