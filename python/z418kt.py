"""The Coleta component from Python, through the library's C entry point.

Values come back as Python values: int (I2, I4), float (R8), Decimal (CY),
datetime (DATE), bool, str, None (NULL and EMPTY) and nested lists for arrays
(the cargo matrix is matrix[column][row]; cargo_pieces() turns it into one
dict per piece). Every answer also keeps the library's typed JSON, whose
values can be given back unchanged: a dict with a "vt" key is passed through
as it is, and typed() builds one for a type Python cannot tell apart (I2).

The library is loaded from $Z418KT_LIBRARY or, by default, libz418kt08.so.1
through the system's library path. A Component may be used from several
threads at once; ctypes releases the GIL while the library works.
"""

import ctypes
import dataclasses
import datetime
import decimal
import json
import math
import os

__all__ = ["Component", "Answer", "Error", "init_database", "typed", "to_typed", "from_typed",
           "cargo_pieces", "cargo_matrix", "CARGO_COLUMNS", "version",
           "Coletas", "Coleta", "Peca", "Pessoa", "Refused", "NotFound", "Conflict",
           "Unavailable"]

# The cargo matrix's columns, in order.
CARGO_COLUMNS = ("volumes", "width", "height", "length", "carga_id")

_DATE_FORMAT = "%Y-%m-%d %H:%M:%S"
_I4_RANGE = range(-2**31, 2**31)


class Error(Exception):
    """A call that failed as a whole: {"error": {"number": N, "description": ...}}."""

    def __init__(self, number, description):
        super().__init__(f"{description} ({number})")
        self.number = number
        self.description = description


def _load(path=None):
    lib = ctypes.CDLL(path or os.environ.get("Z418KT_LIBRARY") or "libz418kt08.so.1")
    answer = ctypes.c_void_p  # freed with z418kt_free, so kept as a raw pointer
    for name, argtypes in (("z418kt_call", [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]),
                           ("z418kt_call_dispid", [ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p]),
                           ("z418kt_request", [ctypes.c_void_p, ctypes.c_char_p]),
                           ("z418kt_init_database", [ctypes.c_char_p, ctypes.c_int])):
        getattr(lib, name).argtypes = argtypes
        getattr(lib, name).restype = answer
    door = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]
    for name, argtypes in (("z418kt_coleta_get", door + [ctypes.c_int64]),
                           ("z418kt_coleta_create", door + [ctypes.c_char_p, ctypes.c_char_p]),
                           ("z418kt_coleta_update", door + [ctypes.c_int64, ctypes.c_char_p]),
                           ("z418kt_coleta_remove", door + [ctypes.c_int64]),
                           ("z418kt_coleta_list", door + [ctypes.c_char_p]),
                           ("z418kt_pessoa_get", door + [ctypes.c_int64]),
                           ("z418kt_pessoa_search", door + [ctypes.c_char_p])):
        getattr(lib, name).argtypes = argtypes
        getattr(lib, name).restype = answer
    lib.z418kt_create.argtypes = []
    lib.z418kt_create.restype = ctypes.c_void_p
    lib.z418kt_destroy.argtypes = [ctypes.c_void_p]
    lib.z418kt_destroy.restype = None
    lib.z418kt_free.argtypes = [ctypes.c_void_p]
    lib.z418kt_free.restype = None
    lib.z418kt_version.restype = ctypes.c_char_p
    return lib


_library = None


def _lib():
    global _library
    if _library is None:
        _library = _load()
    return _library


def _answer_of(lib, pointer):
    if not pointer:
        raise MemoryError("z418kt: out of memory")
    try:
        answer = json.loads(ctypes.string_at(pointer).decode("utf-8"))
    finally:
        lib.z418kt_free(pointer)
    if "error" in answer:
        raise Error(answer["error"]["number"], answer["error"]["description"])
    return answer


def typed(vt, value=None):
    """A typed value, e.g. typed("I2", 10); given as an argument it is passed unchanged."""
    return {"vt": vt} if vt in ("EMPTY", "NULL") else {"vt": vt, "value": value}


def to_typed(value):
    """The typed JSON form of a Python value."""
    if isinstance(value, dict) and "vt" in value:
        return value
    if value is None:
        return {"vt": "NULL"}
    if isinstance(value, bool):
        return {"vt": "BOOL", "value": value}
    if isinstance(value, int):
        return {"vt": "I4", "value": value} if value in _I4_RANGE else to_typed(float(value))
    if isinstance(value, float):
        if math.isnan(value):
            return {"vt": "R8", "value": "NaN"}
        if math.isinf(value):
            return {"vt": "R8", "value": "Infinity" if value > 0 else "-Infinity"}
        return {"vt": "R8", "value": value}
    if isinstance(value, decimal.Decimal):
        return {"vt": "CY", "value": format(value, "f")}
    if isinstance(value, datetime.datetime):
        return {"vt": "DATE", "value": value.strftime(_DATE_FORMAT)}
    if isinstance(value, datetime.date):
        return {"vt": "DATE", "value": value.strftime("%Y-%m-%d")}
    if isinstance(value, str):
        return {"vt": "BSTR", "value": value}
    if isinstance(value, (list, tuple)):
        if value and all(isinstance(v, (list, tuple)) for v in value):
            return {"vt": "ARRAY", "lbounds": [0, 0],
                    "items": [[to_typed(v) for v in column] for column in value]}
        return {"vt": "ARRAY", "lbounds": [0], "items": [to_typed(v) for v in value]}
    raise TypeError(f"z418kt: no variant type for {type(value).__name__}")


