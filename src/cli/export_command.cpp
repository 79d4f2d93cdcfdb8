#include "cli/export_command.h"

#include <charconv>
#include <ostream>

#include "export/one_record.h"

namespace z418kt::cli {

namespace {

constexpr int kDone = 0, kFailed = 1, kUsage = 2, kNotFound = 3;

}  // namespace

int exportColeta(Z418kt& component, const json::CallContext& context, const ExportRequest& request,
                 std::ostream& out, std::ostream& err) {
  if (!request.oneRecord) {
    err << "z418kt: say which format: --one-record (the only one there is)\n";
    return kUsage;
  }
  int64_t id = 0;
  const char* end = request.id.data() + request.id.size();
  auto [stop, ec] = std::from_chars(request.id.data(), end, id);
  if (request.id.empty() || ec != std::errc() || stop != end || id <= 0) {
    err << "z418kt: the Coleta id must be a whole number above 0, not \"" << request.id << "\"\n";
    return kUsage;
  }
  auto base = onerecord::normalizedBase(request.base);
  if (!base) {
    err << "z418kt: --one-record-base must be an absolute IRI such as " << onerecord::kDefaultBase
        << ", not \"" << request.base << "\"\n";
    return kUsage;
  }
  onerecord::ExportOutcome outcome = onerecord::exportColeta(component, context, id, *base);
  switch (outcome.status) {
    case record::ReadStatus::Found:
      out << outcome.document << '\n';
      return kDone;
    case record::ReadStatus::NotFound:
      err << "z418kt: Coleta " << id << " não encontrada.\n";
      return kNotFound;
    case record::ReadStatus::Failed:
      break;
  }
  err << "z418kt: " << (outcome.message.empty() ? "a leitura falhou sem mensagem" : outcome.message)
      << '\n';
  return kFailed;
}

}  // namespace z418kt::cli
