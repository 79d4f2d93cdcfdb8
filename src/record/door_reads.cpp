#include "record/door_reads.h"

#include "automation/decimal.h"
#include "automation/number_text.h"
#include "data/recordset.h"
#include "z418kt/variant.h"

namespace z418kt::record {

namespace {

std::string idLiteral(std::optional<int64_t> id) {
  return id ? numtext::integerText(*id) : std::string("NULL");
}

// A text literal: quotes doubled, so no value ends the literal. Sessions run
// with standard_conforming_strings on, so a backslash is just a character.
std::string textLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// A LIKE pattern matching `text` anywhere, its own % and _ taken literally.
std::string containsPattern(const std::string& text) {
  std::string out = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  return out + "%";
}

std::string nextDay(const std::string& day) {
  auto d = numtext::parseDateTime(day);
  numtext::DateTime next = numtext::dateTimeOf(numtext::oleDate(*d) + 1);
  return numtext::dateText(numtext::oleDate(next)).substr(0, 10);
}

std::optional<std::string> textOf(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.isNull() || v.isEmpty()) return std::nullopt;
  if (v.type() == VarType::Date) return numtext::dateText(v.dateValue());
  return vb::cstr(v);
}

std::optional<int64_t> wholeOf(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.type() == VarType::I4) return v.i4();
  if (v.type() == VarType::I2) return v.i2();
  auto t = textOf(v);
  if (!t) return std::nullopt;
  auto d = decimal::parseEntered(*t);
  if (!d || !d->isWhole()) return std::nullopt;
  auto n = numtext::parseInteger(d->whole);
  if (!n) return std::nullopt;
  return d->negative ? -*n : *n;
}

std::optional<Decimal> decimalOf(const Variant& value) {
  Variant v = vb::resolved(value);
  if (v.isNull() || v.isEmpty()) return std::nullopt;
  if (v.isText()) return decimal::parseEntered(v.text());
  return decimal::fromNumber(v);
}

std::optional<std::string> textField(const data::Recordset& rs, const char* name) {
  return textOf(rs.fieldsItem(name));
}

void open(data::Recordset& rs, const std::string& sql, const std::string& connection) {
  rs.setCursorLocation(data::adUseClient);
  rs.open(sql, connection, data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
}

}  // namespace

PartyNames partyNames(const std::string& connection, std::optional<int64_t> cliente,
                      std::optional<int64_t> remetente, std::optional<int64_t> destinatario) {
  const std::string party =
      "SELECT P.NOME FROM ENDERECO_PESSOA E JOIN PESSOA P ON P.PESSOA_ID = E.PESSOA_ID "
      "WHERE E.ENDERECO_PESSOA_ID = ";
  std::string sql = "SELECT (SELECT NOME FROM vCLIENTE WHERE PESSOA_ID = " + idLiteral(cliente) +
                    ") AS cliente, (" + party + idLiteral(remetente) + ") AS remetente, (" + party +
                    idLiteral(destinatario) + ") AS destinatario";
  data::Recordset rs;
  open(rs, sql, connection);
  PartyNames names;
  if (rs.eof()) return names;
  names.cliente = textField(rs, "cliente");
  names.remetente = textField(rs, "remetente");
  names.destinatario = textField(rs, "destinatario");
  return names;
}

std::optional<int64_t> firstAddress(const std::string& connection, int64_t pessoaId) {
  data::Recordset rs;
  open(rs,
       "SELECT MIN(ENDERECO_PESSOA_ID) AS endereco_id FROM ENDERECO_PESSOA WHERE PESSOA_ID = " +
           idLiteral(pessoaId),
       connection);
  if (rs.eof()) return std::nullopt;
  return wholeOf(rs.fieldsItem("endereco_id"));
}

