// Who is acting on this thread, for the events a change of a Coleta leaves
// behind (its history and its webhooks).
//
// The internet user id comes with every operation; the name of the acting
// program or credential (for example the HTTP token's name) does not, so a
// front end names it here for the calls it makes on this thread:
//
//   z418kt::ChangeActor actor("portal-clientes");
//   component.gGrava_Coleta(...);   // its event records "portal-clientes"
//
// The name holds until the object goes, then the previous one is back. At
// most 100 bytes are kept; an empty name means none.
#pragma once

#include <string>

#include "z418kt/export.h"

namespace z418kt {

class Z418KT_EXPORT ChangeActor {
 public:
  explicit ChangeActor(std::string name);
  ~ChangeActor();
  ChangeActor(const ChangeActor&) = delete;
  ChangeActor& operator=(const ChangeActor&) = delete;

  // The name in force on this thread ("" when none).
  static std::string current();

 private:
  std::string previous_;
};

}  // namespace z418kt
