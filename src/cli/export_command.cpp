#include "cli/export_command.h"

#include <ostream>

#include "automation/number_text.h"
#include "export/one_record.h"

namespace z418kt::cli {

namespace {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNotFound = 3;

}  // namespace

int exportColeta(Z418kt& component, const CallContext& context, const ExportRequest& request,
                 std::ostream& out, std::ostream& err) {
  if (!request.oneRecord) {
    err << "z418kt: diga o formato: --one-record (o único que há)\n";
    return kUsage;
  }
  auto id = numtext::parseInteger(request.id);
  if (!id || *id <= 0 || request.id[0] == '+') {
    err << "z418kt: o id da Coleta deve ser um número inteiro maior que 0, não \"" << request.id
        << "\"\n";
    return kUsage;
  }
  auto base = onerecord::normalizedBase(request.base);
  if (!base) {
    err << "z418kt: --one-record-base deve ser um IRI absoluto como " << onerecord::kDefaultBase
        << ", não \"" << request.base << "\"\n";
    return kUsage;
  }
  Result<std::string> outcome = onerecord::exportColeta(FrontDoor(component, context), *id, *base);
  if (outcome.ok()) {
    out << outcome.value << '\n';
    return kDone;
  }
  if (outcome.status == Status::NotFound) {
    err << "z418kt: " << outcome.message << '\n';
    return kNotFound;
  }
  err << "z418kt: " << (outcome.message.empty() ? "a leitura falhou sem mensagem" : outcome.message)
      << '\n';
  return kFailed;
}

}  // namespace z418kt::cli