Page<Coleta> listColetas(const std::string& connection, const ColetaFilter& filter) {
  std::string sql =
      "SELECT D.DOCTO_TRANSPORTE_ID AS id, D.DATA_EMISSAO AS data_emissao,"
      " D.CLIENTE_ID AS cliente_id, C.NOME AS cliente_nome,"
      " D.END_REMETENTE_ID AS remetente_id, PR.NOME AS remetente_nome,"
      " D.END_DESTINATARIO_ID AS destinatario_id, PD.NOME AS destinatario_nome,"
      " D.NUM_VOLUME AS volumes, D.PESO_REAL AS peso, D.VAL_DECLARADO AS valor,"
      " D.TXT_EMBALAGEM AS embalagem"
      " FROM DOCTO_TRANSPORTE D"
      " LEFT JOIN PESSOA C ON C.PESSOA_ID = D.CLIENTE_ID"
      " LEFT JOIN ENDERECO_PESSOA ER ON ER.ENDERECO_PESSOA_ID = D.END_REMETENTE_ID"
      " LEFT JOIN PESSOA PR ON PR.PESSOA_ID = ER.PESSOA_ID"
      " LEFT JOIN ENDERECO_PESSOA ED ON ED.ENDERECO_PESSOA_ID = D.END_DESTINATARIO_ID"
      " LEFT JOIN PESSOA PD ON PD.PESSOA_ID = ED.PESSOA_ID"
      " WHERE D.TAB_STATUS_ID = 1 AND D.TAB_TIPO_DOCTO_TRANSP_ID = 5";
  if (filter.cliente_id) sql += " AND D.CLIENTE_ID = " + idLiteral(filter.cliente_id);
  if (filter.remetente_id) sql += " AND D.END_REMETENTE_ID = " + idLiteral(filter.remetente_id);
  if (filter.destinatario_id)
    sql += " AND D.END_DESTINATARIO_ID = " + idLiteral(filter.destinatario_id);
  if (!filter.desde.empty()) sql += " AND D.DATA_EMISSAO >= " + textLiteral(filter.desde);
  if (!filter.ate.empty()) sql += " AND D.DATA_EMISSAO < " + textLiteral(nextDay(filter.ate));
  if (!filter.cursor.empty()) sql += " AND D.DOCTO_TRANSPORTE_ID < " + filter.cursor;
  sql += " ORDER BY D.DOCTO_TRANSPORTE_ID DESC LIMIT " + numtext::integerText(filter.limite + 1);

  data::Recordset rs;
  open(rs, sql, connection);
  Page<Coleta> page;
  if (rs.eof()) return page;
  enum {
    kId,
    kData,
    kCliente,
    kClienteNome,
    kRemetente,
    kRemetenteNome,
    kDestinatario,
    kDestinatarioNome,
    kVolumes,
    kPeso,
    kValor,
    kEmbalagem,
    kCount
  };
  const char* names[kCount] = {
      "id",           "data_emissao",   "cliente_id",      "cliente_nome",
      "remetente_id", "remetente_nome", "destinatario_id", "destinatario_nome",
      "volumes",      "peso",           "valor",           "embalagem"};
  size_t at[kCount];
  for (int k = 0; k < kCount; ++k) at[k] = rs.columnIndex(names[k]);
  page.itens.reserve(static_cast<size_t>(filter.limite));
  for (; !rs.eof(); rs.moveNext()) {
    if (page.itens.size() == static_cast<size_t>(filter.limite)) {
      page.proximo_cursor = numtext::integerText(page.itens.back().id);
      break;
    }
    auto v = [&](int k) { return rs.fieldAt(at[k]); };
    Coleta c;
    c.id = wholeOf(v(kId)).value_or(0);
    c.data_emissao = textOf(v(kData)).value_or("");
    c.cliente_id = wholeOf(v(kCliente));
    c.cliente_nome = textOf(v(kClienteNome)).value_or("");
    c.remetente_id = wholeOf(v(kRemetente));
    c.remetente_nome = textOf(v(kRemetenteNome)).value_or("");
    c.destinatario_id = wholeOf(v(kDestinatario));
    c.destinatario_nome = textOf(v(kDestinatarioNome)).value_or("");
    c.volumes = wholeOf(v(kVolumes));
    c.peso_kg = decimalOf(v(kPeso));
    c.valor_declarado = decimalOf(v(kValor));
    c.embalagem = textOf(v(kEmbalagem)).value_or("");
    page.itens.push_back(std::move(c));
  }
  return page;
}

