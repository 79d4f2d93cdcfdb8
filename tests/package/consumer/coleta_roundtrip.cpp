// A library user's program: creates a database in a new SQLite file, then
// saves, reads and deletes a Coleta through the public C++ API only.
// Usage: coleta_roundtrip FILE. Exit 0 when every step did what it should.
#include <z418kt/database.h>
#include <z418kt/safe_array.h>
#include <z418kt/z418kt.h>

#include <cstdint>
#include <iostream>
#include <string>

using z418kt::SafeArray;
using z418kt::Variant;

namespace {

int failures = 0;

void expect(bool ok, const std::string& what) {
  if (!ok) {
    std::cerr << "FAILED: " << what << '\n';
    ++failures;
  }
}

bool succeeded(const Variant& status) {
  return status.type() == z418kt::VarType::I2 && status.i2() == 0;
}

// The caller context every operation takes first.
struct Context {
  Variant connection, user{int32_t{0}}, company, kind{"ORACLE"}, product{"consumer"};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: coleta_roundtrip FILE\n";
    return 2;
  }
  Context c;
  c.connection = Variant(std::string("Provider=SQLite;Data Source=") + argv[1]);
  z418kt::Z418kt component;
  try {
    z418kt::initDatabase(z418kt::vb::cstr(c.connection), true);

    SafeArray cargo = SafeArray::zeroBased(4, 1);  // (column, row): two pieces
    const char* pieces[2][4] = {{"2", "0.5", "0.4", "0.3"}, {"1", "1.2", "0.8", "0.6"}};
    for (int32_t row = 0; row < 2; ++row)
      for (int32_t column = 0; column < 4; ++column) cargo.at(column, row) = pieces[row][column];
    Variant cliente(int32_t{2}), destinatario(int32_t{11}), remetente(int32_t{12}),
        volumes(int32_t{3}), peso("42,5"), embalagem("Caixas"), valor(int32_t{1500}),
        rows(int32_t{2}), columns(int32_t{5}), matrix(cargo), id(int32_t{0}), message;
    Variant saved = component.gGrava_Coleta(c.connection, c.user, c.company, c.kind, c.product,
                                            cliente, destinatario, remetente, volumes, peso,
                                            embalagem, valor, rows, columns, matrix, id, message);
    expect(succeeded(saved), "save: " + z418kt::vb::concatText(message));
    expect(z418kt::vb::clng(id) > 0, "save writes the new identifier back");

    Variant outDest, outRem, outVolumes, outPeso, outEmbalagem, outValor, outRows, outColumns,
        outMatrix, outTexto, outClienteId, outCliente, outMessage;
    auto read = [&] {
      return component.gConsulta_Coleta(c.connection, c.user, c.company, c.kind, c.product, id,
                                        outDest, outRem, outVolumes, outPeso, outEmbalagem,
                                        outValor, outRows, outColumns, outMatrix, outTexto,
                                        outClienteId, outCliente, outMessage);
    };
    expect(succeeded(read()), "read: " + z418kt::vb::concatText(outMessage));
    expect(z418kt::vb::cstr(outEmbalagem) == "Caixas" && z418kt::vb::clng(outRem) == 12,
           "read gives the saved fields");
    expect(outMatrix.isArray() && outMatrix.array().ubound(2) == 1 &&
               z418kt::vb::clng(outMatrix.array().at(0, 1)) == 1,
           "read gives both cargo pieces");

    Variant deleteMessage;
    expect(succeeded(component.gExclui_Coleta(c.connection, c.user, c.company, c.kind, c.product,
                                              id, deleteMessage)),
           "delete: " + z418kt::vb::concatText(deleteMessage));
    outEmbalagem = Variant();
    expect(succeeded(read()) && outEmbalagem.isEmpty(), "a deleted Coleta reads as missing");

    // An error raised inside the library is caught here by its type.
    try {
      z418kt::vb::clng(Variant("abc"));
      expect(false, "a text that is no number raises");
    } catch (const z418kt::AutomationError& e) {
      expect(e.number == 13, "type mismatch is error 13");
    }
  } catch (const z418kt::AutomationError& e) {
    expect(false, "unexpected error " + std::to_string(e.number) + ": " + e.description);
  }
  return failures == 0 ? 0 : 1;
}
