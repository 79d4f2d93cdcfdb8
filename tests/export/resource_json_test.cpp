// A Coleta's JSON text where the demo data does not reach: texts a JSON
// string must escape, bytes that are not UTF-8, absent values, and decimals
// with more digits than a double holds.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "export/resource_json.h"

namespace z418kt::resource {
namespace {

Decimal decimal(const char* text) { return *Decimal::fromText(text); }

TEST(ColetaJsonText, EscapesTextsAndKeepsEveryDigit) {
  Coleta c;
  c.id = 7;
  c.cliente_id = -1;
  c.cliente = "aspas \" barra \\ linha\nsino\x07 del\x7f fim";
  c.cliente_nome = "Jos\xc3\xa9";
  c.remetente_nome = "ruim \xff byte";
  c.peso_kg = decimal("12345678901234567890.123456789");
  c.valor_declarado = decimal("-0.5");
  c.pecas = {Peca{9, decimal("-0.125"), {}, decimal("3"), 2}, Peca{}};
  c.aviso = "";

  std::string text = coletaText(c);
  auto j = nlohmann::ordered_json::parse(text);  // throws when the text is no JSON

  std::vector<std::string> keys;
  for (auto& [key, _] : j.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "cliente_id", "cliente", "cliente_nome",
                                            "remetente_id", "remetente_nome", "destinatario_id",
                                            "destinatario_nome", "volumes", "peso_kg",
                                            "valor_declarado", "embalagem", "pecas", "editavel"}));
  EXPECT_EQ(j["cliente_id"], -1);
  EXPECT_EQ(j["cliente"], c.cliente);
  EXPECT_EQ(j["cliente_nome"], "Jos\xc3\xa9");
  EXPECT_EQ(j["remetente_nome"], "ruim \xef\xbf\xbd byte");
  EXPECT_TRUE(j["remetente_id"].is_null());
  EXPECT_TRUE(j["destinatario_nome"].is_null());  // an empty name is none
  EXPECT_EQ(j["embalagem"], "");
  EXPECT_EQ(j["valor_declarado"], "-0.5");  // money stays an exact text
  EXPECT_NE(text.find("\"peso_kg\":12345678901234567890.123456789,"), std::string::npos);
  EXPECT_NE(text.find("\"largura_m\":-0.125,\"altura_m\":null,\"comprimento_m\":3,"),
            std::string::npos);
  EXPECT_EQ(j["pecas"][1], (nlohmann::ordered_json{{"id", 0},
                                                   {"largura_m", nullptr},
                                                   {"altura_m", nullptr},
                                                   {"comprimento_m", nullptr},
                                                   {"volumes", nullptr}}));
  // An empty warning is no warning, but the Coleta still cannot change.
  EXPECT_EQ(j["editavel"], false);

  c.aviso = "Tem AWBs.";
  j = nlohmann::ordered_json::parse(coletaText(c));
  EXPECT_EQ(j["aviso"], "Tem AWBs.");
  c.aviso.reset();
  c.pecas.clear();
  j = nlohmann::ordered_json::parse(coletaText(c));
  EXPECT_FALSE(j.contains("aviso"));
  EXPECT_EQ(j["editavel"], true);
  EXPECT_TRUE(j["pecas"].is_array() && j["pecas"].empty());
  EXPECT_EQ(coletaJson(c), j);
}

TEST(ColetaJsonText, ListItemsKeepWholeNumbersWhole) {
  Coleta c;
  for (auto [text, integer] : {std::pair{"7", true},
                               {"-3", true},
                               {"0", true},
                               {"0.25", false},
                               {"123456789012345678901234", false}}) {
    c.peso_kg = decimal(text);
    Json peso = coletaSummaryJson(c)["peso_kg"];
    EXPECT_EQ(peso.is_number_integer(), integer) << text;
    EXPECT_DOUBLE_EQ(peso.get<double>(), std::stod(text)) << text;
  }
}

}  // namespace
}  // namespace z418kt::resource
