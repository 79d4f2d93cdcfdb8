"""A `z418kt http` server on a free loopback port with a fresh demo database,
and a client that checks every answer it receives against the OpenAPI
description. The server is stopped when the `with` block ends, failed or not."""

import http.client
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading

TOKEN = "teste-" + os.urandom(8).hex()

# The PostgreSQL test server's connection text, when the tests run on it.
postgresql = None


def _fields(connection):
    return dict(p.split("=", 1) for p in connection.split(";") if "=" in p)


def _psql(sql):
    f = _fields(postgresql)
    subprocess.run(["psql", "-h", f["Server"], "-p", f["Port"], "-U", f["Uid"], "-d",
                    f["Database"], "-q", "-v", "ON_ERROR_STOP=1", "-c", sql],
                   env=dict(os.environ, PGPASSWORD=f["Pwd"]), check=True,
                   stdout=subprocess.DEVNULL)


class Server:
    def __init__(self, binary, oracle=False, db=None, extra=(), token=TOKEN):
        """token None: the server's own, from --token-file in extra or made at start."""
        self.binary, self.oracle, self.db, self.extra = binary, oracle, db, list(extra)
        self.token, self.log = token, []

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="z418kt-http-")
        self.schema = None
        fresh = self.db is None
        if fresh and postgresql:
            self.schema = "z418kt_http_" + os.path.basename(self.dir).replace("-", "_").lower()
            _psql("CREATE SCHEMA " + self.schema)
            self.db = postgresql + ";ConnSettings=SET search_path TO " + self.schema
        elif fresh:
            # Writers wait for each other up to a minute: 50 clients saving at
            # once on a slow (sanitizer) build must queue, not fail.
            self.db = "Provider=SQLite;Data Source=%s/coleta.db;Busy Timeout=60000" % self.dir
        if fresh:
            subprocess.run([self.binary, "init", "--db", self.db, "--demo"], check=True,
                           stdout=subprocess.DEVNULL)
        args = [self.binary, "http", "--listen", "127.0.0.1:0", "--db", self.db] + self.extra
        if self.oracle:
            args.append("--oracle")
        env = {k: v for k, v in os.environ.items() if k != "Z418KT_HTTP_TOKEN"}
        if self.token:
            env["Z418KT_HTTP_TOKEN"] = self.token
        self.process = subprocess.Popen(args, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        try:
            first = self.process.stdout.readline()
            match = re.search(r":(\d+)/", first)
            if not match:
                raise RuntimeError("server did not start: " + first + self.process.stderr.read())
            self.port = int(match.group(1))
            if self.token is None and "--token-file" not in self.extra:
                self.token = self.process.stdout.readline().split("token: ")[1].strip()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        self.reader = threading.Thread(target=self._read_log, daemon=True)
        self.reader.start()
        return self

    def _read_log(self):
        for line in self.process.stderr:
            self.log.append(line)

    def stop(self, sig=signal.SIGTERM, timeout=20):
        """Sends the signal and waits; the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
        if self.schema:
            _psql("DROP SCHEMA IF EXISTS %s CASCADE" % self.schema)

    def client(self, token=""):
        return Client(self.port, self.token if token == "" else token)


class OpenApi:
    """Checks an answer against the description's response for its path,
    method and status, schemas included."""

    def __init__(self, path):
        import jsonschema
        self.jsonschema = jsonschema
        with open(path) as f:
            self.doc = json.load(f)
        self.resolver = jsonschema.RefResolver("", self.doc)
        self.paths = []
        for template, item in self.doc["paths"].items():
            pattern = "^" + re.sub(r"\{[^}]+\}", "[^/]+", template) + "$"
            self.paths.append((re.compile(pattern), item))

    def _deref(self, node):
        while "$ref" in node:
            node = self.resolver.resolve(node["$ref"])[1]
        return node

    def check(self, method, path, status, content_type, body):
        path = path.split("?")[0]
        for pattern, item in self.paths:
            if pattern.match(path) and method.lower() in item:
                responses = item[method.lower()]["responses"]
                break
        else:
            if status in (401, 404, 429):  # unknown paths: problem answers only
                responses = {str(status): {"$ref": "#/components/responses/Problem"}}
            else:
                raise AssertionError("%s %s is not described" % (method, path))
        if str(status) not in responses:
            raise AssertionError("%s %s: status %d is not described" % (method, path, status))
        response = self._deref(responses[str(status)])
        content = response.get("content")
        if not content:
            assert body in (None, b""), "%s %s %d: no body expected" % (method, path, status)
            return
        media = (content_type or "").split(";")[0].strip()
        assert media in content, "%s %s %d: %s not described" % (method, path, status, media)
        schema = content[media]["schema"]
        validator = self.jsonschema.Draft202012Validator(schema, resolver=self.resolver)
        validator.validate(json.loads(body))


openapi = None  # set by the test program


class Client:
    """One kept-alive connection; every answer is checked against OpenAPI."""

    def __init__(self, port, token):
        self.port, self.token = port, token
        self.connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)

    def request(self, method, path, body=None, headers=None, raw=None):
        """(status, headers, parsed JSON or None, raw bytes)."""
        h = {}
        if self.token is not None:
            h["Authorization"] = "Bearer " + self.token
        data = raw
        if body is not None:
            data = json.dumps(body).encode()
            h["Content-Type"] = "application/json"
        h.update(headers or {})
        self.connection.request(method, path, body=data, headers=h)
        response = self.connection.getresponse()
        payload = response.read()
        if response.getheader("Connection", "").lower() == "close":
            self.connection.close()
        content_type = response.getheader("Content-Type")
        if openapi is not None and path != "/" and not path.endswith((".js", ".css")):
            openapi.check(method, path, response.status, content_type, payload)
        parsed = json.loads(payload) if payload and "json" in (content_type or "") else None
        return response.status, response, parsed, payload

    def close(self):
        self.connection.close()
