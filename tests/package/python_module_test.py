"""The Python module over the installed library: a Coleta saved, read and
deleted with Python values, a read's typed answer saved back unchanged, reads
from several threads through one component, and the errors.
usage: python_module_test.py DATABASE_FILE (the module and the library come
from PYTHONPATH and Z418KT_LIBRARY)."""

import concurrent.futures
import datetime
import decimal
import sys
import unittest

import z418kt


class ModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.db = "Provider=SQLite;Data Source=" + sys.argv[1]
        z418kt.init_database(cls.db, demo=True)
        cls.component = z418kt.Component()
        cls.context = {"invntConecta_DB": cls.db, "invntUsuario_Internet_ID": 0,
                       "invntBanco_Dados": "ORACLE"}

    def read(self, coleta_id):
        return self.component.call("gConsulta_Coleta", self.context,
                                   invntDOCTO_TRANSPORTE_ID=coleta_id)

    def test_save_read_delete_with_python_values(self):
        pieces = [{"volumes": 2, "width": decimal.Decimal("0.5"), "height": 0.4, "length": "0,3"},
                  {"volumes": 1, "width": decimal.Decimal("1.2"), "height": 0.8, "length": "0,6"}]
        saved = self.component.call(
            "gGrava_Coleta", self.context, INVNTCLIENTE_ID=2, invntEND_DESTINATARIO_ID=11,
            invntEND_REMETENTE_ID=12, invntnum_volume=3, invntpeso_real=decimal.Decimal("42.5"),
            invnttxt_embalagem="Caixas", invntval_declarado=1500, invntQtde_Linha=2,
            invntQtde_Coluna=5, inarrvntMatriz_Dim=z418kt.cargo_matrix(pieces),
            iovntDOCTO_TRANSPORTE_ID=0)
        self.assertEqual((saved.status, saved.message), (0, ""))
        coleta_id = saved.args["iovntDOCTO_TRANSPORTE_ID"]
        self.assertIsInstance(coleta_id, int)

        read = self.read(coleta_id)
        self.assertEqual(read.status, 0)
        self.assertEqual(read.args["outvnttxt_embalagem"], "Caixas")
        self.assertEqual(read.args["outvntcliente"], "Aurora Peças")
        cargo = z418kt.cargo_pieces(read.args["outarrvntMatriz_DIM"])
        self.assertEqual([p["volumes"] for p in cargo], [2, 1])
        self.assertTrue(all(isinstance(p["carga_id"], int) for p in cargo))

        deleted = self.component.call(0x60030004, self.context, invntDOCTO_TRANSPORTE_ID=coleta_id)
        self.assertEqual(deleted.status, 0)
        self.assertIsNone(self.read(coleta_id).args["outvnttxt_embalagem"])

    def test_typed_answer_round_trips_and_reads_run_in_parallel(self):
        first = self.read(100).typed  # the demo Coleta
        # Every output the save takes back, under its input's name (names are in any case).
        typed = {"in" + k[3:]: v for k, v in first["args"].items()
                 if k.startswith("out") and k not in ("outvntTexto", "outvntcliente",
                                                     "outvntMsg_Ret")}
        saved = self.component.call("gGrava_Coleta", self.context, iovntDOCTO_TRANSPORTE_ID=100,
                                    **typed)
        self.assertEqual((saved.status, saved.message), (0, ""))
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            answers = list(pool.map(lambda _: self.read(100).typed, range(100)))
        # The save replaces the cargo pieces, so only their new identifiers differ.
        for answer in [first] + answers:
            answer["args"]["outarrvntMatriz_DIM"]["items"].pop(4)
            self.assertEqual(answer, first)

    def test_front_door_dataclasses_keep_exact_values_and_the_rules(self):
        with z418kt.Coletas(self.db) as door:
            demo = door.get(100)
            self.assertEqual((demo.peso_kg, demo.valor_declarado, demo.editavel),
                             (decimal.Decimal("125.5"), decimal.Decimal("1500.75"), False))
            with self.assertRaises(z418kt.Conflict):
                door.remove(100)
            new = z418kt.Coleta(cliente_id=2, remetente_id=12, destinatario_id=11, volumes=1,
                                peso_kg=decimal.Decimal("0.1"), valor_declarado=decimal.Decimal("1500.75"),
                                embalagem="x", pecas=[z418kt.Peca(decimal.Decimal("0.5"), 1, 1, 2)])
            made = door.create(new, idempotency_key="py-1")
            self.assertEqual(door.create(new, idempotency_key="py-1").id, made.id)
            self.assertEqual((made.peso_kg, made.pecas[0].largura_m),
                             (decimal.Decimal("0.1"), decimal.Decimal("0.5")))
            with self.assertRaises(z418kt.Refused) as refused:
                door.create(z418kt.Coleta(cliente_id=98765, remetente_id=12, volumes=1,
                                          peso_kg=1, valor_declarado=1))
            self.assertEqual(refused.exception.errors,
                             [("cliente_id", "Cliente 98765 não encontrado.")])
            self.assertEqual(door.pessoa(11).tipo, "PF")
            door.remove(made.id)
            with self.assertRaises(z418kt.NotFound):
                door.get(made.id)

    def test_values_and_errors(self):
        for value, vt in ((5, "I4"), (2**40, "R8"), (1.5, "R8"), (True, "BOOL"), (None, "NULL"),
                          (decimal.Decimal("12.3456"), "CY"), ("á", "BSTR"),
                          (datetime.datetime(2024, 3, 15, 9, 30), "DATE"),
                          (z418kt.typed("I2", 7), "I2")):
            typed = z418kt.to_typed(value)
            self.assertEqual(typed["vt"], vt)
            back = z418kt.from_typed(typed)
            self.assertEqual(back, 7 if vt == "I2" else float(value) if vt == "R8" else value)
        self.assertEqual(z418kt.from_typed(z418kt.to_typed([[1, 2], [3, 4]])), [[1, 2], [3, 4]])
        for operation, args, number in (("NoSuchOperation", None, 438),
                                        ("gExclui_Coleta", [1, 2], 450)):
            with self.assertRaises(z418kt.Error) as raised:
                self.component.call(operation, args)
            self.assertEqual(raised.exception.number, number)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
