// A caller who names its arguments must reach the parameter it names: the
// interface table's names, in order, are those of the member functions
// declared in the public header, and a named write stores each value in the
// column its name says.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "data/recordset.h"
#include "support/temp_database.h"
#include "z418kt/interface.h"
#include "z418kt/safe_array.h"

namespace z418kt {
namespace {

// Every "Variant name(" or "bool name(" declaration of the public header with
// its parameter names in order.
std::map<std::string, std::vector<std::string>> declaredParameters() {
  std::ifstream file(std::string(Z418KT_SOURCE_DIR) + "/include/z418kt/z418kt.h");
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  std::map<std::string, std::vector<std::string>> out;
  const std::regex declaration(R"((?:Variant|bool)\s+([gm]\w+)\(([^)]*)\))");
  const std::regex parameter(R"(&\s*(\w+)\s*(?:,|$))");
  for (std::sregex_iterator d(header.begin(), header.end(), declaration), end; d != end; ++d) {
    const std::string params = (*d)[2];
    auto& names = out[(*d)[1]];
    for (std::sregex_iterator p(params.begin(), params.end(), parameter); p != end; ++p)
      names.push_back((*p)[1]);
  }
  return out;
}

TEST(InterfaceNames, EveryOperationNamesItsParametersAsTheHeaderDeclaresThem) {
  const auto declared = declaredParameters();
  ASSERT_EQ(interfaceTable().size(), 14u);
  for (const InterfaceEntry& entry : interfaceTable()) {
    auto it = declared.find(std::string(entry.name));
    ASSERT_NE(it, declared.end()) << entry.name;
    std::vector<std::string> table(entry.parameters.begin(), entry.parameters.end());
    EXPECT_EQ(table, it->second) << entry.name;
  }
}

// Calls `name` on `db` with every argument given by its parameter name; the
// caller context first, user 1 and the stored-procedure dialect unless named.
struct NamedCall {
  NamedCall(const std::string& name, const std::string& db) : entry(*findOperation(name)) {
    args.resize(entry.parameters.size());
    set(entry.parameters[0], Variant(db));
    set("invntUsuario_Internet_ID", Variant(int32_t{1}));
    set("invntBanco_Dados", Variant("SQLSERVER"));
  }
  NamedCall& set(std::string_view parameter, Variant value) {
    for (size_t i = 0; i < entry.parameters.size(); ++i)
      if (entry.parameters[i] == parameter) {
        args[i] = std::move(value);
        return *this;
      }
    ADD_FAILURE() << entry.name << " has no parameter " << parameter;
    return *this;
  }
  Variant& operator[](std::string_view parameter) {
    for (size_t i = 0; i < entry.parameters.size(); ++i)
      if (entry.parameters[i] == parameter) return args[i];
    throw std::out_of_range(std::string(parameter));
  }
  Variant run() { return invoke(component, entry, args); }

