// Not built yet: the default IdentifierUtil cannot be created (429).
#include "outside/components.h"

namespace z418kt::outside {
std::unique_ptr<IdentifierUtil> makeDefaultIdentifierUtil() { return nullptr; }
}  // namespace z418kt::outside
