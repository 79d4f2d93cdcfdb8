#include "export/resource_json.h"

#include <limits>

#include "automation/decimal.h"
#include "automation/number_text.h"
#include "json/json_variant.h"

namespace z418kt::resource {

namespace {

// A whole number stays a JSON integer while it fits one; any other value is
// the nearest double, as a JSON reader would take its text.
Json decimalJson(const std::optional<Decimal>& value) {
  if (!value) return nullptr;
  if (value->isWhole() && value->whole.size() <= 18) {
    int64_t whole = 0;
    for (char digit : value->whole) whole = whole * 10 + (digit - '0');
    return value->negative ? -whole : whole;
  }
  return value->toDouble();
}

// Writes one object's members in the order they are given, straight into
// text: a Coleta is answered on every read, and building a JSON tree to
// print it at once costs more than the read itself.
class ObjectWriter {
 public:
  explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
  ~ObjectWriter() { out_ += '}'; }
  ObjectWriter(const ObjectWriter&) = delete;
  ObjectWriter& operator=(const ObjectWriter&) = delete;

  void whole(std::string_view name, int64_t value) {
    key(name);
    char digits[numtext::kTextCapacity];
    out_.append(digits, numtext::writeInteger(digits, value));
  }
  void whole(std::string_view name, const std::optional<int64_t>& value) {
    if (value) return whole(name, *value);
    null(name);
  }
  // A Decimal's canonical text is already a JSON number, exact to its last digit.
  void number(std::string_view name, const std::optional<Decimal>& value) {
    if (!value) return null(name);
    key(name);
    decimal::appendWritten(out_, *value);
  }
  void money(std::string_view name, const std::optional<Decimal>& value) {
    if (!value) return null(name);
    text(name, value->text());
  }
  void text(std::string_view name, std::string_view value) {
    key(name);
    json::appendJsonText(out_, value);
  }
  // An empty name is no name.
  void name(std::string_view name, std::string_view value) {
    if (value.empty()) return null(name);
    text(name, value);
  }
  void flag(std::string_view name, bool value) {
    key(name);
    out_ += value ? "true" : "false";
  }
  void null(std::string_view name) {
    key(name);
    out_ += "null";
  }
  // The key of a member whose value the caller writes next.
  void key(std::string_view name) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += '"';
    out_ += name;  // the names here are plain ASCII
    out_ += "\":";
  }

