// Not built yet: no ODBC provider.
#include "data/connection.h"

namespace z418kt::data {
std::unique_ptr<Provider> makeOdbcProvider() { return nullptr; }
}  // namespace z418kt::data
