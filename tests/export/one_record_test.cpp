// The ONE Record mapping where the demo data does not reach: empty fields,
// parties the lookup did not find, one-word names, and the base IRI.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "export/one_record.h"

namespace z418kt::onerecord {
namespace {

TEST(OneRecordMapping, BaseMustBeAnAbsoluteIri) {
  EXPECT_EQ(normalizedBase("http://h/lo"), "http://h/lo/");
  EXPECT_EQ(normalizedBase("urn:coletas#"), "urn:coletas#");
  for (const char* bad : {"", "no iri", "h", ":x", "1http://h/", "http://h/<x>", "http:"})
    EXPECT_FALSE(normalizedBase(bad).has_value()) << bad;
}

TEST(OneRecordMapping, LeavesOutWhatTheReadDidNotGive) {
  Coleta c;
  c.id = 7;
  c.pecas = {Peca{9, {}, {}, {}, {}}};
  Pessoa person;
  person.tipo = "PF";
  person.nome = "Cher";
  auto doc = nlohmann::json::parse(shipmentDocument(c, person, std::nullopt, "urn:x/"));

  EXPECT_EQ(doc["@id"], "urn:x/coletas/7");
  for (const char* absent : {"totalGrossWeight", "declaredValueForCarriage", "goodsDescription",
                             "externalReferences", "textualHandlingInstructions"})
    EXPECT_FALSE(doc.contains(absent)) << absent;
  EXPECT_EQ(doc["pieces"][0]["@id"], "urn:x/cargas/9");
  EXPECT_FALSE(doc["pieces"][0].contains("slac"));

  const auto& parties = doc["involvedParties"];
  ASSERT_EQ(parties.size(), 3u);
  EXPECT_FALSE(parties[0].contains("partyDetails"));  // no customer id
  EXPECT_EQ(parties[1]["partyDetails"]["firstName"], "Cher");
  EXPECT_FALSE(parties[1]["partyDetails"].contains("lastName"));
  EXPECT_FALSE(parties[1].contains("otherIdentifiers"));
  EXPECT_FALSE(parties[2].contains("partyDetails"));  // the lookup found no party
  EXPECT_EQ(parties[2]["partyRole"]["code"], "CNE");
}

TEST(OneRecordMapping, ACustomerOfItsOwnIsTypedFromItsDocument) {
  Coleta c;
  c.id = 7;
  c.cliente_id = 1;
  Pessoa person;
  person.pessoa_id = 1;
  person.tipo = "PF";
  person.nome = "Maria da Silva";
  person.cpf_cnpj = "123.456.789-09";
  auto doc =
      nlohmann::json::parse(shipmentDocument(c, std::nullopt, std::nullopt, "urn:x/", person));
  const auto& customer = doc["involvedParties"][0];
  EXPECT_EQ(customer["partyDetails"]["@type"], "Person");
  EXPECT_EQ(customer["partyDetails"]["@id"], "urn:x/pessoas/1");
  EXPECT_EQ(customer["partyDetails"]["lastName"], "da Silva");
  EXPECT_EQ(customer["otherIdentifiers"][0]["textualValue"], "123.456.789-09");
  // Without its party read, it stays a reference with the trade name.
  doc = nlohmann::json::parse(shipmentDocument(c, std::nullopt, std::nullopt, "urn:x/"));
  EXPECT_EQ(doc["involvedParties"][0]["partyDetails"]["@type"], "Organization");
}

TEST(OneRecordMapping, TextThatIsNoUtf8IsReplacedNotFatal) {
  Coleta c;
  c.embalagem = "Caixa\xff";
  auto doc = nlohmann::json::parse(shipmentDocument(c, std::nullopt, std::nullopt, "urn:x/"));
  EXPECT_EQ(doc["goodsDescription"], "Caixa\xef\xbf\xbd");
}

}  // namespace
}  // namespace z418kt::onerecord
