// The front door on real databases, in both dialects: what an operator relies
// on (exact digits, the AWB lock, named references, every field error at once,
// lists and searches) on every engine.
#include <algorithm>
#include <set>

#include "support/engine_fixture.h"
#include "z418kt/coletas.h"

namespace z418kt {
namespace {

namespace demo = testing::demo;

Decimal dec(const char* text) { return *Decimal::fromText(text); }

class FrontDoorOnEngine : public testing::EngineTest {
 protected:
  FrontDoor door() { return FrontDoor(component(), {connection(), GetParam().dialect, 0}); }

  Coleta read(int64_t id) {
    auto r = door().get(id);
    EXPECT_EQ(r.status, Status::Done) << r.message;
    // Neither dialect orders the pieces.
    std::sort(r.value.pecas.begin(), r.value.pecas.end(),
              [](const Peca& a, const Peca& b) { return a.id < b.id; });
    return r.value;
  }

  Coleta fresh() {
    Coleta c;
    c.cliente_id = demo::kEmpresa;
    c.remetente_id = demo::kEnderecoEmpresa;
    c.destinatario_id = demo::kEnderecoPessoaFisica;
    c.volumes = 2;
    c.peso_kg = dec("1500");
    c.valor_declarado = dec("1500.75");
    c.embalagem = "Caixas";
    c.pecas = {Peca{0, dec("0.5"), dec("0.4"), dec("0.3"), 2}};
    return c;
  }

