// driver/query.h: turning the query into constraints or into the "#query" rule.
#pragma once

namespace veltra {

// Rewrites the query for the reasoning mode before grounding; false when the
// run cannot go on (the message is printed).
bool setupQuery();

}  // namespace veltra
