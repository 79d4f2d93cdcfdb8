"""The ONE Record export of the demo Coleta read back as linked data: in both
dialects it parses as JSON-LD (rdflib), uses only the listed ONE Record terms,
and carries exactly the numbers, names and codes that gConsulta_Coleta and
gConsulta_Dados_Pessoa answer. A missing Coleta is "not found" (exit 3).
usage: one_record_export_test.py Z418KT_BINARY TERMS_FILE"""
import json
import os
import subprocess
import sys
from decimal import Decimal

from rdflib import RDF, Graph, Namespace, URIRef

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "http"))
from server_fixture import demo_database  # noqa: E402

CARGO = Namespace("https://onerecord.iata.org/ns/cargo#")
CODES = "https://onerecord.iata.org/ns/code-lists/"
BASE = "https://1r.example.com/logistics-objects/"
binary, terms_file = sys.argv[1:3]
failures = []


def same(got, expected, what):
    if got != expected:
        failures.append(f"{what}: {got!r}, expected {expected!r}")


def run(*args):
    return subprocess.run([binary, *args], capture_output=True, text=True, timeout=60)


def invoke(db, dialect, operation, **args):
    answer = run("invoke", operation, "--args", json.dumps(
        {"invntConecta_DB": db, "invntBanco_Dados": dialect, **args}))
    same(answer.returncode, 0, f"{operation}: {answer.stderr}")
    return {k: v.get("value", v.get("items")) for k, v in json.loads(answer.stdout)["args"].items()}


def number(graph, node, *path):
    for prop in path:
        node = graph.value(node, CARGO[prop])
    return Decimal(repr(node.toPython()))


def exact(text):
    return Decimal(str(text).replace(",", "."))


def check_party(graph, shipment, role, expected, tag):
    code = CODES + "ParticipantIdentifier#" + role
    p = next((p for p in graph.objects(shipment, CARGO.involvedParties)
              if str(graph.value(p, CARGO.partyRole)) == code), None)
    if p is None:
        return failures.append(f"{tag}: no {role} party")
    agent = graph.value(p, CARGO.partyDetails)
    name = [graph.value(agent, CARGO[k]) for k in ("firstName", "lastName", "name")]
    name = "%s %s" % tuple(name[:2]) if expected["outvntIndic_PF_PJ"] == "PF" else str(name[2])
    address = graph.value(graph.value(agent, CARGO.basedAtLocation), CARGO.address)
    city = graph.value(graph.value(address, CARGO.cityCode), CARGO.code)
    ids = {str(graph.value(i, CARGO.textualValue))
           for i in graph.objects(p, CARGO.otherIdentifiers)}
    for got, out in [(name, "outvntNome"), (city, "outvntcod_munic_iata"),
                     (graph.value(address, CARGO.textualPostCode), "outvntcep"),
                     (graph.value(address, CARGO.cityName), "outvntmunicipio"),
                     (graph.value(address, CARGO.streetAddressLines), "outvntendereco")]:
        same(str(got), expected[out], f"{tag}: {role} {out}")
    same(expected["outvntCGC_CPF"] in ids, True, f"{tag}: {role} tax id in {ids}")


def check_coleta(db, flags, dialect, coleta_id, terms):
    tag = f"{dialect} Coleta {coleta_id}"
    out = run("coleta", "export", str(coleta_id), "--one-record", "--one-record-base", BASE,
              "--db", db, *flags)
    same(out.returncode, 0, f"{tag}: export: {out.stderr}")
    graph = Graph().parse(data=out.stdout, format="json-ld")
    shipment = URIRef(f"{BASE}coletas/{coleta_id}")
    same((shipment, RDF.type, CARGO.Shipment) in graph, True, f"{tag}: Shipment {shipment}")
    used = {str(t) for _, p, o in graph for t in (p, o) if t == p or isinstance(o, URIRef)}
    same({t for t in used if t.startswith((str(CARGO), CODES))} - terms, set(), f"{tag}: unlisted")

    read = invoke(db, dialect, "gConsulta_Coleta", invntDOCTO_TRANSPORTE_ID=coleta_id)
    for got, out in [(number(graph, shipment, "totalGrossWeight", "numericalValue"),
                      "outvntpeso_real"),
                     (number(graph, shipment, "declaredValueForCarriage", "numericalValue"),
                      "outvntval_declarado")]:
        same(got, exact(read[out]), f"{tag}: {out}")
    same(str(graph.value(shipment, CARGO.goodsDescription)), read["outvnttxt_embalagem"],
         f"{tag}: goods description")
    matrix = read["outarrvntMatriz_DIM"]
    pieces = set(graph.objects(shipment, CARGO.pieces))
    same(len(pieces), read["outvntQtde_Linha"], f"{tag}: pieces")
    for r in range(read["outvntQtde_Linha"]):
        piece = URIRef(f"{BASE}cargas/{matrix[4][r]['value']}")
        same(piece in pieces, True, f"{tag}: piece {piece}")
        same(int(graph.value(piece, CARGO.slac)), matrix[0][r]["value"], f"{tag}: {piece} slac")
        for column, prop in [(1, "width"), (2, "height"), (3, "length")]:
            same(number(graph, piece, "dimensions", prop, "numericalValue"),
                 exact(matrix[column][r]["value"]), f"{tag}: {piece} {prop}")

    for role, address in [("SHP", "outvntEND_REMETENTE_ID"), ("CNE", "outvntEND_DESTINATARIO_ID")]:
        check_party(graph, shipment, role, invoke(db, dialect, "gConsulta_Dados_Pessoa",
                                                  invntENDERECO_PESSOA_ID=read[address]), tag)
    awbs = [r for r in graph.objects(shipment, CARGO.externalReferences)
            if str(graph.value(r, CARGO.documentType)) == "740"]
    same(bool(awbs), bool(read["outvntTexto"]), f"{tag}: air waybill reference {awbs}")


def main():
    prefixes = {"cargo": str(CARGO), "codes": CODES}
    with open(terms_file, encoding="utf-8") as f:
        terms = {prefixes[t.split(":")[0]] + t.split(":", 1)[1]
                 for t in map(str.strip, f) if t and not t.startswith("#")}
    with demo_database(binary) as (db, _):
        for flags, dialect in [([], "SQLSERVER"), (["--oracle"], "ORACLE")]:
            check_coleta(db, flags, dialect, 100, terms)  # three pieces, air waybills issued
            check_coleta(db, flags, dialect, 110, terms)  # no pieces, no air waybills
            missing = run("coleta", "export", "999", "--one-record", "--db", db, *flags)
            same((missing.returncode, "não encontrada" in missing.stderr, missing.stdout),
                 (3, True, ""), f"{dialect}: missing Coleta")
        bad = run("coleta", "export", "100", "--one-record", "--one-record-base", "no iri",
                  "--db", db)
        same((bad.returncode, bad.stdout), (2, ""), "bad base")
    for f in failures:
        print("FAIL:", f)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
