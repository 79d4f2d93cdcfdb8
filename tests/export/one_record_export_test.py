"""The ONE Record export of the demo Coleta, read back as linked data.

Usage: one_record_export_test.py Z418KT_BINARY TERMS_FILE

On a fresh demo database, in both dialects: the export parses as JSON-LD
(rdflib), uses only the listed ONE Record terms, and carries exactly the
numbers, names and codes that gConsulta_Coleta and gConsulta_Dados_Pessoa
answer. A missing Coleta is "not found" (exit 3) with nothing on stdout.
"""
import json
import subprocess
import sys
import tempfile
from decimal import Decimal
from pathlib import Path

from rdflib import Graph, Namespace, RDF, URIRef

CARGO = Namespace("https://onerecord.iata.org/ns/cargo#")
CODES = "https://onerecord.iata.org/ns/code-lists/"
BASE = "https://1r.example.com/logistics-objects/"

binary, terms_file = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(*args):
    return subprocess.run([binary, *args], capture_output=True, text=True, timeout=60)


def listed_terms():
    prefixes = {"cargo:": str(CARGO), "codes:": CODES}
    terms = set()
    for line in Path(terms_file).read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if line and not line.startswith("#"):
            prefix = line[: line.index(":") + 1]
            terms.add(prefixes[prefix] + line[len(prefix):])
    return terms


def used_terms(graph):
    used = set()
    for _, p, o in graph:
        used.add(str(p))
        if p == RDF.type or (isinstance(o, URIRef) and str(o).startswith(CODES)):
            used.add(str(o))
    return {t for t in used if t.startswith(str(CARGO)) or t.startswith(CODES)}


def invoke(db, dialect, operation, args):
    answer = run("invoke", operation, "--args", json.dumps(
        {"invntConecta_DB": db, "invntBanco_Dados": dialect, **args}))
    check(answer.returncode == 0, f"{operation} answered {answer.returncode}: {answer.stderr}")
    return {k: v.get("value", v.get("items")) for k, v in json.loads(answer.stdout)["args"].items()}


def exact(text):
    return Decimal(str(text).replace(",", "."))


def number(graph, node, *path):
    for prop in path:
        node = graph.value(node, CARGO[prop])
    return Decimal(repr(node.toPython()))


def party(graph, shipment, role):
    for p in graph.objects(shipment, CARGO.involvedParties):
        if str(graph.value(p, CARGO.partyRole)) == CODES + "ParticipantIdentifier#" + role:
            return p
    return None


def check_party(graph, shipment, role, expected, tag):
    p = party(graph, shipment, role)
    check(p is not None, f"{tag}: no {role} party")
    if p is None:
        return
    agent = graph.value(p, CARGO.partyDetails)
    if expected["outvntIndic_PF_PJ"] == "PF":
        name = f"{graph.value(agent, CARGO.firstName)} {graph.value(agent, CARGO.lastName)}"
    else:
        name = str(graph.value(agent, CARGO.name))
    check(name == expected["outvntNome"], f"{tag}: {role} name {name}")
    address = graph.value(graph.value(agent, CARGO.basedAtLocation), CARGO.address)
    for prop, out in [("textualPostCode", "outvntcep"), ("cityName", "outvntmunicipio"),
                      ("streetAddressLines", "outvntendereco")]:
        check(str(graph.value(address, CARGO[prop])) == expected[out], f"{tag}: {role} {prop}")
    city = graph.value(graph.value(address, CARGO.cityCode), CARGO.code)
    check(str(city) == expected["outvntcod_munic_iata"], f"{tag}: {role} city code")
    ids = {str(graph.value(i, CARGO.textualValue)) for i in graph.objects(p, CARGO.otherIdentifiers)}
    check(expected["outvntCGC_CPF"] in ids, f"{tag}: {role} tax id missing from {ids}")


