// z418kt coleta export ID --one-record [--one-record-base IRI]: a Coleta as
// the ONE Record JSON-LD document, on standard output.
#pragma once

#include <iosfwd>
#include <string>

#include "export/one_record.h"
#include "z418kt/coletas.h"

namespace z418kt::cli {

struct ExportRequest {
  std::string id;
  bool oneRecord = false;                      // the one format there is; asked for by name
  std::string base = onerecord::kDefaultBase;  // the identifiers are built under it
};

// Exit code: 0 written; 1 the read failed (the operations' message on `err`);
// 2 wrong usage (no format, an id or a base that cannot be one); 3 no such Coleta.
int exportColeta(Z418kt& component, const CallContext& context, const ExportRequest& request,
                 std::ostream& out, std::ostream& err);

}  // namespace z418kt::cli
