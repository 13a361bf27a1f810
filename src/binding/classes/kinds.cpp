// The namespace classes DayOfWeek, HourloomEntryKind and HourloomWindowKind:
// class attributes that name the engine's numbers; never instantiated.
#include "binding/core/rows.h"
#include "time/weekly_rule.h"

namespace hourloom::py {

namespace {

const Member kDayOfWeekMembers[] = {
    constant("Sunday", Weekday::Sunday),     constant("Monday", Weekday::Monday),
    constant("Tuesday", Weekday::Tuesday),   constant("Wednesday", Weekday::Wednesday),
    constant("Thursday", Weekday::Thursday), constant("Friday", Weekday::Friday),
    constant("Saturday", Weekday::Saturday),
};

const Member kEntryKindMembers[] = {constant("Open", EntryKind::Open), constant("Closed", EntryKind::Closed),
                                     constant("Capacity", EntryKind::WithCapacity)};
const Member kWindowKindMembers[] = {
    constant("Available", WindowKind::Available),       constant("Unavailable", WindowKind::Unavailable),
    constant("OpenRule", WindowKind::OpenRule),         constant("OpenWindow", WindowKind::OpenWindow),
    constant("BreakRule", WindowKind::BreakRule),       constant("ClosedWindow", WindowKind::ClosedWindow),
    constant("CapacityOverride", WindowKind::CapacityOverride),
};

}  // namespace

const ClassDecl kDayOfWeekClass{"DayOfWeek", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                kDayOfWeekMembers};
const ClassDecl kEntryKindClass{"HourloomEntryKind", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                kEntryKindMembers};
const ClassDecl kWindowKindClass{"HourloomWindowKind", sizeof(PyObject), &plain_dealloc, nullptr, nullptr, nullptr,
                                 kWindowKindMembers};

}  // namespace hourloom::py
