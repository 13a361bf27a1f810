// The module's classes and functions, each defined in its own file and
// registered by module init in the fixed order.
#pragma once

#include "binding/classes.h"

namespace hourloom::py {

extern const ClassDecl kDayOfWeekClass;
extern const ClassDecl kEntryKindClass;
extern const ClassDecl kWindowKindClass;
extern const ClassDecl kTimeWindowClass;
extern const ClassDecl kWeeklyRuleClass;
extern const ClassDecl kCapacityWindowClass;
extern const ClassDecl kEntryClass;
extern const ClassDecl kCalendarClass;
extern const ClassDecl kPointQueryClass;
extern const ClassDecl kRangeQueryClass;
extern const ClassDecl kTimelineClass;
extern const ClassDecl kTimelineBatchClass;
extern const ClassDecl kDefinitionClass;
extern const ClassDecl kInstantAnalysisClass;
extern const ClassDecl kTimelineAnalysisClass;
extern const ClassDecl kStateWindowClass;
extern const ClassDecl kWindowMatchClass;
extern const ClassDecl kWorkingTimeTraceClass;
extern const ClassDecl kWorkingTimeTraceStepClass;

struct FunctionDecl {
  MethodDecl* decl;
  FastEntry entry;
};
// Hours, Minutes, Seconds, hours, minutes, seconds.
extern const FunctionDecl kDurationFunctions[6];

}  // namespace hourloom::py