  int32_t coletas() {
    return queryInt("SELECT COUNT(*) FROM DOCTO_TRANSPORTE WHERE TAB_TIPO_DOCTO_TRANSP_ID = 5");
  }
};

TEST_P(FrontDoorOnEngine, ReadsWritesExactlyAndTellsMissingOnes) {
  Coleta c = read(demo::kColeta);
  EXPECT_EQ(c.peso_kg, dec("125.5"));
  EXPECT_EQ(c.valor_declarado, dec("1500.75"));
  EXPECT_EQ(c.cliente, demo::kEmpresaFantasia);
  EXPECT_EQ(c.remetente_nome, c.cliente_nome);  // the client's own address
  EXPECT_EQ(c.destinatario_nome, "Maria da Silva");
  ASSERT_EQ(c.pecas.size(), 3u);
  EXPECT_EQ(c.pecas[1], (Peca{201, dec("1.2"), dec("0.8"), dec("1"), 3}));
  EXPECT_EQ(door().get(999).status, Status::NotFound);
  EXPECT_EQ(door().get(demo::kAwb).status, Status::NotFound);
  auto refused = door().get(0);
  EXPECT_EQ(refused.status, Status::Refused);
  EXPECT_EQ(refused.message, "Coleta não informada. Contacte o Administrador.");
  auto person = door().pessoa(demo::kEnderecoPessoaFisica);
  EXPECT_EQ(person.value.cpf_cnpj, "123.456.789-09");
  EXPECT_EQ(door().pessoa(999).status, Status::NotFound);

  // Digits a binary double would change come back as they went.
  Coleta n = fresh();
  n.peso_kg = dec("0.1");
  n.valor_declarado = dec("1234567.89");
  n.pecas[0].largura_m = dec("0.0001");
  auto created = door().create(n);
  ASSERT_TRUE(created.ok()) << created.message;
  EXPECT_EQ(created.value.peso_kg, dec("0.1"));
  EXPECT_EQ(created.value.valor_declarado, dec("1234567.89"));
  EXPECT_EQ(created.value.pecas.at(0).largura_m, dec("0.0001"));
  n.pecas.push_back(n.pecas[0]);
  auto updated = door().update(created.value.id, n);
  ASSERT_TRUE(updated.ok()) << updated.message;
  EXPECT_EQ(updated.value.pecas.size(), 2u);
  EXPECT_TRUE(door().remove(created.value.id).ok());
  // Removing it again, or one that never was, is "not found" in both dialects.
  auto again = door().remove(created.value.id);
  EXPECT_EQ(again.status, Status::NotFound);
  EXPECT_EQ(again.message, "Coleta " + std::to_string(created.value.id) + " não encontrada.");
  EXPECT_EQ(door().update(4242, n).status, Status::NotFound);
}

TEST_P(FrontDoorOnEngine, AColetaWithAirWaybillsNeitherChangesNorGoes) {
  const std::string pieces = "SELECT COUNT(*) FROM CARGA WHERE DOCTO_TRANSPORTE_ID = 100";
  auto changed = door().update(demo::kColeta, fresh());
  EXPECT_EQ(changed.status, Status::Conflict);
  EXPECT_EQ(changed.message,
            "Não será possível efetuar alterações na Coleta pois existem AWBs emitidas com ela.");
  EXPECT_EQ(door().remove(demo::kColeta).status, Status::Conflict);
  EXPECT_EQ(queryInt(pieces), 3);
  EXPECT_EQ(read(demo::kColeta).peso_kg, dec("125.5"));
  EXPECT_EQ(queryInt("SELECT TAB_STATUS_ID FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = 100"),
            1);
}

TEST_P(FrontDoorOnEngine, EveryFieldErrorAtOnceTheOperationsOwnFirst) {
  int32_t before = coletas();
  Coleta c = fresh();
  c.cliente_id = 98765;
  auto r = door().create(c);
  EXPECT_EQ(r.status, Status::Refused);
  EXPECT_EQ(r.errors, (std::vector<FieldError>{{"cliente_id", "Cliente 98765 não encontrado."}}));

  c = fresh();
  c.peso_kg.reset();                   // the operations refuse it
  c.remetente_id = 98765;              // it does not exist
  c.pecas[0].largura_m = dec("-0.5");  // the operations would store it
  c.pecas.push_back(Peca{0, dec("1"), {}, dec("1"), 0});
  r = door().create(c);
  ASSERT_EQ(r.status, Status::Refused);
  EXPECT_EQ(r.errors,
            (std::vector<FieldError>{
                {"peso_kg", "O campo Peso é obrigatório."},
                {"pecas[0].largura_m", "O campo Largura da peça 1 deve ser maior que zero."},
                {"pecas[1].volumes", "O campo Volumes da peça 2 deve ser maior que zero."},
                {"pecas[1].altura_m", "O campo Altura da peça 2 é obrigatório."},
                {"remetente_id", "Remetente 98765 não encontrado."}}));
  EXPECT_EQ(r.message, "O campo Peso é obrigatório.");
  EXPECT_EQ(coletas(), before);  // nothing stored
}

TEST_P(FrontDoorOnEngine, ARepeatedCreateUnderOneKeyMakesOneColeta) {
  int32_t before = coletas();
  auto first = door().create(fresh(), "pedido-42");
  ASSERT_TRUE(first.ok()) << first.message;
  EXPECT_FALSE(first.replayed);
  auto again = door().create(fresh(), "pedido-42");
  ASSERT_TRUE(again.ok()) << again.message;
  EXPECT_TRUE(again.replayed);
  EXPECT_EQ(again.value, first.value);
  EXPECT_EQ(coletas(), before + 1);
  Coleta other = fresh();
  other.volumes = 9;
  auto refused = door().create(other, "pedido-42");
  ASSERT_EQ(refused.status, Status::Refused);
  EXPECT_EQ(refused.errors.at(0).campo, "Idempotency-Key");
  EXPECT_EQ(door().create(fresh(), "com espaço").status, Status::Refused);
  EXPECT_EQ(coletas(), before + 1);
}

TEST_P(FrontDoorOnEngine, ListsNewestFirstAndFindsParties) {
  Coleta c = fresh();
  c.cliente_id = demo::kEmpresa2;
  auto created = door().create(c);
  ASSERT_TRUE(created.ok()) << created.message;
  ColetaFilter all;
  auto page = door().list(all);
  ASSERT_TRUE(page.ok()) << page.message;
  ASSERT_EQ(page.value.itens.size(), 3u);
  EXPECT_EQ(page.value.itens[0].id, created.value.id);
  EXPECT_EQ(page.value.itens[2].id, demo::kColeta);
  EXPECT_EQ(page.value.itens[2].destinatario_nome, "Maria da Silva");
  EXPECT_EQ(page.value.itens[2].data_emissao.substr(0, 10), "2024-03-15");

  ColetaFilter mine;
  mine.cliente_id = demo::kEmpresa2;
  mine.limite = 1;
  page = door().list(mine);
  ASSERT_EQ(page.value.itens.size(), 1u);
  EXPECT_EQ(page.value.itens[0].id, created.value.id);
  mine.cursor = page.value.proximo_cursor;
  page = door().list(mine);
  ASSERT_EQ(page.value.itens.size(), 1u);
  EXPECT_EQ(page.value.itens[0].id, demo::kColetaSemAwb);
  EXPECT_TRUE(page.value.proximo_cursor.empty());

  ColetaFilter march;
  march.desde = "2024-03-15";
  march.ate = "2024-03-15";
  page = door().list(march);
  ASSERT_EQ(page.value.itens.size(), 1u);
  EXPECT_EQ(page.value.itens[0].id, demo::kColeta);
  march.ate = "2024-02-30";
  march.limite = 0;
  EXPECT_EQ(door().list(march).errors.size(), 2u);

  PessoaQuery q;
  q.q = "silva";
  auto found = door().search(q);
  ASSERT_EQ(found.value.itens.size(), 1u);
  EXPECT_EQ(found.value.itens[0].endereco_id, demo::kEnderecoPessoaFisica);
  q.q = "12.345.678/0001";
  found = door().search(q);
  ASSERT_EQ(found.value.itens.size(), 1u);
  EXPECT_EQ(found.value.itens[0].tipo, "PJ");
  q.q = "100%";  // a LIKE wildcard is a character like any other
  EXPECT_TRUE(door().search(q).value.itens.empty());
}

TEST_P(FrontDoorOnEngine, PagesWalkTenThousandColetasWithoutRepeatsOrGaps) {
  if (GetParam().dialect == "ORACLE") GTEST_SKIP() << "the list reads the same in both dialects";
  execute(
      "INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID, "
      "END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID, "
      "TAB_TIPO_DOCTO_TRANSP_ID) "
      "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 9998) "
      "SELECT 5000 + k, 1, '2025-01-01 00:00:00', 2, 11, 12, 1, 1, 1, 5 FROM n");
  std::set<int64_t> seen;
  int64_t last = INT64_MAX;
  ColetaFilter f;
  f.limite = 500;
  for (int pages = 0; pages < 30; ++pages) {
    auto page = door().list(f);
    ASSERT_TRUE(page.ok()) << page.message;
    for (const Coleta& c : page.value.itens) {
      EXPECT_LT(c.id, last);
      last = c.id;
      seen.insert(c.id);
    }
    if (page.value.proximo_cursor.empty()) break;
    f.cursor = page.value.proximo_cursor;
  }
  EXPECT_EQ(seen.size(), 10000u);  // 9,998 and the demo's two
}

TEST_P(FrontDoorOnEngine, AStatementTheEngineRefusesIsTheRequestsFaultNotAnOutage) {
  if (engine() != "sqlite") GTEST_SKIP() << "the refusal is made with a SQLite trigger";
  execute(
      "CREATE TRIGGER no_nine BEFORE INSERT ON DOCTO_TRANSPORTE WHEN NEW.NUM_VOLUME = 9 "
      "BEGIN SELECT RAISE(ABORT, 'nove'); END");
  Coleta c = fresh();
  c.volumes = 9;
  auto r = door().create(c);
  EXPECT_EQ(r.status, Status::Refused) << r.message;
  EXPECT_FALSE(r.message.empty());
  // A database that cannot be reached is the one thing worth retrying.
  FrontDoor nowhere(
      component(), {"Provider=SQLite;Data Source=/nonexistent/z418kt/x.db", GetParam().dialect, 0});
  EXPECT_EQ(nowhere.get(demo::kColeta).status, Status::Unavailable);
  EXPECT_EQ(nowhere.create(fresh()).status, Status::Unavailable);
  EXPECT_EQ(nowhere.list({}).status, Status::Unavailable);
}

INSTANTIATE_ENGINE_TEST(FrontDoorOnEngine);

}  // namespace
}  // namespace z418kt
