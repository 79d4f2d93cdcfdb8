#include "cli/people_commands.h"

#include <climits>
#include <optional>
#include <ostream>

#include "automation/number_text.h"
#include "cli/table.h"
#include "export/resource_json.h"

namespace z418kt::cli {

namespace {

// ----- reading arguments -----

std::string trimmed(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return text.substr(b, text.find_last_not_of(" \t") + 1 - b);
}

std::optional<int64_t> wholeArg(const std::string& text, int64_t low) {
  std::string t = trimmed(text);
  auto n = numtext::parseInteger(t);
  if (!n || *n < low || *n > INT32_MAX || t[0] == '+') return std::nullopt;
  return n;
}

bool usage(Output o, const std::string& what, const std::string& text, const std::string& why) {
  o.err << "z418kt: " << what << " \"" << text << "\": " << why << '\n';
  return false;
}

// An optional whole-number option; false (after saying why) when malformed.
bool readWhole(Output o, const char* option, const std::string& text, int64_t low,
               std::optional<int64_t>& out) {
  if (text.empty()) return true;
  out = wholeArg(text, low);
  if (out) return true;
  return usage(o, option, text,
               "não é um número inteiro" + std::string(low > 0 ? " maior que 0" : ""));
}

bool readNumber(Output o, const char* option, const std::string& text,
                std::optional<Decimal>& out) {
  if (text.empty()) return true;
  DecimalEntry e = Decimal::fromCommandLine(text);
  if (e.value) {
    out = e.value;
    return true;
  }
  return usage(o, option, text, e.error);
}

// ----- printing -----

std::string shown(const std::optional<int64_t>& v) {
  return v ? numtext::integerText(*v) : std::string();
}

std::string shown(const std::optional<Decimal>& v, const char* unit = "") {
  return v ? v->brazilian() + unit : std::string();
}

std::string withName(const std::optional<int64_t>& id, const std::string& name) {
  if (!id) return "";
  return name.empty() ? shown(id) : shown(id) + " (" + name + ")";
}

void printPieces(std::ostream& out, const std::vector<Peca>& pieces) {
  if (pieces.empty()) {
    out << "Carga: nenhuma peça\n";
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const Peca& p : pieces)
    rows.push_back({shown(p.volumes), shown(p.largura_m), shown(p.altura_m), shown(p.comprimento_m),
                    p.id ? numtext::integerText(p.id) : ""});
  out << "Carga:\n";
  printGrid(out, {"Volumes", "Largura (m)", "Altura (m)", "Comprimento (m)", "Carga"}, rows);
}

void printColeta(std::ostream& out, const Coleta& c) {
  out << "Coleta " << c.id << '\n';
  printFields(out, {{"Cliente", withName(c.cliente_id, c.cliente_nome)},
                    {"Nome do cliente", c.cliente},
                    {"Remetente (endereço)", withName(c.remetente_id, c.remetente_nome)},
                    {"Destinatário (endereço)", withName(c.destinatario_id, c.destinatario_nome)},
                    {"Volumes", shown(c.volumes)},
                    {"Peso real", shown(c.peso_kg, " kg")},
                    {"Embalagem", c.embalagem},
                    {"Valor declarado", c.valor_declarado ? c.valor_declarado->reais() : ""}});
  printPieces(out, c.pecas);
  if (c.aviso) out << "Aviso: " << *c.aviso << '\n';
}

// Anything but Done: the messages (every error of a refusal on its own
// line) and the exit status of what happened.
template <class T>
int failed(Output o, const Result<T>& r) {
  switch (r.status) {
    case Status::Done:
      return kExitDone;
    case Status::NotFound:
      o.err << "z418kt: " << r.message << '\n';
      return kExitNotFound;
    case Status::Conflict:
      o.err << "z418kt: " << r.message << '\n';
      return kExitLocked;
    case Status::Unavailable:
      o.err << "z418kt: " << r.message << '\n';
      return kExitUnavailable;
    case Status::Refused:
      for (const FieldError& e : r.errors)
        o.err << "Erro: "
              << (e.mensagem.empty() ? "a operação recusou o pedido sem dizer o motivo."
                                     : e.mensagem)
              << '\n';
      return kExitFailed;
    case Status::Failed:
      break;
  }
  o.err << "z418kt: " << (r.message.empty() ? "a operação falhou sem mensagem." : r.message)
        << '\n';
  return kExitFailed;
}

void printJson(Output o, const json::Json& j) { o.out << j.dump() << '\n'; }

bool readFields(Output o, const ColetaFields& f, int64_t& id, Coleta& c) {
  std::optional<int64_t> given;
  if (!readWhole(o, "--id", f.id, 0, given)) return false;
  id = given.value_or(0);
  if (!(readWhole(o, "--cliente", f.cliente, 1, c.cliente_id) &&
        readWhole(o, "--remetente", f.remetente, 1, c.remetente_id) &&
        readWhole(o, "--destinatario", f.destinatario, 1, c.destinatario_id) &&
        readWhole(o, "--volumes", f.volumes, 0, c.volumes) &&
        readNumber(o, "--peso", f.peso, c.peso_kg) &&
        readNumber(o, "--valor", f.valor, c.valor_declarado)))
    return false;
  c.embalagem = f.embalagem;
  for (const std::string& cargo : f.cargas) {
    Peca piece;
    std::string why;
    if (!parseCargo(cargo, piece, why)) return usage(o, "--carga", cargo, why);
    c.pecas.push_back(std::move(piece));
  }
  return true;
}

// After a create that stopped half-way: what it left stored, and how to
// finish it without a second Coleta.
void tellWhatWasStored(const FrontDoor& door, Output o, const ColetaFields& f, int64_t id,
                       int64_t storedId) {
  if (storedId <= 0) return;
  auto stored = door.get(storedId);
  size_t pieces = stored.ok() ? stored.value.pecas.size() : 0;
  o.err << "Atenção: a gravação parou no meio. Ficou gravado: ";
  if (id == 0)
    o.err << "a Coleta " << storedId << " (nova), ";
  else
    o.err << "os dados da Coleta " << storedId << ", ";
  o.err << pieces << " de " << f.cargas.size() << " peça(s).\n";
  if (id == 0)
    o.err << "Corrija e grave de novo com --id " << storedId << " para não criar outra Coleta.\n";
}

}  // namespace

bool parseCargo(const std::string& text, Peca& piece, std::string& why) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == 'x' || c == 'X')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  if (parts.size() != 4) {
    why =
        "não é VOLUMESxLARGURAxALTURAxCOMPRIMENTO (um número inteiro e três medidas em "
        "metros, como 2x0.5x0.4x0.3)";
    return false;
  }
  piece.volumes = wholeArg(parts[0], 0);
  if (!piece.volumes) {
    why = "os volumes \"" + parts[0] + "\" não são um número inteiro";
    return false;
  }
  std::optional<Decimal>* measures[] = {&piece.largura_m, &piece.altura_m, &piece.comprimento_m};
  for (size_t k = 0; k < 3; ++k) {
    DecimalEntry e = Decimal::fromCommandLine(parts[k + 1]);
    if (!e.value) {
      why = e.error;
      return false;
    }
    *measures[k] = e.value;
  }
  return true;
}

