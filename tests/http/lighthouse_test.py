"""Lighthouse 12.2.3 on the list and the Coleta screens of the operators' page
(headless Chromium, desktop settings): accessibility and best practices must
score 100; every score, performance included, is printed and each full report
is written to OUT_DIR. Exits 77 (skipped) without Chromium or Node.
usage: lighthouse_test.py Z418KT_BINARY TOOLS_DIR OUT_DIR"""

import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from server_fixture import TOKEN, Server  # noqa: E402

SCREENS = ("#/coletas", "#/coletas/100")
TIME_LIMIT_S = 240  # the whole Lighthouse run, both screens


def main(binary, tools, out):
    chromium, node = shutil.which("chromium"), shutil.which("node")
    if not (chromium and node):
        print("chromium or node is not installed: skipped")
        sys.exit(77)
    os.makedirs(out, exist_ok=True)
    with Server(binary) as s:
        run = subprocess.run(
            [node, os.path.join(tools, "lighthouse.mjs"), "http://127.0.0.1:%d/" % s.port, TOKEN,
             chromium, out, *SCREENS], capture_output=True, text=True, timeout=TIME_LIMIT_S)
    assert run.returncode == 0, run.stderr[-3000:]
    results = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
    assert [r["screen"] for r in results] == list(SCREENS), run.stdout + run.stderr[-3000:]
    bad = []
    for r in results:
        print("%-16s %s" % (r["screen"], " ".join("%s=%d" % kv for kv in r["scores"].items())))
        for category in ("accessibility", "best-practices"):
            if r["scores"][category] != 100:
                bad.append("%s %s %d (%s)" % (r["screen"], category, r["scores"][category],
                                              ", ".join(r["failed"])))
    assert not bad, "; ".join(bad)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(*sys.argv[1:4])
