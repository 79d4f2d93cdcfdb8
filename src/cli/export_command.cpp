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
    err << "z418kt: say which format: --one-record (the only one there is)\n";
    return kUsage;
  }
  auto id = numtext::parseInteger(request.id);
  if (!id || *id <= 0 || request.id[0] == '+') {
    err << "z418kt: the Coleta id must be a whole number above 0, not \"" << request.id << "\"\n";
    return kUsage;
  }
  auto base = onerecord::normalizedBase(request.base);
  if (!base) {
    err << "z418kt: --one-record-base must be an absolute IRI such as " << onerecord::kDefaultBase
        << ", not \"" << request.base << "\"\n";
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