int showColeta(const FrontDoor& door, const std::string& idText, Output o) {
  auto id = wholeArg(idText, 0);
  if (!id) return usage(o, "ID", idText, "não é um número inteiro"), kExitUsage;
  auto r = door.get(*id);
  if (!r.ok()) return failed(o, r);
  if (o.json)
    printJson(o, resource::coletaJson(r.value));
  else
    printColeta(o.out, r.value);
  return kExitDone;
}

int saveColeta(const FrontDoor& door, const ColetaFields& f, Output o) {
  int64_t id = 0;
  Coleta coleta;
  if (!readFields(o, f, id, coleta)) return kExitUsage;
  if (id != 0 && !f.idempotencyKey.empty())
    return usage(o, "--idempotency-key", f.idempotencyKey,
                 "só vale para uma Coleta nova (sem --id)"),
           kExitUsage;
  auto r = id == 0 ? door.create(coleta, f.idempotencyKey) : door.update(id, coleta);
  if (!r.ok()) {
    int code = failed(o, r);
    tellWhatWasStored(door, o, f, id, r.storedId);
    return code;
  }
  if (o.json) {
    printJson(o, resource::coletaJson(r.value));
  } else {
    o.out << "Coleta gravada: " << r.value.id << '\n';
    printColeta(o.out, r.value);
  }
  return kExitDone;
}

int deleteColeta(const FrontDoor& door, const std::string& idText, Output o) {
  auto id = wholeArg(idText, 0);
  if (!id) return usage(o, "ID", idText, "não é um número inteiro"), kExitUsage;
  auto r = door.remove(*id);
  if (!r.ok()) return failed(o, r);
  if (o.json)
    printJson(o, {{"id", *id}, {"excluida", true}});
  else
    o.out << "Coleta " << *id << " excluída.\n";
  return kExitDone;
}

