// A library user's program: creates a database in a new SQLite file, saves a
// Coleta with two cargo pieces and reads it back through the public C++ API
// only, and catches an error raised inside the library by its type.
// Usage: coleta_roundtrip FILE. Exit 0 when every step did what it should.
#include <z418kt/database.h>
#include <z418kt/safe_array.h>
#include <z418kt/z418kt.h>

#include <cstdint>
#include <iostream>
#include <string>

using z418kt::Variant;
namespace vb = z418kt::vb;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Variant db(std::string("Provider=SQLite;Data Source=") + argv[1]), user(int32_t{0}), company,
      kind("ORACLE"), product("consumer"), message;
  z418kt::Z418kt component;
  try {
    z418kt::initDatabase(vb::cstr(db), true);
    z418kt::SafeArray cargo = z418kt::SafeArray::zeroBased(4, 1);  // (column, row)
    const char* pieces[2][4] = {{"2", "0.5", "0.4", "0.3"}, {"1", "1.2", "0.8", "0.6"}};
    for (int32_t row = 0; row < 2; ++row)
      for (int32_t column = 0; column < 4; ++column) cargo.at(column, row) = pieces[row][column];
    Variant cliente(int32_t{2}), destinatario(int32_t{11}), remetente(int32_t{12}),
        volumes(int32_t{3}), peso("42,5"), embalagem("Caixas"), valor(int32_t{1500}),
        rows(int32_t{2}), columns(int32_t{5}), matrix(cargo), id(int32_t{0});
    Variant saved = component.gGrava_Coleta(db, user, company, kind, product, cliente, destinatario,
                                            remetente, volumes, peso, embalagem, valor, rows,
                                            columns, matrix, id, message);
    Variant outDest, outRem, outVolumes, outPeso, outEmbalagem, outValor, outRows, outColumns,
        outMatrix, outTexto, outClienteId, outCliente;
    Variant read = component.gConsulta_Coleta(
        db, user, company, kind, product, id, outDest, outRem, outVolumes, outPeso, outEmbalagem,
        outValor, outRows, outColumns, outMatrix, outTexto, outClienteId, outCliente, message);
    auto failed = [](const Variant& status) {
      return status.type() != z418kt::VarType::I2 || status.i2() != 0;
    };
    if (failed(saved) || vb::clng(id) <= 0 || failed(read) || vb::cstr(outEmbalagem) != "Caixas" ||
        vb::clng(outRem) != 12 || !outMatrix.isArray() || outMatrix.array().ubound(2) != 1 ||
        vb::clng(outMatrix.array().at(0, 1)) != 1) {
      std::cerr << "save and read back failed: " << vb::concatText(message) << '\n';
      return 1;
    }
    vb::clng(Variant("abc"));
    std::cerr << "a text that is no number raised nothing\n";
  } catch (const z418kt::AutomationError& e) {
    if (e.number == 13) return 0;  // type mismatch, caught here by its type
    std::cerr << "error " << e.number << ": " << e.description << '\n';
  }
  return 1;
}