def check_coleta(db, flags, dialect, coleta_id, terms):
    tag = f"{dialect} Coleta {coleta_id}"
    out = run("coleta", "export", str(coleta_id), "--one-record", "--one-record-base", BASE,
              "--db", db, *flags)
    check(out.returncode == 0, f"{tag}: export answered {out.returncode}: {out.stderr}")
    graph = Graph().parse(data=out.stdout, format="json-ld")
    shipment = URIRef(f"{BASE}coletas/{coleta_id}")
    check((shipment, RDF.type, CARGO.Shipment) in graph, f"{tag}: no Shipment {shipment}")
    unlisted = used_terms(graph) - terms
    check(not unlisted, f"{tag}: terms not in the list: {sorted(unlisted)}")

    read = invoke(db, dialect, "gConsulta_Coleta", {"invntDOCTO_TRANSPORTE_ID": coleta_id})
    check(number(graph, shipment, "totalGrossWeight", "numericalValue") ==
          exact(read["outvntpeso_real"]), f"{tag}: weight")
    check(number(graph, shipment, "declaredValueForCarriage", "numericalValue") ==
          exact(read["outvntval_declarado"]), f"{tag}: declared value")
    check(str(graph.value(shipment, CARGO.goodsDescription)) == read["outvnttxt_embalagem"],
          f"{tag}: goods description")

    rows = read["outvntQtde_Linha"]
    matrix = read["outarrvntMatriz_DIM"]
    pieces = set(graph.objects(shipment, CARGO.pieces))
    check(len(pieces) == rows, f"{tag}: {len(pieces)} pieces for {rows} rows")
    for r in range(rows):
        piece = URIRef(f"{BASE}cargas/{matrix[4][r]['value']}")
        check(piece in pieces, f"{tag}: no piece {piece}")
        check(int(graph.value(piece, CARGO.slac)) == matrix[0][r]["value"], f"{tag}: slac")
        for column, prop in [(1, "width"), (2, "height"), (3, "length")]:
            check(number(graph, piece, "dimensions", prop, "numericalValue") ==
                  exact(matrix[column][r]["value"]), f"{tag}: piece {piece} {prop}")

    for role, address in [("SHP", "outvntEND_REMETENTE_ID"), ("CNE", "outvntEND_DESTINATARIO_ID")]:
        expected = invoke(db, dialect, "gConsulta_Dados_Pessoa",
                          {"invntENDERECO_PESSOA_ID": read[address]})
        check_party(graph, shipment, role, expected, tag)

    awb_refs = [r for r in graph.objects(shipment, CARGO.externalReferences)
                if str(graph.value(r, CARGO.documentType)) == "740"]
    has_awbs = bool(read["outvntTexto"])
    check(bool(awb_refs) == has_awbs, f"{tag}: air waybill reference {awb_refs} vs {has_awbs}")
    return graph


def main():
    terms = listed_terms()
    with tempfile.TemporaryDirectory() as tmp:
        db = f"Provider=SQLite;Data Source={tmp}/coleta.db"
        init = run("init", "--db", db, "--demo")
        check(init.returncode == 0, f"init: {init.stderr}")
        for flags, dialect in [([], "SQLSERVER"), (["--oracle"], "ORACLE")]:
            check_coleta(db, flags, dialect, 100, terms)  # three pieces, air waybills issued
            check_coleta(db, flags, dialect, 110, terms)  # no pieces, no air waybills
            missing = run("coleta", "export", "999", "--one-record", "--db", db, *flags)
            check(missing.returncode == 3 and "não encontrada" in missing.stderr
                  and missing.stdout == "", f"{dialect}: missing Coleta: {missing}")
        bad_base = run("coleta", "export", "100", "--one-record", "--one-record-base", "no iri",
                       "--db", db)
        check(bad_base.returncode == 2 and bad_base.stdout == "", f"bad base: {bad_base}")
    for f in failures:
        print("FAIL:", f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
