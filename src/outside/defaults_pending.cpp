// Not built yet: the default components cannot be created (429).
#include "outside/components.h"

namespace z418kt::outside {
std::shared_ptr<ValueUtil> makeDefaultValueUtil() { return nullptr; }
std::shared_ptr<InputCheckUtil> makeDefaultInputCheckUtil() { return nullptr; }
std::shared_ptr<NumberFormatUtil> makeDefaultNumberFormatUtil() { return nullptr; }
std::shared_ptr<OracleSqlUtil> makeDefaultOracleSqlUtil() { return nullptr; }
}  // namespace z418kt::outside
