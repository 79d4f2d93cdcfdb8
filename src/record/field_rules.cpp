#include "record/field_rules.h"

#include <functional>
#include <string>

#include "automation/number_text.h"
#include "record/coleta_record.h"
#include "record/door_reads.h"

namespace z418kt::record {

namespace {

// A header field: its name in requests, and a value the check accepts.
struct HeaderField {
  const char* campo;
  std::function<void(Coleta&)> standIn;
};

const std::vector<HeaderField>& headerFields() {
  static const std::vector<HeaderField> fields = {
      {"cliente_id", [](Coleta& c) { c.cliente_id = 1; }},
      {"remetente_id", [](Coleta& c) { c.remetente_id = 1; }},
      {"destinatario_id", [](Coleta& c) { c.destinatario_id = 1; }},
      {"volumes", [](Coleta& c) { c.volumes = 1; }},
      {"peso_kg", [](Coleta& c) { c.peso_kg = Decimal::fromInteger(1); }},
      {"valor_declarado", [](Coleta& c) { c.valor_declarado = Decimal::fromInteger(1); }},
      {"embalagem", [](Coleta& c) { c.embalagem.clear(); }},
  };
  return fields;
}

void checkHeaderFields(Z418kt& component, const CallContext& context, const Coleta& coleta,
                       int64_t id, FieldCheck& out, std::vector<bool>& refused) {
  Coleta probe = coleta;
  const auto& fields = headerFields();
  refused.assign(fields.size(), false);
  for (size_t round = 0; round <= fields.size(); ++round) {
    HeaderCheck h = checkHeader(component, context, probe, id);
    if (h.callFailed) {
      out.failed = true;
      out.message = h.message;
      return;
    }
    if (h.passed) return;
    bool named = false;
    for (size_t f = 0; f < fields.size() && !named; ++f) {
      if (refused[f]) continue;
      Coleta trial = probe;
      fields[f].standIn(trial);
      HeaderCheck t = checkHeader(component, context, trial, id);
      if (t.passed || t.message != h.message) {
        out.errors.push_back({fields[f].campo, h.message});
        refused[f] = true;
        probe = std::move(trial);
        named = true;
      }
    }
    if (!named) {  // about no one field (the document id, or no message at all)
      out.errors.push_back({"", h.message});
      return;
    }
  }
}

void checkPieces(const Coleta& coleta, FieldCheck& out) {
  for (size_t k = 0; k < coleta.pecas.size(); ++k) {
    const Peca& p = coleta.pecas[k];
    std::string n = numtext::integerText(static_cast<int64_t>(k + 1));
    std::string at = "pecas[" + numtext::integerText(static_cast<int64_t>(k)) + "].";
    auto positive = [&](const char* field, const std::string& caption, bool present, bool above) {
      if (!present)
        out.errors.push_back({at + field, "O campo " + caption + " é obrigatório."});
      else if (!above)
        out.errors.push_back({at + field, "O campo " + caption + " deve ser maior que zero."});
    };
    auto measure = [&](const char* field, const char* caption, const std::optional<Decimal>& v) {
      positive(field, std::string(caption) + " da peça " + n, v.has_value(),
               v && !v->negative && !v->isZero());
    };
    positive("volumes", "Volumes da peça " + n, p.volumes.has_value(), p.volumes && *p.volumes > 0);
    measure("largura_m", "Largura", p.largura_m);
    measure("altura_m", "Altura", p.altura_m);
    measure("comprimento_m", "Comprimento", p.comprimento_m);
  }
}

void checkReferences(const CallContext& context, const Coleta& coleta,
                     const std::vector<bool>& refused, FieldCheck& out) {
  // Only ids the header check let through: a refused one has its message.
  auto asked = [&](size_t field, const std::optional<int64_t>& id) {
    return refused[field] || !id || *id <= 0 ? std::nullopt : id;
  };
  auto cliente = asked(0, coleta.cliente_id);
  auto remetente = asked(1, coleta.remetente_id);
  auto destinatario = asked(2, coleta.destinatario_id);
  if (!cliente && !remetente && !destinatario) return;
  PartyNames names;
  try {
    names = partyNames(context.connection, cliente, remetente, destinatario);
  } catch (const AutomationError& e) {
    out.failed = true;
    out.message = e.description;
    out.failure = data::lastFailure();
    return;
  }
  auto missing = [&](const char* campo, const char* what, const std::optional<int64_t>& id,
                     const std::optional<std::string>& name) {
    if (id && !name)
      out.errors.push_back(
          {campo, std::string(what) + " " + numtext::integerText(*id) + " não encontrado."});
  };
  missing("cliente_id", "Cliente", cliente, names.cliente);
  missing("remetente_id", "Remetente", remetente, names.remetente);
  missing("destinatario_id", "Destinatário", destinatario, names.destinatario);
}

}  // namespace

FieldCheck checkFields(Z418kt& component, const CallContext& context, const Coleta& coleta,
                       int64_t id) {
  FieldCheck out;
  std::vector<bool> refused;
  checkHeaderFields(component, context, coleta, id, out, refused);
  if (out.failed) return out;
  checkPieces(coleta, out);
  checkReferences(context, coleta, refused, out);
  return out;
}

}  // namespace z418kt::record
