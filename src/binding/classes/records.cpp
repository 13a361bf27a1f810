// The result records: HourloomCapacityWindow, HourloomEntry,
// HourloomStateWindow, HourloomWindowMatch, HourloomInstantAnalysis,
// HourloomTimelineAnalysis, WorkingTimeTrace and WorkingTimeTraceStep. Every
// property read builds fresh Python objects from the record's engine value.
#include "binding/core/rows.h"
#include "engine/working_time.h"

namespace hourloom::py {

namespace {

template <class T, TypeId Id>
using On = OnValue<T, Id>;

// ---------------------------------------------------------------- HourloomCapacityWindow

using OnCapacityWindow = On<CapacityWindow, TypeId::CapacityWindow>;
const Member kCapacityWindowMembers[] = {
    property("Window", &read<OnCapacityWindow, &CapacityWindow::window>),
    property("Capacity", &read<OnCapacityWindow, &CapacityWindow::capacity>),
};

// ---------------------------------------------------------------- HourloomEntry

using OnEntry = On<Entry, TypeId::Entry>;
const Member kEntryMembers[] = {
    property("Id", &read<OnEntry, &Entry::id>),
    property("Kind", &read<OnEntry, &Entry::kind>),
    property("Window", &read<OnEntry, &Entry::window>),
    property("Capacity", &read<OnEntry, &Entry::capacity>),
};

// ---------------------------------------------------------------- HourloomStateWindow

using OnStateWindow = On<StateWindow, TypeId::StateWindow>;
const Member kStateWindowMembers[] = {
    property("Window", &read<OnStateWindow, &StateWindow::window>),
    property("Capacity", &read<OnStateWindow, &StateWindow::capacity>),
    property("CanWork", &read<OnStateWindow, &StateWindow::can_work>),
};

PyObject* state_window_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<StateWindow>(TypeId::StateWindow, text::kStateWindowOrdering, self, other, op);
}

// ---------------------------------------------------------------- HourloomWindowMatch

using OnWindowMatch = On<WindowMatch, TypeId::WindowMatch>;
const Member kWindowMatchMembers[] = {
    property("Kind", &read<OnWindowMatch, &WindowMatch::kind>),
    property("Window", &read<OnWindowMatch, &WindowMatch::window>),
    property("Capacity", &read<OnWindowMatch, &WindowMatch::capacity>),
};

PyObject* window_match_richcompare(PyObject* self, PyObject* other, int op) {
  return equality_compare<WindowMatch>(TypeId::WindowMatch, text::kWindowMatchOrdering, self, other, op);
}

// ---------------------------------------------------------------- HourloomInstantAnalysis

using OnInstantAnalysis = On<InstantAnalysis, TypeId::InstantAnalysis>;

const Member kInstantAnalysisMembers[] = {
    property("Instant", &read<OnInstantAnalysis, &InstantAnalysis::instant>),
    property("Capacity", &read<OnInstantAnalysis, &InstantAnalysis::capacity>),
    property("CurrentWindow", &read<OnInstantAnalysis, &InstantAnalysis::current_window>),
    property("PreviousTransition", &read<OnInstantAnalysis, &InstantAnalysis::previous_transition>),
    property("NextTransition", &read<OnInstantAnalysis, &InstantAnalysis::next_transition>),
    property("Matches", &read<OnInstantAnalysis, &InstantAnalysis::matches>),
    property("CanWork", &read<OnInstantAnalysis, &InstantAnalysis::can_work>),
};

// ---------------------------------------------------------------- HourloomTimelineAnalysis

using OnTimelineAnalysis = On<TimelineAnalysis, TypeId::TimelineAnalysis>;
Result<Duration> analysis_working_duration(const TimelineAnalysis& a) { return working_duration(a.segments); }
Result<std::int64_t> analysis_working_ticks(const TimelineAnalysis& a) { return ticks_of(working_duration(a.segments)); }

const Member kTimelineAnalysisMembers[] = {
    property("Window", &read<OnTimelineAnalysis, &TimelineAnalysis::window>),
    property("Segments", &read<OnTimelineAnalysis, &TimelineAnalysis::segments>),
    property("WorkingDuration", &read<OnTimelineAnalysis, &analysis_working_duration>),
    property("WorkingTicks", &read<OnTimelineAnalysis, &analysis_working_ticks>),
};

// ---------------------------------------------------------------- WorkingTimeTraceStep / WorkingTimeTrace

using OnTraceStep = On<WorkingTimeTraceStep, TypeId::WorkingTimeTraceStep>;
const Member kTraceStepMembers[] = {
    property("Window", &read<OnTraceStep, &WorkingTimeTraceStep::window>),
    property("Duration", &read<OnTraceStep, &WorkingTimeTraceStep::duration>),
};

using OnTrace = On<WorkingTimeTrace, TypeId::WorkingTimeTrace>;
Result<std::int64_t> trace_requested_ticks(const WorkingTimeTrace& t) { return duration_to_ticks(t.requested); }
Result<std::int64_t> trace_consumed_ticks(const WorkingTimeTrace& t) { return ticks_of(consumed_duration(t.steps)); }

const Member kTraceMembers[] = {
    property("Start", &read<OnTrace, &WorkingTimeTrace::start>),
    property("RequestedDuration", &read<OnTrace, &WorkingTimeTrace::requested>),
    property("Result", &read<OnTrace, &WorkingTimeTrace::result>),
    property("Steps", &read<OnTrace, &WorkingTimeTrace::steps>),
    property("RequestedTicks", &read<OnTrace, &trace_requested_ticks>),
    property("ConsumedTicks", &read<OnTrace, &trace_consumed_ticks>),
};

template <class T>
constexpr ClassDecl record_class(const char* name, std::span<const Member> members,
                                 richcmpfunc richcompare = nullptr) {
  return {name, sizeof(Boxed<T>), &boxed_dealloc<T>, nullptr, richcompare, nullptr, members};
}

}  // namespace

const ClassDecl kCapacityWindowClass = record_class<CapacityWindow>("HourloomCapacityWindow", kCapacityWindowMembers);
const ClassDecl kEntryClass = record_class<Entry>("HourloomEntry", kEntryMembers);
const ClassDecl kStateWindowClass =
    record_class<StateWindow>("HourloomStateWindow", kStateWindowMembers, &state_window_richcompare);
const ClassDecl kWindowMatchClass =
    record_class<WindowMatch>("HourloomWindowMatch", kWindowMatchMembers, &window_match_richcompare);
const ClassDecl kInstantAnalysisClass = record_class<InstantAnalysis>("HourloomInstantAnalysis", kInstantAnalysisMembers);
const ClassDecl kTimelineAnalysisClass =
    record_class<TimelineAnalysis>("HourloomTimelineAnalysis", kTimelineAnalysisMembers);
const ClassDecl kWorkingTimeTraceClass = record_class<WorkingTimeTrace>("WorkingTimeTrace", kTraceMembers);
const ClassDecl kWorkingTimeTraceStepClass =
    record_class<WorkingTimeTraceStep>("WorkingTimeTraceStep", kTraceStepMembers);

}  // namespace hourloom::py
