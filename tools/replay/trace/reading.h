// The trace reader's two readers of a line, and what they share: the
// general one, which reads every event and words what is wrong, and the
// quick one for the usual line, a sync event, which leaves anything out of
// the ordinary to the general one.
#pragma once

#include "events.h"
#include "json_tree.h"

namespace replay::reading {

// The event a line's JSON holds, checked; fails (Bad) with what is wrong.
Event eventOf(const Value &object);

// A line that is one "sync" event and nothing else, read quickly into `s`,
// a Sync as it is made (its fields at their defaults). False leaves the
// line to the general reader.
bool quickSyncLine(simdjson::dom::element document, Sync &s);

} // namespace replay::reading