def from_typed(value):
    """The Python value of a typed JSON value."""
    vt = value["vt"]
    if vt in ("EMPTY", "NULL"):
        return None
    if vt == "ARRAY":
        return [from_typed(v) if isinstance(v, dict) else [from_typed(w) for w in v]
                for v in value["items"]]
    v = value["value"]
    if vt in ("I2", "I4"):
        return int(v)
    if vt == "R8":
        return float(v)
    if vt == "CY":
        return decimal.Decimal(v)
    if vt == "DATE":
        return datetime.datetime.strptime(v, _DATE_FORMAT)
    return v  # BOOL, BSTR


def cargo_pieces(matrix):
    """The cargo matrix (matrix[column][row], as read) as one dict per piece."""
    if not matrix:
        return []
    return [{name: matrix[c][row] for c, name in enumerate(CARGO_COLUMNS)}
            for row in range(len(matrix[0]))]


def cargo_matrix(pieces):
    """The cargo matrix of gGrava_Coleta from piece dicts (a missing carga_id is 0)."""
    return [[piece.get(name, 0) for piece in pieces] for name in CARGO_COLUMNS]


class Answer:
    """One call's answer: the result and every argument as the call left them."""

    def __init__(self, typed_answer):
        self.typed = typed_answer  # as the library answered: give its values back unchanged
        self.result = from_typed(typed_answer["result"])
        self.args = {name: from_typed(v) for name, v in typed_answer["args"].items()}

    @property
    def status(self):
        """A g... operation's result: 0 when it succeeded, 10 otherwise."""
        return self.result if type(self.result) is int else 10

    @property
    def message(self):
        return self.args.get("outvntMsg_Ret") or ""

    def __repr__(self):
        return f"Answer(result={self.result!r}, args={self.args!r})"


