// Saving and deleting a whole Coleta: the order of the steps, what the caller's
// variables hold afterwards and where a failure stops the sequence.
#include "support/fakes.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt {
namespace {

using testing::noResultSet;
using testing::rows;

testing::Scripted retorno(int32_t value) { return rows({"retorno"}, {{value}}); }
testing::Scripted newKey(const char* column, int32_t id, int32_t answer = 0) {
  return rows({"retorno", column}, {{answer, id}});
}
const Variant kStatusOk(int16_t{0}), kStatusFailed(int16_t{10});

class ColetaWrites : public testing::ComponentTest {
 protected:
  // A matrix of `count` rows: volumes r + 1, dimensions "0,r1" "0,r2" "0,r3", old ids 900 + r.
  static Variant matrix(int32_t count) {
    SafeArray m = SafeArray::zeroBased(4, count - 1);
    for (int32_t r = 0; r < count; ++r) {
      m.at(0, r) = Variant(r + 1);
      for (int32_t c = 1; c < 4; ++c)
        m.at(c, r) = Variant("0," + std::to_string(r) + std::to_string(c));
      m.at(4, r) = Variant(900 + r);
    }
    return Variant(std::move(m));
  }
  void script(std::initializer_list<testing::Scripted> answers) {
    runner->answers.insert(runner->answers.end(), answers);
  }
  Variant save(const char* banco, Variant id, int32_t count) {
    docId = std::move(id);
    return call("gGrava_Coleta", banco,
                {&cliente, &destino, &origem, &volumes, &peso, &txt, &valor, Variant(count),
                 Variant(int32_t{5}), &cargas, &docId, &msg});
  }
  Variant erase(Variant id) {
    docId = std::move(id);
    return call("gExclui_Coleta", "SQLSERVER", {&docId, &msg});
  }
  Variant piece(int32_t row) { return cargas.array().at(4, row); }
  Variant cliente{int32_t{2}}, destino{int32_t{11}}, origem{int32_t{12}}, volumes{int32_t{6}},
      peso{"125,5"}, txt{"Caixas"}, valor{"1500,75"}, cargas = matrix(3), docId, msg{"caller"};
};

TEST_F(ColetaWrites, NewColetaStoresHeaderAndPiecesAndWritesTheIdsBack) {
  script({newKey("DOCTO_TRANSPORTE_ID", 500), retorno(0), newKey("CARGA_ID", 601),
          newKey("CARGA_ID", 602)});
  EXPECT_EQ(save("SQLSERVER", Variant(int32_t{0}), 2), kStatusOk);
  EXPECT_EQ(statements(), (std::vector<std::string>{
                              "EXEC SP_KTR_INC_SOLICIT_COLETA   a7(2), a7(11), a7(12), a7(6), "
                              "a7(d(125,5)), a7(1), a7(5), a8(Caixas), a7(d(1500,75)), a7(1)",
                              "EXEC SP_KTR_EXC_CARGA_AWB   a7(), a7(500) ",
                              "EXEC SP_KTR_INC_CARGA_awb   a7(500), a7(d(0,01)), a7(d(0,02)), "
                              "a7(d(0,03)), a7(1)",
                              "EXEC SP_KTR_INC_CARGA_awb   a7(500), a7(d(0,11)), a7(d(0,12)), "
                              "a7(d(0,13)), a7(2)"}));
  EXPECT_EQ(docId, Variant(int32_t{500}));
  EXPECT_EQ((std::vector<Variant>{piece(0), piece(1), piece(2)}),
            (std::vector<Variant>{Variant(int32_t{601}), Variant(int32_t{602}),
                                  Variant(int32_t{902})}));  // the third is beyond the count
  EXPECT_EQ(msg, Variant("caller"));
}

TEST_F(ColetaWrites, RefusalsStopTheSequenceWhereTheyHappen) {
  // A refused field: nothing reaches the database, the fields come back cleaned
  // and the message is the check's own.
  state->onCheck = [](int, const Variant& caption, const Variant&, Variant& message) {
    if (vb::cstr(caption) != "Peso") return Variant::boolean(true);
    message = Variant("O campo Peso deve ser um número.");
    return Variant::boolean(false);
  };
  peso = Variant(" 12 ");
  EXPECT_EQ(save("ORACLE", Variant(int32_t{0}), 2), kStatusFailed);
  EXPECT_TRUE(runner->opened.empty());
  EXPECT_EQ(msg, Variant("O campo Peso deve ser um número."));
  EXPECT_EQ((std::vector<Variant>{peso, cliente, docId}),
            (std::vector<Variant>{Variant("12"), Variant("2"), Variant("0")}));

  // An update the procedure refuses ("retorno" 1): no cargo step, message untouched.
  state->onCheck = nullptr;
  msg = Variant("caller");
  script({retorno(1)});
  EXPECT_EQ(save("SQLSERVER", Variant(int32_t{42}), 2), kStatusFailed);
  EXPECT_EQ(runner->opened.size(), 1u);
  EXPECT_EQ(msg, Variant("caller"));
}

TEST_F(ColetaWrites, AnOracleCargoKeyThatCannotBeAllocatedStopsTheSave) {
  int allocations = 0;
  state->onAllocate = [&](const std::string&, std::string& message, int32_t& id) {
    if (++allocations < 3) {
      id = state->nextId++;
      return Variant::boolean(true);
    }
    message = "Sem identificador.";
    return Variant::boolean(false);
  };
  script({noResultSet(), newKey("DOCTO_TRANSPORTE_ID", 1001), noResultSet(), retorno(0),
          noResultSet(), newKey("CARGA_ID", 1002)});
  EXPECT_EQ(save("ORACLE", Variant(int32_t{0}), 3), kStatusFailed);
  EXPECT_EQ(runner->opened.size(), 6u);  // document, its SELECT, DELETE, SELECT, one piece, SELECT
  EXPECT_EQ(docId, Variant(int32_t{1001}));
  EXPECT_EQ(piece(0), Variant(int32_t{1002}));
  EXPECT_EQ(piece(1), Variant(int32_t{901}));
  EXPECT_EQ(msg, Variant("Sem identificador."));
  EXPECT_EQ(state->identifierInstances, 3);
  EXPECT_EQ(state->identifierReleased, 3);
}

TEST_F(ColetaWrites, AMatrixThatDoesNotFitTheRowCountEndsInTheTrap) {
  const std::string generic =
      "Acesso a informações do Cadastro de Coleta não disponível. Favor tentar mais tarde.";
  // Two rows announced, one given: row 0 is stored, then "Subscript out of range".
  cargas = matrix(1);
  script({retorno(0), retorno(0), newKey("CARGA_ID", 601)});
  EXPECT_EQ(save("SQLSERVER", Variant(int32_t{42}), 2), kStatusFailed);
  EXPECT_EQ(piece(0), Variant(int32_t{601}));
  EXPECT_EQ(msg.text(),
            generic + "gGrava_Coleta - Z418KT ( Subscript out of range : 9)   No Nº 10570");

  // No array at all: nothing after the cargo removal runs.
  cargas = Variant("not a matrix");
  script({retorno(0), retorno(0)});
  EXPECT_EQ(save("SQLSERVER", Variant(int32_t{42}), 1), kStatusFailed);
  EXPECT_EQ(runner->opened.size(), 5u);
}

TEST_F(ColetaWrites, DeleteRemovesPiecesThenTheDocumentAndStopsAtTheFirstFailure) {
  script({retorno(0), retorno(0)});
  EXPECT_EQ(erase(Variant(int32_t{42})), kStatusOk);
  EXPECT_EQ(statements(),
            (std::vector<std::string>{"EXEC SP_KTR_EXC_CARGA_AWB   a7(), a7(42) ",
                                      "EXEC SP_KTR_EXC_SOLICIT_COLETA   a7(42), a7(1)"}));
  // The piece step refusing stops before the document.
  script({retorno(1)});
  EXPECT_EQ(erase(Variant(int32_t{42})), kStatusFailed);
  EXPECT_EQ(runner->opened.size(), 3u);
  EXPECT_EQ(msg, Variant("caller"));
}

}  // namespace
}  // namespace z418kt
