// An event as a ONE Record LogisticsEvent about the Coleta's Shipment, for
// subscribers that take ONE Record: JSON-LD with its @context, the
// Shipment's IRI built under the base as the Coleta export builds it
// (coletas/ID), the event's own under it (coletas/ID/logistics-events/SEQ).
// The terms used are listed in one_record_event_terms.txt.
#pragma once

#include <string>

#include "events/event.h"

namespace z418kt::events {

std::string logisticsEventDocument(const Event& event, const std::string& base);

}  // namespace z418kt::events
