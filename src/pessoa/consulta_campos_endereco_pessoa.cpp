// Reading one party address from VENDERECO_PESSOA, with the person-or-company
// rule for the tax numbers.
#include <iterator>
#include <utility>

#include "kit/record_pattern.h"
#include "kit/trap.h"
#include "outside/components.h"
#include "z418kt/z418kt.h"

namespace z418kt {

namespace {

struct ColumnRead {
  const char* column;
  Variant* output;
};

// The tax-number columns of one kind of party and the mark that names it.
struct TaxColumns {
  const char* taxNumber;
  const char* registration;
  const char* mark;
};

constexpr TaxColumns kPerson{"pf_cpf", "pf_rg", "PF"};
constexpr TaxColumns kCompany{"pj_cgc", "pj_inscr_estadual", "PJ"};

// The Oracle form's statement builder: leaves the statement to open in
// `statement` and answers true; after an error its trap answers false.
bool mTrataSP_KTR_CON_PESSOA_AWB(std::string&, std::string&, int32_t& enderecoPessoaId,
                                 std::string& statement, Variant& msgRet, Variant& userText) {
  bool result = false;
  withTrap(OperationId::mTrataSP_KTR_CON_PESSOA_AWB, userText, msgRet, [&](TrapState& st) {
    st.at(9500);
    pattern::appendPieces(st.sql, {" SELECT "
                                   " VENDERECO_PESSOA.CEP , "
                                   " VENDERECO_PESSOA.COD_MUNIC_IATA , "
                                   " VENDERECO_PESSOA.ENDERECO , "
                                   " VENDERECO_PESSOA.MUNICIPIO , "
                                   " VENDERECO_PESSOA.MUNICIPIO_ID , "
                                   " VENDERECO_PESSOA.PF_CPF , "
                                   " VENDERECO_PESSOA.PF_RG , "
                                   " VENDERECO_PESSOA.PJ_CGC , "
                                   " VENDERECO_PESSOA.PJ_INSCR_ESTADUAL , "
                                   " VENDERECO_PESSOA.NOME , "
                                   " VENDERECO_PESSOA.NOME_FANTASIA , "
                                   " VENDERECO_PESSOA.PESSOA_ID "
                                   " FROM "
                                   " VENDERECO_PESSOA "
                                   " WHERE "
                                   " VENDERECO_PESSOA.ENDERECO_PESSOA_ID "});
    st.at(9510);
    pattern::appendSqlComparison(st.sql, "", Variant(enderecoPessoaId), " ");
    st.at(9520);
    statement = std::move(st.sql);  // nothing after this can fail: the trap needs it no more
    result = true;
  });
  return result;
}

}  // namespace

bool Z418kt::mConsulta_Campos_vENDERECO_PESSOA(
    std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant&,
    Variant& invntBanco_Dados, Variant&, Variant& invntENDERECO_PESSOA_ID, Variant& outvntcep,
    Variant& outvntcod_munic_iata, Variant& outvntendereco, Variant& outvntmunicipio,
    Variant& outvntMUNICIPIO_ID, Variant& outvntCGC_CPF, Variant& outvntIE_RG,
    Variant& outvntIndic_PF_PJ, Variant& outvntNome, Variant& outvntNome_Fantasia,
    Variant& outvntPessoa_id, Variant& outvntMsg_Ret) {
  bool result = false;
  withTrap(
      OperationId::mConsulta_Campos_vENDERECO_PESSOA, invntUsuario_Internet_ID, outvntMsg_Ret,
      [&](TrapState& st) {
        st.at(9300);
        if (pattern::isOracle(invntBanco_Dados)) {
          st.at(9310);
          std::string dbKind = pattern::textForm(invntBanco_Dados);
          st.at(9311);
          Variant userText(pattern::textForm(invntUsuario_Internet_ID));
          st.at(9312);
          int32_t enderecoPessoaId = pattern::idArgument(invntENDERECO_PESSOA_ID);
          st.at(9320);
          if (!pattern::callBuilder([&] {
                return mTrataSP_KTR_CON_PESSOA_AWB(dbKind, instrConecta_DB, enderecoPessoaId,
                                                   st.sql, outvntMsg_Ret, userText);
              }))
            return;
        } else {
          st.at(9330);
          pattern::ProcedureText(st, "EXEC SP_KTR_CON_PESSOA_AWB   ").last(invntENDERECO_PESSOA_ID);
        }
        st.at(9340);
        data::Recordset rs;
        if (!pattern::openRead(rs, st, instrConecta_DB, result)) return;
        auto value = [&](const char* column) {
          return outside::valueUtil().op6_value(pattern::field(rs, column));
        };
        // Only the first row is read; each output is written as soon as it is read.
        const ColumnRead reads[] = {
            {"cep", &outvntcep},
            {"cod_munic_iata", &outvntcod_munic_iata},
            {"endereco", &outvntendereco},
            {"municipio", &outvntmunicipio},
            {"MUNICIPIO_ID", &outvntMUNICIPIO_ID},
            {"nome", &outvntNome},
            {"nome_fantasia", &outvntNome_Fantasia},
            {"pessoa_id", &outvntPessoa_id},
        };
        for (size_t i = 0; i < std::size(reads); ++i) {
          st.at(9350 + 10 * static_cast<int32_t>(i));
          *reads[i].output = value(reads[i].column);
        }
        // A party with any non-empty CPF text (a single blank included)
        // is a person; otherwise it is a company.
        st.at(9430);
        const TaxColumns& kind =
            vb::greater(value(kPerson.taxNumber), Variant("")) ? kPerson : kCompany;
        st.at(9440);
        outvntCGC_CPF = value(kind.taxNumber);
        st.at(9450);
        outvntIE_RG = value(kind.registration);
        st.at(9460);
        outvntIndic_PF_PJ = Variant(kind.mark);
        st.at(9470);
        rs.close();
        result = true;
      });
  return result;
}

}  // namespace z418kt
