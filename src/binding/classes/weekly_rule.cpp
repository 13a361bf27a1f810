// HourloomWeeklyRule: a day of the week and a time-of-day span, repeated
// every week.
#include "binding/core/rows.h"
#include "time/weekly_rule.h"

namespace hourloom::py {

namespace {

using OnRule = OnValue<WeeklyRule, TypeId::WeeklyRule>;

bool rule_contains_instant(const WeeklyRule& r, Instant t) { return rule_contains(r, t); }

constinit MethodDecl kWeeklyRuleNew = constructor<OnRule, &make_weekly_rule>("HourloomWeeklyRule", "day, start, end");
constinit MethodDecl kWeeklyRuleContains = query<OnRule, &rule_contains_instant>("Contains", "instant");
constinit MethodDecl kWeeklyRuleToWindow = query<OnRule, &rule_window>("ToWindow", "date");

const Member kWeeklyRuleMembers[] = {
    property("Day", &read<OnRule, &WeeklyRule::day>),
    property("Start", &read<OnRule, &WeeklyRule::start>),
    property("End", &read<OnRule, &WeeklyRule::end>),
    method<kWeeklyRuleContains>(),
    method<kWeeklyRuleToWindow>(),
};

}  // namespace

const ClassDecl kWeeklyRuleClass{"HourloomWeeklyRule", sizeof(Boxed<WeeklyRule>), &boxed_dealloc<WeeklyRule>,
                                 &kWeeklyRuleNew,      nullptr,                    nullptr,
                                 kWeeklyRuleMembers};

}  // namespace hourloom::py
