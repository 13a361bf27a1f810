// HourloomPointQuery and HourloomRangeQuery: the calendar's rows with the bound
// instant or range in place of the leading arguments.
#include "binding/query_objects.h"
#include "binding/registry.h"

namespace hourloom::py {

namespace {

using OnPoint = OnPointQuery;

constinit MethodDecl kPointCanWork = query<OnPoint, &can_work>("CanWork", "");
constinit MethodDecl kPointHasCapacity = query<OnPoint, &has_capacity>("HasCapacity", "minimumCapacity");
constinit MethodDecl kPointGetCapacity = query<OnPoint, &get_capacity_at>("GetCapacity", "");
constinit MethodDecl kPointAnalyze = query<OnPoint, &analysis_at>("Analyze", "searchRadius=None");
constinit MethodDecl kPointGetWindows = query<OnPoint, &windows_at>("GetWindows", "searchRadius=None");
constinit MethodDecl kPointGetCurrentOpenWindow =
    query<OnPoint, &current_window<WantedState::Open>>("GetCurrentOpenWindow", "searchRadius=None");
constinit MethodDecl kPointGetCurrentUnavailableWindow =
    query<OnPoint, &current_window<WantedState::Closed>>("GetCurrentUnavailableWindow", "searchRadius=None");
constinit MethodDecl kPointGetNextTransitionTime =
    query<OnPoint, &transition<get_next_transition_time>>("GetNextTransitionTime", "searchRadius=None");
constinit MethodDecl kPointGetPreviousTransitionTime =
    query<OnPoint, &transition<get_previous_transition_time>>("GetPreviousTransitionTime", "searchRadius=None");
constinit MethodDecl kPointGetNearestTransitionTime =
    query<OnPoint, &transition<get_nearest_transition_time>>("GetNearestTransitionTime", "searchRadius=None");
constinit MethodDecl kPointGetNextOpenTime = query<OnPoint, &next_open_time>("GetNextOpenTime", "searchUntil=None");
constinit MethodDecl kPointAddWorkDuration =
    query<OnPoint, &add_work>("AddWorkDuration", "duration, searchUntil=None");
constinit MethodDecl kPointTraceWorkDuration =
    query<OnPoint, &trace_work>("TraceWorkDuration", "duration, searchUntil=None");

const Member kPointMembers[] = {
    method<kPointCanWork>(),
    method<kPointHasCapacity>(),
    method<kPointGetCapacity>(),
    method<kPointAnalyze>(),
    method<kPointGetWindows>(),
    method<kPointGetCurrentOpenWindow>(),
    method<kPointGetCurrentUnavailableWindow>(),
    method<kPointGetNextTransitionTime>(),
    method<kPointGetPreviousTransitionTime>(),
    method<kPointGetNearestTransitionTime>(),
    method<kPointGetNextOpenTime>(),
    method<kPointAddWorkDuration>(),
    method<kPointTraceWorkDuration>(),
};

using OnRange = OnRangeQuery;

constinit MethodDecl kRangeGetOpenWindows = query<OnRange, &get_open_windows>("GetOpenWindows", "");
constinit MethodDecl kRangeGetUnavailableWindows =
    query<OnRange, &get_unavailable_windows>("GetUnavailableWindows", "");
constinit MethodDecl kRangeGetStateWindows = query<OnRange, &state_windows>("GetStateWindows", "");
constinit MethodDecl kRangeAnalyze = query<OnRange, &range_analysis>("Analyze", "");
constinit MethodDecl kRangeGetWorkingDuration = query<OnRange, &get_working_duration>("GetWorkingDuration", "");
constinit MethodDecl kRangeGetWorkingTicks = query<OnRange, &working_ticks>("GetWorkingTicks", "");
constinit MethodDecl kRangeGetCapacityWindows =
    query<OnRange, &get_capacity_windows>("GetCapacityWindows", "minimumCapacity=1");
constinit MethodDecl kRangeCanWork = query<OnRange, &range_can_work>("CanWork", "");
constinit MethodDecl kRangeHasCapacity = query<OnRange, &range_has_capacity>("HasCapacity", "minimumCapacity");
constinit MethodDecl kRangeFindFirstSlot =
    query<OnRange, &range_first_slot>("FindFirstSlot", "duration, minimumCapacity=1");

const Member kRangeMembers[] = {
    method<kRangeGetOpenWindows>(),
    method<kRangeGetUnavailableWindows>(),
    method<kRangeGetStateWindows>(),
    method<kRangeAnalyze>(),
    method<kRangeGetWorkingDuration>(),
    method<kRangeGetWorkingTicks>(),
    method<kRangeGetCapacityWindows>(),
    method<kRangeCanWork>(),
    method<kRangeHasCapacity>(),
    method<kRangeFindFirstSlot>(),
};

}  // namespace

const ClassDecl kPointQueryClass{"HourloomPointQuery", sizeof(Boxed<PointQuery>), &boxed_dealloc<PointQuery>,
                                 nullptr,              nullptr,                   nullptr,
                                 kPointMembers};
const ClassDecl kRangeQueryClass{"HourloomRangeQuery", sizeof(Boxed<RangeQuery>), &boxed_dealloc<RangeQuery>,
                                 nullptr,              nullptr,                   nullptr,
                                 kRangeMembers};

}  // namespace hourloom::py
