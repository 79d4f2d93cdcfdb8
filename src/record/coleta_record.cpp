#include "record/coleta_record.h"

#include <cstdint>

#include "record/read_values.h"
#include "z418kt/safe_array.h"

namespace z418kt::record {

namespace {

// The outputs a found document always writes. The read leaves them as passed
// (Empty here) when no document matches, and still answers status 0.
constexpr const char* kDocumentOutputs[] = {
    "outvntcliente_id", "outvntcliente",   "outvntEND_DESTINATARIO_ID", "outvntEND_REMETENTE_ID",
    "outvntnum_volume", "outvntpeso_real", "outvnttxt_embalagem",       "outvntval_declarado"};

// Matrix columns, as the operations lay out one cargo piece.
enum Column : int32_t { kVolumes = 0, kLargura, kAltura, kComprimento, kPieceId, kColumns };

bool documentFound(const Outcome& r) {
  for (const char* name : kDocumentOutputs)
    if (!r.arg(name).isEmpty()) return true;
  return false;
}

std::vector<Peca> piecesOf(const Outcome& r) {
  std::vector<Peca> pieces;
  int64_t rows = wholeOf(r.arg("outvntQtde_Linha"), "outvntQtde_Linha").value_or(0);
  if (rows <= 0) return pieces;
  const Variant& matrix = r.arg("outarrvntMatriz_DIM");
  if (!matrix.isArray()) throw UnreadableValue("outarrvntMatriz_DIM", "[sem matriz]");
  const SafeArray& m = matrix.array();
  auto cell = [&](int32_t column, int64_t row) -> const Variant& {
    return m.at(m.lbound(1) + column, m.lbound(2) + static_cast<int32_t>(row));
  };
  for (int64_t row = 0; row < rows; ++row) {
    Peca p;
    p.id = wholeOf(cell(kPieceId, row), "CARGA_ID").value_or(0);
    p.volumes = wholeOf(cell(kVolumes, row), "num_volume");
    p.largura_m = decimalOf(cell(kLargura, row), "largura_m");
    p.altura_m = decimalOf(cell(kAltura, row), "altura_m");
    p.comprimento_m = decimalOf(cell(kComprimento, row), "comprimento_m");
    pieces.push_back(std::move(p));
  }
  return pieces;
}

Variant wholeArgument(const std::optional<int64_t>& value) {
  return value ? idArgument(*value) : Variant();
}

Variant decimalArgument(const std::optional<Decimal>& value) {
  return value ? Variant(value->text()) : Variant();
}

// The header's fields under the parameter names the save and the field check
// share.
NamedArgs headerArguments(const Coleta& coleta) {
  return {{"INVNTCLIENTE_ID", wholeArgument(coleta.cliente_id)},
          {"invntEND_DESTINATARIO_ID", wholeArgument(coleta.destinatario_id)},
          {"invntEND_REMETENTE_ID", wholeArgument(coleta.remetente_id)},
          {"invntnum_volume", wholeArgument(coleta.volumes)},
          {"invntpeso_real", decimalArgument(coleta.peso_kg)},
          {"invnttxt_embalagem", Variant(coleta.embalagem)},
          {"invntval_declarado", decimalArgument(coleta.valor_declarado)}};
}

Variant matrixOf(const std::vector<Peca>& pieces) {
  if (pieces.empty()) return Variant();
  SafeArray m = SafeArray::zeroBased(kColumns - 1, static_cast<int32_t>(pieces.size()) - 1);
  for (int32_t row = 0; row < static_cast<int32_t>(pieces.size()); ++row) {
    const Peca& p = pieces[static_cast<size_t>(row)];
    m.at(kVolumes, row) = wholeArgument(p.volumes);
    m.at(kLargura, row) = decimalArgument(p.largura_m);
    m.at(kAltura, row) = decimalArgument(p.altura_m);
    m.at(kComprimento, row) = decimalArgument(p.comprimento_m);
  }
  return Variant(std::move(m));
}

std::string messageOf(const Outcome& r) { return textOf(r.arg("outvntMsg_Ret")); }

}  // namespace

ReadOutcome<Coleta> readColeta(Z418kt& component, const CallContext& context, int64_t id) {
  return readThrough<Coleta>(
      [&] {
        return callOperation(component, context, "gConsulta_Coleta",
                             {{"invntDOCTO_TRANSPORTE_ID", idArgument(id)}});
      },
      documentFound,
      [&](const Outcome& r, Coleta& c) {
        c.id = id;
        c.cliente_id = wholeOf(r.arg("outvntcliente_id"), "cliente_id");
        c.cliente = textOf(r.arg("outvntcliente"));
        c.remetente_id = wholeOf(r.arg("outvntEND_REMETENTE_ID"), "END_REMETENTE_ID");
        c.destinatario_id = wholeOf(r.arg("outvntEND_DESTINATARIO_ID"), "END_DESTINATARIO_ID");
        c.volumes = wholeOf(r.arg("outvntnum_volume"), "num_volume");
        c.peso_kg = decimalOf(r.arg("outvntpeso_real"), "peso_real");
        c.valor_declarado = decimalOf(r.arg("outvntval_declarado"), "val_declarado");
        c.embalagem = textOf(r.arg("outvnttxt_embalagem"));
        c.pecas = piecesOf(r);
        if (!r.arg("outvntTexto").isEmpty()) c.aviso = textOf(r.arg("outvntTexto"));
      });
}

SaveOutcome saveColeta(Z418kt& component, const CallContext& context, const Coleta& coleta,
                       int64_t id) {
  SaveOutcome out;
  out.id = id;
  if (coleta.pecas.size() >= static_cast<size_t>(INT32_MAX)) {
    out.message = "A Coleta tem peças demais.";
    return out;
  }
  data::clearFailure();
  try {
    const auto rows = static_cast<int32_t>(coleta.pecas.size());
    NamedArgs args = headerArguments(coleta);
    args.insert(args.end(), {{"invntQtde_Linha", Variant(rows)},
                             {"invntQtde_Coluna", Variant(int32_t{kColumns})},
                             {"inarrvntMatriz_Dim", matrixOf(coleta.pecas)},
                             {"iovntDOCTO_TRANSPORTE_ID", idArgument(id)}});
    Outcome r = callOperation(component, context, "gGrava_Coleta", std::move(args));
    out.status = r.status();
    out.saved = r.succeeded();
    out.message = messageOf(r);
    if (!out.saved) out.failure = data::lastFailure();
    // The validation rewrites the id as text; the insert of a new Coleta
    // writes its new id. Both stay in the argument whatever happens later.
    out.id = wholeOf(r.arg("iovntDOCTO_TRANSPORTE_ID"), "DOCTO_TRANSPORTE_ID").value_or(0);
    // Each stored piece has its new id in column 4; the first row without
    // one is where the save stopped.
    const Variant& matrix = r.arg("inarrvntMatriz_Dim");
    for (int32_t row = 0; row < rows; ++row) {
      auto pieceId = wholeOf(matrix.array().at(kPieceId, row), "CARGA_ID");
      if (!pieceId) break;
      out.pieceIds.push_back(*pieceId);
    }
  } catch (const AutomationError& e) {
    out.message = e.description;
  } catch (const UnreadableValue& e) {
    out.message = e.what();
  }
  return out;
}

HeaderCheck checkHeader(Z418kt& component, const CallContext& context, const Coleta& coleta,
                        int64_t id) {
  HeaderCheck out;
  try {
    NamedArgs args = headerArguments(coleta);
    args.emplace_back("invntDOCTO_TRANSPORTE_ID", idArgument(id));
    Outcome r = callOperation(component, context, "mConsiste_Campos", std::move(args));
    out.passed = r.succeeded();
    if (!out.passed) out.message = messageOf(r);
  } catch (const AutomationError& e) {
    out.message = e.description;
    out.callFailed = true;
  }
  return out;
}

DeleteOutcome deleteColeta(Z418kt& component, const CallContext& context, int64_t id) {
  DeleteOutcome out;
  data::clearFailure();
  try {
    Outcome r = callOperation(component, context, "gExclui_Coleta",
                              {{"invntDOCTO_TRANSPORTE_ID", idArgument(id)}});
    out.status = r.status();
    out.deleted = r.succeeded();
    out.message = messageOf(r);
    if (!out.deleted) out.failure = data::lastFailure();
  } catch (const AutomationError& e) {
    out.message = e.description;
  }
  return out;
}

}  // namespace z418kt::record
