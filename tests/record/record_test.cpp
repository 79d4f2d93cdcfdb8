// Coletas and parties as plain values on a real database, in both dialects.
#include <algorithm>

#include "record/coleta_record.h"
#include "record/party_record.h"
#include "support/engine_fixture.h"

namespace z418kt::record {
namespace {

namespace demo = testing::demo;

Decimal dec(const char* text) { return *Decimal::parse(text); }

class RecordOnEngine : public testing::EngineTest {
 protected:
  json::CallContext context() const { return {connection(), GetParam().dialect, 0}; }

  ColetaRecord read(int64_t id) {
    auto r = readColeta(component(), context(), id);
    EXPECT_EQ(r.status, ReadStatus::Found) << r.message;
    // Neither dialect orders the pieces.
    std::sort(r.value.pecas.begin(), r.value.pecas.end(),
              [](const PieceRecord& a, const PieceRecord& b) { return a.id < b.id; });
    return r.value;
  }
};

TEST_P(RecordOnEngine, ReadsSavesAndDeletesExactlyAndTellsMissingOnes) {
  ColetaRecord c = read(demo::kColeta);
  ASSERT_TRUE(c.aviso.has_value());
  EXPECT_FALSE(read(demo::kColetaSemAwb).aviso.has_value());
  const std::vector<PieceRecord> pieces = {{200, dec("0.5"), dec("0.4"), dec("0.6"), 2},
                                           {201, dec("1.2"), dec("0.8"), dec("1"), 3},
                                           {202, dec("0.25"), dec("0.25"), dec("0.3"), 1}};
  EXPECT_EQ(c,
            (ColetaRecord{demo::kColeta, demo::kEmpresa, demo::kEmpresaFantasia,
                          demo::kEnderecoEmpresa, demo::kEnderecoPessoaFisica, demo::kColetaVolumes,
                          dec("125.5"), dec("1500.75"), demo::kColetaEmbalagem, pieces, c.aviso}));
  EXPECT_EQ(readColeta(component(), context(), 999).status, ReadStatus::NotFound);
  EXPECT_EQ(readColeta(component(), context(), demo::kAwb).status, ReadStatus::NotFound);
  auto refused = readColeta(component(), context(), 0);
  EXPECT_EQ(refused.status, ReadStatus::Failed);
  EXPECT_EQ(refused.message, "Coleta não informada. Contacte o Administrador.");

  auto person = readParty(component(), context(), demo::kEnderecoPessoaFisica);
  EXPECT_EQ(person.value, (PartyRecord{demo::kEnderecoPessoaFisica, demo::kPessoaFisica, "PF",
                                       "Maria da Silva", "Maria", "123.456.789-09", "12.345.678-9",
                                       "Rua das Flores, 120", "01310-100", "São Paulo", 1, "SAO"}));
  EXPECT_EQ(readParty(component(), context(), 999).status, ReadStatus::NotFound);

  // Digits a binary double would change come back as they went.
  c.peso_kg = dec("0.1");
  c.valor_declarado = dec("1234567.89");
  c.pecas[0].largura_m = dec("0.0001");
  SaveOutcome saved = saveColeta(component(), context(), c, 0);
  ASSERT_TRUE(saved.saved) << saved.message;
  ASSERT_EQ(saved.pieceIds.size(), 3u);
  ColetaRecord back = read(saved.id);
  c.id = saved.id;
  c.aviso.reset();
  for (size_t k = 0; k < 3; ++k) c.pecas[k].id = saved.pieceIds[k];
  EXPECT_EQ(back, c);

  // One piece less on the same document replaces the pieces.
  back.pecas.pop_back();
  ASSERT_TRUE(saveColeta(component(), context(), back, saved.id).saved);
  EXPECT_EQ(read(saved.id).pecas.size(), 2u);
  DeleteOutcome deleted = deleteColeta(component(), context(), saved.id);
  EXPECT_TRUE(deleted.deleted) << deleted.message;
  EXPECT_EQ(readColeta(component(), context(), saved.id).status, ReadStatus::NotFound);
}

TEST_P(RecordOnEngine, RefusedSaveTellsWhatWasStored) {
  ColetaRecord c = read(demo::kColetaSemAwb);
  c.cliente_id.reset();
  SaveOutcome refused = saveColeta(component(), context(), c, 0);
  EXPECT_FALSE(refused.saved);
  EXPECT_EQ(refused.status, 10);
  EXPECT_NE(refused.message.find("Cliente"), std::string::npos) << refused.message;
  EXPECT_EQ(refused.id, 0);

  // The second piece has no width: the header and the first piece stay stored.
  c = read(demo::kColetaSemAwb);
  c.pecas = {PieceRecord{0, dec("1"), dec("2"), dec("3"), 1},
             PieceRecord{0, {}, dec("2"), dec("3"), 1}};
  SaveOutcome halfway = saveColeta(component(), context(), c, 0);
  EXPECT_FALSE(halfway.saved);
  ASSERT_EQ(halfway.pieceIds.size(), 1u);
  ColetaRecord stored = read(halfway.id);
  ASSERT_EQ(stored.pecas.size(), 1u);
  EXPECT_EQ(stored.pecas[0].id, halfway.pieceIds[0]);
}

INSTANTIATE_ENGINE_TEST(RecordOnEngine);

}  // namespace
}  // namespace z418kt::record