Page<Pessoa> searchPessoas(const std::string& connection, const PessoaQuery& query) {
  std::string digits;
  bool onlyDigits = true;
  for (char c : query.q) {
    if (c >= '0' && c <= '9')
      digits += c;
    else if (c != '.' && c != '-' && c != '/' && c != ' ')
      onlyDigits = false;
  }
  std::string where;
  if (onlyDigits && !digits.empty()) {
    auto plain = [](const char* column) {
      return std::string("REPLACE(REPLACE(REPLACE(") + column + ", '.', ''), '-', ''), '/', '')";
    };
    std::string prefix = textLiteral(digits + "%");
    where = "(" + plain("V.PF_CPF") + " LIKE " + prefix + " OR " + plain("V.PJ_CGC") + " LIKE " +
            prefix + ")";
  } else {
    std::string pattern = textLiteral(containsPattern(query.q));
    where = "(UPPER(V.NOME) LIKE UPPER(" + pattern +
            ") ESCAPE '\\' OR UPPER(V.NOME_FANTASIA) LIKE UPPER(" + pattern + ") ESCAPE '\\')";
  }
  std::string sql =
      "SELECT V.ENDERECO_PESSOA_ID AS endereco_id, V.PESSOA_ID AS pessoa_id, V.NOME AS nome,"
      " V.NOME_FANTASIA AS nome_fantasia, V.PF_CPF AS pf_cpf, V.PF_RG AS pf_rg,"
      " V.PJ_CGC AS pj_cgc, V.PJ_INSCR_ESTADUAL AS pj_ie, V.ENDERECO AS endereco, V.CEP AS cep,"
      " V.MUNICIPIO AS municipio, V.MUNICIPIO_ID AS municipio_id,"
      " V.COD_MUNIC_IATA AS cod_munic_iata"
      " FROM VENDERECO_PESSOA V WHERE " +
      where;
  if (!query.cursor.empty()) sql += " AND V.ENDERECO_PESSOA_ID > " + query.cursor;
  sql += " ORDER BY V.ENDERECO_PESSOA_ID LIMIT " + numtext::integerText(query.limite + 1);

  data::Recordset rs;
  open(rs, sql, connection);
  Page<Pessoa> page;
  for (; !rs.eof(); rs.moveNext()) {
    if (page.itens.size() == static_cast<size_t>(query.limite)) {
      page.proximo_cursor = numtext::integerText(page.itens.back().endereco_id);
      break;
    }
    Pessoa p;
    p.endereco_id = wholeOf(rs.fieldsItem("endereco_id")).value_or(0);
    p.pessoa_id = wholeOf(rs.fieldsItem("pessoa_id"));
    std::string cpf = textField(rs, "pf_cpf").value_or("");
    // As the party lookup decides: any CPF text makes a person.
    bool person = !cpf.empty();
    p.tipo = person ? "PF" : "PJ";
    p.nome = textField(rs, "nome").value_or("");
    p.nome_fantasia = textField(rs, "nome_fantasia").value_or("");
    p.cpf_cnpj = person ? cpf : textField(rs, "pj_cgc").value_or("");
    p.ie_rg = textField(rs, person ? "pf_rg" : "pj_ie").value_or("");
    p.endereco = textField(rs, "endereco").value_or("");
    p.cep = textField(rs, "cep").value_or("");
    p.municipio = textField(rs, "municipio").value_or("");
    p.municipio_id = wholeOf(rs.fieldsItem("municipio_id"));
    p.cod_municipio_iata = textField(rs, "cod_munic_iata").value_or("");
    page.itens.push_back(std::move(p));
  }
  return page;
}

}  // namespace z418kt::record
