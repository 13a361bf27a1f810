// Calendar <-> definition. Taking a definition copies the calendar's sequences
// item by item; building a calendar replays the items through the ordinary
// editing operations in a fixed order (default capacity, open rules, break
// rules, open windows, closed windows, capacity windows, entries), so the first
// error is the one interactive editing would report first.
//   auto cal = to_calendar(to_definition(c).value());  // equal to c for a simple c
#pragma once

#include "definition/definition.h"
#include "engine/calendar.h"

namespace hourloom {

// to_definition: RuntimeError for a composite calendar; nothing else is looked at.
Result<Definition> to_definition(const Calendar& c);

// to_calendar: a new simple calendar, or the first editing error. An entry id
// repeated in the definition replaces the earlier entry in its place.
Result<Calendar> to_calendar(const Definition& d);

}  // namespace hourloom
