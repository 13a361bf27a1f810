// HourloomTimelineBatch: several compiled timelines asked one instant at once;
// frozen, so no hold is taken.
#include "binding/core/rows.h"
#include "timeline/batch.h"

namespace hourloom::py {

namespace {

// The timelines of a batch: any iterable of HourloomTimeline objects, each
// refused item with the receiver-check TypeError; converted in the body, so
// the iterator's own errors pass unchanged.
struct Timelines {
  TimelineBatch batch;
};

}  // namespace

template <>
struct InBody<Timelines> : std::true_type {};

namespace {

bool from_py_in_body(PyObject* o, Timelines* out) {
  Ref iterator(PyObject_GetIter(o));
  if (!iterator) return false;
  while (Ref item{PyIter_Next(iterator.get())}) {
    const Timeline* tl = unbox<Timeline>(TypeId::Timeline, item.get());
    if (!tl) return false;
    out->batch.timelines.push_back(*tl);
  }
  return !PyErr_Occurred();
}

// ---------------------------------------------------------------- members

using OnBatch = OnValue<TimelineBatch, TypeId::TimelineBatch>;

TimelineBatch take_batch(Timelines t) { return std::move(t.batch); }
std::int64_t batch_count(const TimelineBatch& b) { return static_cast<std::int64_t>(b.timelines.size()); }
Result<std::vector<InstantAnalysis>> batch_analysis(const TimelineBatch& b, Instant t, bool with_matches) {
  return batch_analyze(b, t, with_matches, kPythonReach);
}

constinit MethodDecl kBatchNew = constructor<OnBatch, &take_batch>("HourloomTimelineBatch", "timelines");
constinit MethodDecl kBatchCreate = function<&take_batch>("Create", "timelines");
constinit MethodDecl kBatchCapacitiesAt = query<OnBatch, &batch_capacities_at>("GetCapacitiesAt", "instant");
constinit MethodDecl kBatchAnalyze = query<OnBatch, &batch_analysis>("Analyze", "instant, includeMatches=False");

const Member kBatchMembers[] = {
    static_method<kBatchCreate>(),
    property("Count", &read<OnBatch, &batch_count>),
    method<kBatchCapacitiesAt>(),
    method<kBatchAnalyze>(),
};

}  // namespace

const ClassDecl kTimelineBatchClass{"HourloomTimelineBatch", sizeof(Boxed<TimelineBatch>),
                                    &boxed_dealloc<TimelineBatch>, &kBatchNew, nullptr, nullptr,
                                    kBatchMembers};

}  // namespace hourloom::py
