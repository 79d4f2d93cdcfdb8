"""1,000 clients at once, each on one kept-alive connection to `z418kt
http`, each saving a Coleta and then reading it back several times on that
connection: every request is answered, and every Coleta saved is there with
what was sent. Bounded in time; usage: load_test.py Z418KT_BINARY"""

import asyncio
import json
import resource
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from server_fixture import TOKEN, Server  # noqa: E402

CLIENTS, READS = 1000, 5
NEW = {"cliente_id": 2, "remetente_id": 12, "destinatario_id": 11, "volumes": 3,
       "peso_kg": 42.5, "valor_declarado": "1500.75", "embalagem": "Caixas",
       "pecas": [{"largura_m": 0.5, "altura_m": 0.4, "comprimento_m": 0.3, "volumes": 2}]}


async def call(reader, writer, method, path, body=b""):
    writer.write(("%s %s HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s\r\n"
                  "Content-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                  % (method, path, TOKEN, len(body))).encode() + body)
    head = await reader.readuntil(b"\r\n\r\n")
    length = int(head.lower().split(b"content-length: ")[1].split(b"\r\n")[0])
    return int(head[9:12]), json.loads(await reader.readexactly(length))


async def client(reader, writer, number):
    try:
        sent = dict(NEW, volumes=number % 1000 + 1)
        status, created = await call(reader, writer, "POST", "/v1/coletas",
                                     json.dumps(sent).encode())
        assert status == 201, created
        for _ in range(READS):
            status, read = await call(reader, writer, "GET", "/v1/coletas/%d" % created["id"])
            assert status == 200 and read["volumes"] == sent["volumes"], read
        return created["id"], sent["volumes"]
    finally:
        writer.close()


async def main(port):
    # Every connection is open before anyone asks.
    opened = [await asyncio.open_connection("127.0.0.1", port) for _ in range(CLIENTS)]
    clients = (client(reader, writer, n) for n, (reader, writer) in enumerate(opened))
    return await asyncio.wait_for(asyncio.gather(*clients), 300)


def run():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    with Server(sys.argv[1], extra=["--rate", "0", "--max-queued", "2000"]) as server:
        saved = asyncio.run(main(server.port))
        ids = {coleta_id for coleta_id, _ in saved}
        assert len(ids) == CLIENTS, "%d distinct Coletas of %d" % (len(ids), CLIENTS)

        async def check():
            reader, writer = await asyncio.open_connection("127.0.0.1", server.port)
            for coleta_id, volumes in saved:
                status, read = await call(reader, writer, "GET", "/v1/coletas/%d" % coleta_id)
                assert status == 200 and read["volumes"] == volumes, (coleta_id, read)
            writer.close()
        asyncio.run(asyncio.wait_for(check(), 120))
        log = server.log()
    answered = sum(1 for line in log.splitlines() if '"status":' in line)
    expected = CLIENTS * (READS + 1) + CLIENTS
    assert answered == expected, "%d answers logged of %d" % (answered, expected)
    print("%d clients, %d requests, nothing lost" % (CLIENTS, expected))


if __name__ == "__main__":
    run()