  const InterfaceEntry& entry;
  std::vector<Variant> args;
  Z418kt component;
};

TEST(InterfaceNames, NamedWritesStoreEachValueWhereItsNameSays) {
  testing::TempDatabase db;
  for (const char* banco : {"SQLSERVER", "ORACLE"}) {
    auto query = [&](const std::string& sql) {
      data::Recordset rs;
      rs.open(sql, db.text(), data::adUnspecified, data::adUnspecified, data::adUnspecified);
      std::string row;
      for (const char* c : {"A", "B", "C", "D", "E", "F", "G"}) {
        try {
          row += vb::concatText(rs.fieldsItem(c)) + "|";
        } catch (const AutomationError&) {
          break;
        }
      }
      return row;
    };
    // A document by name: every header value distinct.
    NamedCall insert("mInclui_Campos_DOCTO_TRANSPORTE", db.text());
    insert.set("invntBanco_Dados", Variant(banco))
        .set("INVNTCLIENTE_ID", Variant(int32_t{3}))
        .set("invntEND_DESTINATARIO_ID", Variant(int32_t{11}))
        .set("invntEND_REMETENTE_ID", Variant(int32_t{12}))
        .set("invntnum_volume", Variant(int32_t{7}))
        .set("invntpeso_real", Variant("8,5"))
        .set("invntTAB_STATUS_ID", Variant(int16_t{1}))
        .set("invntTAB_TIPO_DOCTO_TRANSP_ID", Variant(int16_t{5}))
        .set("invnttxt_embalagem", Variant("nomeado"))
        .set("invntval_declarado", Variant("9,25"));
    ASSERT_TRUE(vb::isTrue(insert.run())) << vb::concatText(insert["outvntMsg_Ret"]);
    const int32_t doc = vb::clng(insert["outvntDOCTO_TRANSPORTE_ID"]);
    const std::string where =
        " FROM DOCTO_TRANSPORTE WHERE DOCTO_TRANSPORTE_ID = " + std::to_string(doc);
    EXPECT_EQ(query("SELECT CLIENTE_ID A, END_DESTINATARIO_ID B, END_REMETENTE_ID C, NUM_VOLUME "
                    "D, PESO_REAL E, VAL_DECLARADO F, TXT_EMBALAGEM G" +
                    where),
              "3|11|12|7|8.5|9.25|nomeado|")
        << banco;

    // The same document changed by name.
    NamedCall update("mAltera_Campos_DOCTO_TRANSPORTE", db.text());
    update.set("invntBanco_Dados", Variant(banco))
        .set("invntDOCTO_TRANSPORTE_ID", Variant(doc))
        .set("INVNTCLIENTE_ID", Variant(int32_t{2}))
        .set("invntEND_DESTINATARIO_ID", Variant(int32_t{12}))
        .set("invntEND_REMETENTE_ID", Variant(int32_t{11}))
        .set("invntnum_volume", Variant(int32_t{4}))
        .set("invntpeso_real", Variant("1,5"))
        .set("invntTAB_STATUS_ID", Variant(int16_t{1}))
        .set("invntTAB_TIPO_DOCTO_TRANSP_ID", Variant(int16_t{5}))
        .set("invnttxt_embalagem", Variant("alterado"))
        .set("invntval_declarado", Variant("2,75"));
    ASSERT_TRUE(vb::isTrue(update.run())) << vb::concatText(update["outvntMsg_Ret"]);
    EXPECT_EQ(query("SELECT CLIENTE_ID A, END_DESTINATARIO_ID B, END_REMETENTE_ID C, NUM_VOLUME "
                    "D, PESO_REAL E, VAL_DECLARADO F, TXT_EMBALAGEM G" +
                    where),
              "2|12|11|4|1.5|2.75|alterado|")
        << banco;

    // A piece by name: width, height and length each in its own column.
    NamedCall piece("mInclui_Campos_CARGA", db.text());
    piece.set("invntBanco_Dados", Variant(banco))
        .set("invntDOCTO_TRANSPORTE_ID", Variant(doc))
        .set("invntlargura_m", Variant("0,1"))
        .set("invntaltura_m", Variant("0,2"))
        .set("invntcomprimento_m", Variant("0,3"))
        .set("invntnum_volume", Variant(int32_t{4}));
    ASSERT_TRUE(vb::isTrue(piece.run())) << vb::concatText(piece["outvntMsg_Ret"]);
    const std::string cargaId = vb::concatText(piece["outvntCARGA_ID"]);
    EXPECT_EQ(query("SELECT LARGURA_M A, ALTURA_M B, COMPRIMENTO_M C, NUM_VOLUME D, "
                    "DOCTO_TRANSPORTE_ID E FROM CARGA WHERE CARGA_ID = " +
                    cargaId),
              "0.1|0.2|0.3|4|" + std::to_string(doc) + "|")
        << banco;

    // Removed by name: the piece by its id, then the document.
    NamedCall removePiece("mExclui_Campos_CARGA", db.text());
    removePiece.set("invntBanco_Dados", Variant(banco))
        .set("invntDOCTO_TRANSPORTE_ID", Variant(""))
        .set("invntCARGA_ID", Variant(cargaId));
    ASSERT_TRUE(vb::isTrue(removePiece.run())) << vb::concatText(removePiece["outvntMsg_Ret"]);
    EXPECT_EQ(query("SELECT COUNT(*) A FROM CARGA WHERE CARGA_ID = " + cargaId), "0|");
    NamedCall removeDoc("gExclui_Coleta", db.text());
    removeDoc.set("invntBanco_Dados", Variant(banco)).set("invntDOCTO_TRANSPORTE_ID", Variant(doc));
    EXPECT_EQ(removeDoc.run(), Variant(int16_t{0})) << vb::concatText(removeDoc["outvntMsg_Ret"]);
    EXPECT_EQ(query("SELECT COUNT(*) A" + where + " AND TAB_STATUS_ID = 1"), "0|") << banco;
  }
}

}  // namespace
}  // namespace z418kt