class _Handle:
    """One component of the library, destroyed by close(), at the end of a
    with block, or when the object goes."""

    _handle = None

    def __init__(self):
        self._lib = _lib()
        self._handle = self._lib.z418kt_create()
        if not self._handle:
            raise MemoryError("z418kt: out of memory")

    def close(self):
        if self._handle:
            self._lib.z418kt_destroy(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()


class Component(_Handle):
    """A component of the library; call() runs one operation."""

    def call(self, operation, args=None, **named):
        """Calls an operation by name (any case) or dispatch identifier.

        args: a list (one value per parameter) or a dict by parameter name;
        keyword arguments add named ones. Raises Error when the call fails as
        a whole; a status 10 is an answer (see Answer.message).
        """
        if isinstance(args, (list, tuple)):
            if named:
                raise TypeError("z418kt: positional and named arguments cannot be mixed")
            request = [to_typed(v) for v in args]
        else:
            request = {name: to_typed(v) for name, v in {**(args or {}), **named}.items()}
        text = json.dumps({"args": request}).encode("utf-8")
        if isinstance(operation, int):
            pointer = self._lib.z418kt_call_dispid(self._handle, operation, text)
        else:
            pointer = self._lib.z418kt_call(self._handle, operation.encode("utf-8"), text)
        return Answer(_answer_of(self._lib, pointer))



def init_database(connection, demo=False):
    """Creates the schema (and with demo=True the demo data) on an empty database."""
    lib = _lib()
    _answer_of(lib, lib.z418kt_init_database(connection.encode("utf-8"), 1 if demo else 0))


def version():
    """The library's version, "MAJOR.MINOR.PATCH"."""
    return _lib().z418kt_version().decode("ascii")


# ----- the typed front door -----

class NotFound(Error):
    """No such Coleta or party."""


class Refused(Error):
    """Refused by the rules; `errors` holds every (field, message), the operations' own first."""

    def __init__(self, number, description, errors=()):
        super().__init__(number, description)
        self.errors = list(errors)


class Conflict(Error):
    """A Coleta with air waybills issued: it can no longer change (or a reused idempotency key)."""


class Unavailable(Error):
    """The database could not be reached or did not answer in time: try later."""


_STATUS_ERRORS = {"not_found": (NotFound, 404), "refused": (Refused, 422),
                  "conflict": (Conflict, 409), "unavailable": (Unavailable, 503),
                  "failed": (Error, 500)}


def _exact(value):
    return None if value is None else decimal.Decimal(str(value))


def _number(value):
    """A Decimal as the JSON number the resource takes, exactly as written."""
    if value is None:
        return None
    value = decimal.Decimal(value)
    return int(value) if value == value.to_integral_value() else float(str(value))


@dataclasses.dataclass
class Peca:
    """A cargo piece: measures in metres, as exact Decimals."""
    largura_m: decimal.Decimal = None
    altura_m: decimal.Decimal = None
    comprimento_m: decimal.Decimal = None
    volumes: int = None
    id: int = 0


@dataclasses.dataclass
class Coleta:
    """A Coleta as the HTTP resource gives it; weight and money as exact Decimals.
    The names, `aviso` and `editavel` are read only."""
    cliente_id: int = None
    remetente_id: int = None
    destinatario_id: int = None
    volumes: int = None
    peso_kg: decimal.Decimal = None
    valor_declarado: decimal.Decimal = None
    embalagem: str = ""
    pecas: list = dataclasses.field(default_factory=list)
    id: int = 0
    cliente: str = None
    cliente_nome: str = None
    remetente_nome: str = None
    destinatario_nome: str = None
    data_emissao: str = None
    aviso: str = None
    editavel: bool = True

    @classmethod
    def from_json(cls, j):
        fields = {f.name for f in dataclasses.fields(cls)}
        c = cls(**{k: v for k, v in j.items() if k in fields and k != "pecas"})
        c.peso_kg, c.valor_declarado = _exact(c.peso_kg), _exact(c.valor_declarado)
        c.pecas = [Peca(id=p.get("id", 0), volumes=p.get("volumes"),
                        **{k: _exact(p.get(k)) for k in ("largura_m", "altura_m", "comprimento_m")})
                   for p in j.get("pecas", [])]
        return c

    def to_json(self):
        return {"cliente_id": self.cliente_id, "remetente_id": self.remetente_id,
                "destinatario_id": self.destinatario_id, "volumes": self.volumes,
                "peso_kg": _number(self.peso_kg),
                "valor_declarado": None if self.valor_declarado is None
                else str(decimal.Decimal(self.valor_declarado)),
                "embalagem": self.embalagem,
                "pecas": [{"largura_m": _number(p.largura_m), "altura_m": _number(p.altura_m),
                           "comprimento_m": _number(p.comprimento_m), "volumes": p.volumes}
                          for p in self.pecas]}


@dataclasses.dataclass
class Pessoa:
    """The party at an address: tipo "PF" (a person) or "PJ" (a company)."""
    endereco_id: int
    pessoa_id: int = None
    tipo: str = ""
    nome: str = ""
    nome_fantasia: str = ""
    cpf_cnpj: str = ""
    ie_rg: str = ""
    endereco: str = ""
    cep: str = ""
    municipio: str = ""
    municipio_id: int = None
    cod_municipio_iata: str = ""


class Coletas(_Handle):
    """The library's front door: Coletas and parties as dataclasses, with the
    rules every front end keeps (see <z418kt/coletas.h>). Anything but success
    raises NotFound, Refused, Conflict, Unavailable or Error."""

    def __init__(self, connection, oracle=False):
        super().__init__()
        self._context = (connection.encode("utf-8"), b"ORACLE" if oracle else b"SQLSERVER")

    def _value(self, name, *args):
        answer = _answer_of(self._lib, getattr(self._lib, name)(self._handle, *self._context, *args))
        if answer["status"] == "done":
            return answer.get("valor")
        kind, number = _STATUS_ERRORS.get(answer["status"], (Error, 500))
        if kind is Refused:
            raise Refused(number, answer.get("mensagem", ""),
                          [(e["campo"], e["mensagem"]) for e in answer.get("erros", [])])
        raise kind(number, answer.get("mensagem", ""))

    def get(self, id):
        return Coleta.from_json(self._value("z418kt_coleta_get", id))

    def create(self, coleta, idempotency_key=None):
        key = idempotency_key.encode("utf-8") if idempotency_key else None
        return Coleta.from_json(self._value("z418kt_coleta_create",
                                            json.dumps(coleta.to_json()).encode(), key))

    def update(self, id, coleta):
        return Coleta.from_json(self._value("z418kt_coleta_update", id,
                                            json.dumps(coleta.to_json()).encode()))

    def remove(self, id):
        self._value("z418kt_coleta_remove", id)

    def list(self, **filters):
        """(coletas, next cursor or None); filters as GET /v1/coletas takes them."""
        page = self._value("z418kt_coleta_list", json.dumps(filters).encode())
        return [Coleta.from_json(c) for c in page["itens"]], page.get("proximo_cursor")

    def pessoa(self, endereco_id):
        return Pessoa(**self._value("z418kt_pessoa_get", endereco_id))

    def search(self, q, **page):
        page = self._value("z418kt_pessoa_search", json.dumps(dict(page, q=q)).encode())
        return [Pessoa(**p) for p in page["itens"]], page.get("proximo_cursor")