 private:
  std::string& out_;
  bool first_ = true;
};

template <class T>
Json optionalJson(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json moneyJson(const std::optional<Decimal>& value) {
  return value ? Json(value->text()) : Json(nullptr);
}

Json nameJson(const std::string& name) { return name.empty() ? Json(nullptr) : Json(name); }

// Reads the fields of one object, keeping every error.
class Reader {
 public:
  Reader(const Json& object, std::string at, std::vector<FieldError>& errors)
      : object_(object), at_(std::move(at)), errors_(errors) {}

  bool given(const char* field) const {
    return object_.contains(field) && !object_[field].is_null();
  }

  std::optional<int64_t> whole(const char* field, const std::string& caption) {
    if (!given(field)) return std::nullopt;
    const Json& v = object_[field];
    if (v.is_number_integer()) return v.get<int64_t>();
    // Beyond 64 bits: still a whole number, which the rules refuse as too large.
    if (v.is_number_unsigned()) return std::numeric_limits<int64_t>::max();
    wrong(field, caption, "um número inteiro");
    return std::nullopt;
  }

  std::optional<Decimal> number(const char* field, const std::string& caption) {
    if (!given(field)) return std::nullopt;
    const Json& v = object_[field];
    std::optional<Decimal> d;
    if (v.is_number_integer() || v.is_number_unsigned())
      d = Decimal::fromText(v.dump());
    else if (v.is_number())
      d = Decimal::fromDouble(v.get<double>());
    if (!d) wrong(field, caption, "um número");
    return d;
  }

  // Money is an exact decimal text with '.' as its decimal mark ("1500.75");
  // a JSON number is taken too.
  std::optional<Decimal> money(const char* field, const std::string& caption) {
    if (!given(field)) return std::nullopt;
    const Json& v = object_[field];
    if (v.is_number()) return number(field, caption);
    if (v.is_string()) {
      const std::string& t = v.get_ref<const std::string&>();
      size_t point = t.find('.');
      bool plain = !t.empty() && t.find(',') == std::string::npos &&
                   t.find_first_not_of("-0123456789.") == std::string::npos &&
                   (point == std::string::npos || t.find('.', point + 1) == std::string::npos);
      if (plain)
        if (auto d = Decimal::fromText(t)) return d;
    }
    wrong(field, caption, "um valor decimal com ponto, como \"1500.75\"");
    return std::nullopt;
  }

  std::string text(const char* field, const std::string& caption) {
    if (!given(field)) return {};
    if (object_[field].is_string()) return object_[field].get<std::string>();
    wrong(field, caption, "um texto");
    return {};
  }

 private:
  void wrong(const char* field, const std::string& caption, const char* expected) {
    errors_.push_back({at_ + field, "O campo " + caption + " deve ser " + expected + "."});
  }

  const Json& object_;
  std::string at_;
  std::vector<FieldError>& errors_;
};

}  // namespace

std::string coletaText(const Coleta& c) {
  std::string out;
  out.reserve(512 + 160 * c.pecas.size() + c.embalagem.size());
  {
    ObjectWriter j(out);
    j.whole("id", c.id);
    j.whole("cliente_id", c.cliente_id);
    j.text("cliente", c.cliente);
    j.name("cliente_nome", c.cliente_nome);
    j.whole("remetente_id", c.remetente_id);
    j.name("remetente_nome", c.remetente_nome);
    j.whole("destinatario_id", c.destinatario_id);
    j.name("destinatario_nome", c.destinatario_nome);
    j.whole("volumes", c.volumes);
    j.number("peso_kg", c.peso_kg);
    j.money("valor_declarado", c.valor_declarado);
    j.text("embalagem", c.embalagem);
    j.key("pecas");
    out += '[';
    for (size_t k = 0; k < c.pecas.size(); ++k) {
      const Peca& p = c.pecas[k];
      if (k > 0) out += ',';
      ObjectWriter piece(out);
      piece.whole("id", p.id);
      piece.number("largura_m", p.largura_m);
      piece.number("altura_m", p.altura_m);
      piece.number("comprimento_m", p.comprimento_m);
      piece.whole("volumes", p.volumes);
    }
    out += ']';
    if (c.aviso && !c.aviso->empty()) j.text("aviso", *c.aviso);
    j.flag("editavel", !c.aviso.has_value());
  }
  return out;
}

Json coletaJson(const Coleta& c) { return Json::parse(coletaText(c)); }

Json coletaSummaryJson(const Coleta& c) {
  return {{"id", c.id},
          {"data_emissao", nameJson(c.data_emissao)},
          {"cliente_id", optionalJson(c.cliente_id)},
          {"cliente_nome", nameJson(c.cliente_nome)},
          {"remetente_id", optionalJson(c.remetente_id)},
          {"remetente_nome", nameJson(c.remetente_nome)},
          {"destinatario_id", optionalJson(c.destinatario_id)},
          {"destinatario_nome", nameJson(c.destinatario_nome)},
          {"volumes", optionalJson(c.volumes)},
          {"peso_kg", decimalJson(c.peso_kg)},
          {"valor_declarado", moneyJson(c.valor_declarado)},
          {"embalagem", c.embalagem}};
}

Json pessoaJson(const Pessoa& p) {
  return {{"endereco_id", p.endereco_id},
          {"pessoa_id", optionalJson(p.pessoa_id)},
          {"tipo", p.tipo},
          {"nome", p.nome},
          {"nome_fantasia", p.nome_fantasia},
          {"cpf_cnpj", p.cpf_cnpj},
          {"ie_rg", p.ie_rg},
          {"endereco", p.endereco},
          {"cep", p.cep},
          {"municipio", p.municipio},
          {"municipio_id", optionalJson(p.municipio_id)},
          {"cod_municipio_iata", p.cod_municipio_iata}};
}

namespace {

template <class T, class Item>
Json pageJson(const Page<T>& page, Item&& item) {
  Json items = Json::array();
  for (const T& t : page.itens) items.push_back(item(t));
  Json j = {{"itens", std::move(items)}};
  if (!page.proximo_cursor.empty()) j["proximo_cursor"] = page.proximo_cursor;
  return j;
}

}  // namespace

Json coletaPageJson(const Page<Coleta>& page) { return pageJson(page, coletaSummaryJson); }

Json pessoaPageJson(const Page<Pessoa>& page) { return pageJson(page, pessoaJson); }

Json errorsJson(const std::vector<FieldError>& errors) {
  Json list = Json::array();
  for (const FieldError& e : errors) list.push_back({{"campo", e.campo}, {"mensagem", e.mensagem}});
  return list;
}

Coleta coletaFromJson(const Json& body) {
  if (!body.is_object())
    throw BodyError(
        std::vector<FieldError>{{"", "O corpo deve ser um objeto JSON com os campos da Coleta."}});
  std::vector<FieldError> errors;
  Reader r(body, "", errors);
  Coleta c;
  c.cliente_id = r.whole("cliente_id", "Cliente");
  c.remetente_id = r.whole("remetente_id", "Remetente");
  c.destinatario_id = r.whole("destinatario_id", "Destinatário");
  c.volumes = r.whole("volumes", "Nº de Volumes");
  c.peso_kg = r.number("peso_kg", "Peso");
  c.valor_declarado = r.money("valor_declarado", "Valor Dec.");
  c.embalagem = r.text("embalagem", "Descrição da Mercadoria");
  if (r.given("pecas")) {
    const Json& pieces = body["pecas"];
    if (!pieces.is_array()) {
      errors.push_back({"pecas", "O campo Peças deve ser uma lista de peças."});
    } else {
      for (size_t k = 0; k < pieces.size(); ++k) {
        std::string n = numtext::integerText(static_cast<int64_t>(k + 1));
        std::string at = "pecas[" + numtext::integerText(static_cast<int64_t>(k)) + "]";
        if (!pieces[k].is_object()) {
          errors.push_back({at, "A peça " + n + " deve ser um objeto."});
          continue;
        }
        Reader p(pieces[k], at + ".", errors);
        Peca piece;
        piece.largura_m = p.number("largura_m", "Largura da peça " + n);
        piece.altura_m = p.number("altura_m", "Altura da peça " + n);
        piece.comprimento_m = p.number("comprimento_m", "Comprimento da peça " + n);
        piece.volumes = p.whole("volumes", "Volumes da peça " + n);
        c.pecas.push_back(std::move(piece));
      }
    }
  }
  if (!errors.empty()) throw BodyError(std::move(errors));
  return c;
}

}  // namespace z418kt::resource