int listColetas(const FrontDoor& door, const ListFields& f, Output o) {
  ColetaFilter filter;
  std::optional<int64_t> limite;
  if (!(readWhole(o, "--cliente", f.cliente, 1, filter.cliente_id) &&
        readWhole(o, "--remetente", f.remetente, 1, filter.remetente_id) &&
        readWhole(o, "--destinatario", f.destinatario, 1, filter.destinatario_id) &&
        readWhole(o, "--limite", f.limite, 1, limite)))
    return kExitUsage;
  filter.desde = trimmed(f.desde);
  filter.ate = trimmed(f.ate);
  filter.limite = static_cast<int32_t>(limite.value_or(filter.limite));
  filter.cursor = trimmed(f.cursor);
  auto r = door.list(filter);
  if (r.status == Status::Refused) {
    for (const FieldError& e : r.errors) o.err << "z418kt: " << e.mensagem << '\n';
    return kExitUsage;
  }
  if (!r.ok()) return failed(o, r);
  if (o.json) {
    printJson(o, resource::coletaPageJson(r.value));
    return kExitDone;
  }
  std::vector<std::vector<std::string>> rows;
  for (const Coleta& c : r.value.itens)
    rows.push_back({numtext::integerText(c.id), c.data_emissao.substr(0, 16), c.cliente_nome,
                    c.remetente_nome, c.destinatario_nome, shown(c.volumes),
                    shown(c.peso_kg, " kg"), c.valor_declarado ? c.valor_declarado->reais() : ""});
  if (rows.empty())
    o.out << "Nenhuma Coleta.\n";
  else
    printGrid(
        o.out,
        {"Coleta", "Emissão", "Cliente", "Remetente", "Destinatário", "Volumes", "Peso", "Valor"},
        rows);
  if (!r.value.proximo_cursor.empty()) o.out << "Mais: --cursor " << r.value.proximo_cursor << '\n';
  return kExitDone;
}

int showPessoa(const FrontDoor& door, const std::string& idText, Output o) {
  auto id = wholeArg(idText, 0);
  if (!id) return usage(o, "ID", idText, "não é um número inteiro"), kExitUsage;
  auto r = door.pessoa(*id);
  if (!r.ok()) return failed(o, r);
  if (o.json) {
    printJson(o, resource::pessoaJson(r.value));
    return kExitDone;
  }
  const Pessoa& p = r.value;
  o.out << "Endereço de pessoa " << p.endereco_id << '\n';
  printFields(o.out, {{"Pessoa", shown(p.pessoa_id)},
                      {"Tipo (PF/PJ)", p.tipo},
                      {"Nome", p.nome},
                      {"Nome fantasia", p.nome_fantasia},
                      {"CPF/CNPJ", p.cpf_cnpj},
                      {"RG/IE", p.ie_rg},
                      {"Endereço", p.endereco},
                      {"CEP", p.cep},
                      {"Município", p.municipio},
                      {"Município (id)", shown(p.municipio_id)},
                      {"Código IATA", p.cod_municipio_iata}});
  return kExitDone;
}

int findPessoas(const FrontDoor& door, const std::string& q, const std::string& limiteText,
                const std::string& cursor, Output o) {
  std::optional<int64_t> limite;
  if (!readWhole(o, "--limite", limiteText, 1, limite)) return kExitUsage;
  PessoaQuery query;
  query.q = q;
  query.limite = static_cast<int32_t>(limite.value_or(query.limite));
  query.cursor = trimmed(cursor);
  auto r = door.search(query);
  if (r.status == Status::Refused) {
    for (const FieldError& e : r.errors) o.err << "z418kt: " << e.mensagem << '\n';
    return kExitUsage;
  }
  if (!r.ok()) return failed(o, r);
  if (o.json) {
    printJson(o, resource::pessoaPageJson(r.value));
    return kExitDone;
  }
  std::vector<std::vector<std::string>> rows;
  for (const Pessoa& p : r.value.itens)
    rows.push_back(
        {numtext::integerText(p.endereco_id), p.tipo, p.nome, p.cpf_cnpj, p.endereco, p.municipio});
  if (rows.empty())
    o.out << "Nenhuma pessoa encontrada.\n";
  else
    printGrid(o.out, {"Endereço (id)", "Tipo", "Nome", "CPF/CNPJ", "Endereço", "Município"}, rows);
  if (!r.value.proximo_cursor.empty()) o.out << "Mais: --cursor " << r.value.proximo_cursor << '\n';
  return kExitDone;
}

}  // namespace z418kt::cli
