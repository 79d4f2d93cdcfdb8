"""What the command's tests start: a fresh demo database, a `z418kt http`
server on a free loopback port, and a client that checks each answer against
the OpenAPI description. All is stopped and removed as its `with` block ends."""

import contextlib
import http.client
import json
import os
import re
import subprocess
import tempfile

TOKEN = "teste-" + os.urandom(8).hex()
postgresql = None  # the PostgreSQL test server's connection text, when the tests run on it
openapi = None  # an OpenApi that checks every answer, when set


def _psql(sql):
    f = dict(p.split("=", 1) for p in postgresql.split(";") if "=" in p)
    subprocess.run(["psql", "-h", f["Server"], "-p", f["Port"], "-U", f["Uid"], "-d",
                    f["Database"], "-qv", "ON_ERROR_STOP=1", "-c", sql], check=True,
                   env=dict(os.environ, PGPASSWORD=f["Pwd"], PGOPTIONS="-c client_min_messages=warning"),
                   stdout=subprocess.DEVNULL)


@contextlib.contextmanager
def demo_database(binary):
    """(connection text, folder) of a new database with the demo data: a
    SQLite file, or a schema of its own on the PostgreSQL test server."""
    with tempfile.TemporaryDirectory(prefix="z418kt-test-") as folder:
        schema = "z418kt_" + os.path.basename(folder).replace("-", "_").lower()
        if postgresql:
            _psql("CREATE SCHEMA " + schema)
        try:
            # Writers wait for each other up to a minute: 50 clients saving at
            # once on a slow (sanitizer) build must queue, not fail.
            db = (postgresql + ";ConnSettings=SET search_path TO " + schema if postgresql else
                  "Provider=SQLite;Data Source=%s/coleta.db;Busy Timeout=60000" % folder)
            subprocess.run([binary, "init", "--db", db, "--demo"], check=True,
                           stdout=subprocess.DEVNULL)
            yield db, folder
        finally:
            if postgresql:
                _psql("DROP SCHEMA %s CASCADE" % schema)


class Server:
    """`z418kt http` on `db`, or on a fresh demo database in `folder`. With
    token None the server's own: from --token-file in extra, or made at start."""

    def __init__(self, binary, oracle=False, db=None, extra=(), token=TOKEN):
        self.binary, self.db, self.token = binary, db, token
        self.args = ["--listen", "127.0.0.1:0"] + list(extra) + ["--oracle"] * oracle

    def __enter__(self):
        with contextlib.ExitStack() as stack:
            if self.db is None:
                self.db, self.folder = stack.enter_context(demo_database(self.binary))
            self.stderr = stack.enter_context(tempfile.TemporaryFile("w+"))
            env = {k: v for k, v in os.environ.items() if k != "Z418KT_HTTP_TOKEN"}
            env.update({"Z418KT_HTTP_TOKEN": self.token} if self.token else {})
            self.process = subprocess.Popen([self.binary, "http", "--db", self.db] + self.args,
                                            env=env, stdout=subprocess.PIPE, stderr=self.stderr,
                                            text=True)
            stack.callback(self.stop)
            match = re.search(r"ouvindo em (\S+)", self.process.stdout.readline())
            assert match, "the server did not start: " + self.log()
            self.url = match.group(1)
            port = re.search(r":(\d+)/$", self.url)
            self.port = int(port.group(1)) if port else None
            if self.token is None and "--token-file" not in self.args:
                self.token = self.process.stdout.readline().split("token: ")[1].strip()
            self.cleanup = stack.pop_all()
        return self

    def __exit__(self, *exc):
        self.cleanup.close()

    def stop(self):
        """Sends SIGTERM and waits; the exit status."""
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.process.stdout.close()
        return self.process.wait()

    def log(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def client(self, token=""):
        return Client(self.port, self.token if token == "" else token)


class OpenApi:
    """Checks an answer against the description's response for its path,
    method and status, schemas included."""

    def __init__(self, path):
        import jsonschema
        with open(path) as f:
            doc = json.load(f)
        self.resolver = jsonschema.RefResolver("", doc)
        self.validator = lambda s: jsonschema.Draft202012Validator(s, resolver=self.resolver)
        self.paths = [(re.compile("^" + re.sub(r"\{[^}]+\}", "[^/]+", t) + "$"), item)
                      for t, item in doc["paths"].items()]

    def check(self, method, path, status, content_type, body):
        what, m = "%s %s %d" % (method, path, status), method.lower()
        item = next((i for p, i in self.paths if p.match(path.split("?")[0]) and m in i), None)
        responses = item[m]["responses"] if item else {  # unknown paths: problem answers only
            str(s): {"$ref": "#/components/responses/Problem"} for s in (401, 404, 429)}
        response = responses.get(str(status))
        assert response, what + ": not described"
        while "$ref" in response:
            response = self.resolver.resolve(response["$ref"])[1]
        content = response.get("content")
        if not content:
            assert not body, what + ": no body expected"
            return
        media = (content_type or "").split(";")[0].strip()
        assert media in content, what + ": " + media + " not described"
        self.validator(content[media]["schema"]).validate(json.loads(body))


class Client:
    """One kept-alive connection; every answer is checked against `openapi`."""

    def __init__(self, port, token):
        self.token = token
        self.connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)

    def request(self, method, path, body=None, headers=None):
        """Sends bytes as they are, anything else as JSON; (status, response,
        parsed JSON or None, raw bytes)."""
        h = {} if self.token is None else {"Authorization": "Bearer " + self.token}
        if body is not None and not isinstance(body, bytes):
            body, h["Content-Type"] = json.dumps(body).encode(), "application/json"
        self.connection.request(method, path, body=body, headers={**h, **(headers or {})})
        response = self.connection.getresponse()
        payload, kind = response.read(), response.getheader("Content-Type") or ""
        if openapi and path != "/" and not path.endswith((".js", ".css")):
            openapi.check(method, path, response.status, kind, payload)
        parsed = json.loads(payload) if payload and "json" in kind else None
        return response.status, response, parsed, payload
