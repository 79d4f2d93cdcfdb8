#include "z418kt/database.h"

#include "data/database_setup.h"

namespace z418kt {

void initDatabase(const std::string& connectionText, bool withDemo) {
  data::initDatabase(connectionText, withDemo);
}

}  // namespace z418kt
