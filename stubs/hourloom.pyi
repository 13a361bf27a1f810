# Types of the hourloom extension module. Instants are naive datetime.datetime
# values (local wall time, no tzinfo); durations are datetime.timedelta values
# or anything with integer days, seconds and microseconds.
import datetime
from collections.abc import Iterable
from typing import ClassVar, Final, Protocol, final, overload, type_check_only

from typing_extensions import Self, SupportsIndex, TypeAlias

__version__: Final[str]

@type_check_only
class _DurationLike(Protocol):
    """Anything with integer days, seconds and microseconds, read as a duration."""
    @property
    def days(self) -> int:
        """Whole days of the duration."""
    @property
    def seconds(self) -> int:
        """Seconds beyond the whole days."""
    @property
    def microseconds(self) -> int:
        """Microseconds beyond the whole seconds."""
_Duration: TypeAlias = datetime.timedelta | _DurationLike

@final
class DayOfWeek:
    """Day numbers for weekly rules: Sunday is 0, Monday 1, up to Saturday 6."""
    Sunday: ClassVar[int]
    Monday: ClassVar[int]
    Tuesday: ClassVar[int]
    Wednesday: ClassVar[int]
    Thursday: ClassVar[int]
    Friday: ClassVar[int]
    Saturday: ClassVar[int]
    SUNDAY: ClassVar[int]
    MONDAY: ClassVar[int]
    TUESDAY: ClassVar[int]
    WEDNESDAY: ClassVar[int]
    THURSDAY: ClassVar[int]
    FRIDAY: ClassVar[int]
    SATURDAY: ClassVar[int]

@final
class HourloomEntryKind:
    """Kinds of id-keyed entry: an open window, a closed window or a capacity window."""
    Open: ClassVar[int]
    Closed: ClassVar[int]
    Capacity: ClassVar[int]
    OPEN: ClassVar[int]
    CLOSED: ClassVar[int]
    CAPACITY: ClassVar[int]

@final
class HourloomWindowKind:
    """Kinds of window an instant can fall in, as a window match reports them."""
    Available: ClassVar[int]
    Unavailable: ClassVar[int]
    OpenRule: ClassVar[int]
    OpenWindow: ClassVar[int]
    BreakRule: ClassVar[int]
    ClosedWindow: ClassVar[int]
    CapacityOverride: ClassVar[int]
    AVAILABLE: ClassVar[int]
    UNAVAILABLE: ClassVar[int]
    OPEN_RULE: ClassVar[int]
    OPEN_WINDOW: ClassVar[int]
    BREAK_RULE: ClassVar[int]
    CLOSED_WINDOW: ClassVar[int]
    CAPACITY_OVERRIDE: ClassVar[int]

@final
class TimeWindow:
    """A half-open span of time [Start, End) between two naive instants."""
    def __new__(cls, start: datetime.datetime, end: datetime.datetime) -> Self:
        """The window from start up to, not including, end; end must not come before start."""
    @property
    def Start(self) -> datetime.datetime:
        """The first instant of the window."""
    @property
    def End(self) -> datetime.datetime:
        """The instant where the window stops; it is not part of it."""
    @property
    def Duration(self) -> datetime.timedelta:
        """How long the window is: End - Start."""
    @property
    def IsEmpty(self) -> bool:
        """Whether the window holds no time (Start equals End)."""
    def Contains(self, instant: datetime.datetime) -> bool:
        """Whether the instant lies in the window: Start <= instant < End."""
    def Overlaps(self, other: TimeWindow) -> bool:
        """Whether the two windows share some time; windows that only touch do not."""
    def Intersect(self, other: TimeWindow) -> TimeWindow | None:
        """The time both windows share, or None when they share none."""
    start = Start
    end = End
    duration = Duration
    is_empty = IsEmpty
    contains = Contains
    overlaps = Overlaps
    intersect = Intersect
    def __eq__(self, value: object, /) -> bool:
        """Whether both windows have the same start and end."""
    def __ne__(self, value: object, /) -> bool:
        """Whether the windows differ in start or end."""
    __hash__: ClassVar[None]  # type: ignore[assignment]

@final
class HourloomWeeklyRule:
    """A span of wall-clock time repeated every week on one day; it may run past midnight."""
    def __new__(cls, day: SupportsIndex, start: datetime.time, end: datetime.time) -> Self:
        """The rule for one weekday (0 Sunday to 6 Saturday) from start to end; an end before start runs into the next day."""
    @property
    def Day(self) -> int:
        """The weekday the rule starts on, 0 for Sunday to 6 for Saturday."""
    @property
    def Start(self) -> datetime.time:
        """The time of day the rule starts."""
    @property
    def End(self) -> datetime.time:
        """The time of day the rule ends; before Start, on the next day."""
    def Contains(self, instant: datetime.datetime) -> bool:
        """Whether the rule covers the instant, an overnight span begun the day before included."""
    def ToWindow(self, date: datetime.date) -> TimeWindow:
        """The window the rule's times make on the given date, whatever its weekday."""
    day = Day
    start = Start
    end = End
    contains = Contains
    to_window = ToWindow

@final
class HourloomCapacityWindow:
    """A window with the capacity that applies inside it."""
    @property
    def Window(self) -> TimeWindow:
        """The time the capacity applies to."""
    @property
    def Capacity(self) -> int:
        """The capacity inside the window."""
    window = Window
    capacity = Capacity

@final
class HourloomEntry:
    """An id-keyed entry of a calendar: an open, closed or capacity window under a name."""
    @property
    def Id(self) -> str:
        """The name the entry is kept under."""
    @property
    def Kind(self) -> int:
        """What the entry does, as an HourloomEntryKind value."""
    @property
    def Window(self) -> TimeWindow:
        """The time the entry covers."""
    @property
    def Capacity(self) -> int:
        """The capacity a capacity entry sets; kept but unused for open and closed entries."""
    id = Id
    kind = Kind
    window = Window
    capacity = Capacity

@final
class HourloomCalendar:
    """A working-time calendar: weekly rules, one-off windows, holidays, capacities and entries, or the intersection of other calendars."""
    def __new__(cls) -> Self:
        """A new empty calendar: never open, default capacity 1."""
    @property
    def DefaultCapacity(self) -> int:
        """The capacity of open time that no override changes."""
    @property
    def IsComposite(self) -> bool:
        """Whether the calendar is the intersection of other calendars, and so answers questions only."""
    @property
    def Components(self) -> list[HourloomCalendar]:
        """Copies of the calendars a composite intersects, in order; empty for a simple calendar."""
    @property
    def OpenRules(self) -> list[HourloomWeeklyRule]:
        """The weekly opening rules, in the order they were added."""
    @property
    def BreakRules(self) -> list[HourloomWeeklyRule]:
        """The weekly break rules, in the order they were added."""
    @property
    def OpenWindows(self) -> list[TimeWindow]:
        """The one-off open windows, in the order they were added."""
    @property
    def ClosedWindows(self) -> list[TimeWindow]:
        """The one-off closed windows, holidays and downtime among them, in the order they were added."""
    @property
    def CapacityOverrides(self) -> list[HourloomCapacityWindow]:
        """The capacity overrides, in the order they were added."""
    @property
    def Entries(self) -> list[HourloomEntry]:
        """The id-keyed entries, in the order their ids were first set."""
    @staticmethod
    def Create() -> HourloomCalendar:
        """A new empty calendar: never open, default capacity 1."""
    @staticmethod
    def Weekdays(start: datetime.time, end: datetime.time) -> HourloomCalendar:
        """A new calendar open Monday to Friday from start to end."""
    @staticmethod
    def Window(start: datetime.datetime, end: datetime.datetime) -> HourloomCalendar:
        """A new calendar open only from start to end."""
    @staticmethod
    def Intersect(*calendars: HourloomCalendar) -> HourloomCalendar:
        """A calendar open where all the given calendars are open, with the smallest of their capacities."""
    def And(self, other: HourloomCalendar) -> HourloomCalendar:
        """A calendar open where both calendars are open, with the smaller of their capacities."""
    def At(self, start: datetime.datetime) -> HourloomPointQuery:
        """A query object for questions about one instant."""
    def Between(self, start: datetime.datetime, end: datetime.datetime) -> HourloomRangeQuery:
        """A query object for questions about the range from start to end."""
    def Compile(self, start: datetime.datetime, end: datetime.datetime) -> HourloomTimeline:
        """The calendar evaluated once from start to end, as a timeline that answers questions about that range fast."""
    def ToDefinition(self) -> HourloomDefinition:
        """The calendar as plain data."""
    def ToJson(self, indented: bool | None = False) -> str:
        """The calendar as JSON text, indented when asked."""
    @staticmethod
    def FromDefinition(definition: HourloomDefinition) -> HourloomCalendar:
        """A new calendar built from its plain data."""
    @staticmethod
    def FromJson(json: str) -> HourloomCalendar:
        """A new calendar read from JSON text."""
    @overload
    def Analyze(
        self, instant: datetime.datetime, end: None = None, searchRadius: _Duration | None = None
    ) -> HourloomInstantAnalysis:
        """Everything about one instant: capacity, current window, transitions and what covers it."""
    @overload
    def Analyze(self, instant: datetime.datetime, end: _Duration, searchRadius: _Duration | None = None) -> HourloomInstantAnalysis:
        """Everything about one instant, searching for its window and transitions as far as the given radius."""
    @overload
    def Analyze(self, instant: datetime.datetime, end: datetime.datetime, searchRadius: None = None) -> HourloomTimelineAnalysis:
        """The state windows from instant to end and the working time they hold."""
    def SetDefaultCapacity(self, capacity: SupportsIndex) -> Self:
        """Sets the capacity of open time that no override changes."""
    @overload
    def Capacity(self, capacity: SupportsIndex, /) -> Self:
        """Sets the capacity of open time that no override changes."""
    @overload
    def Capacity(self, start: datetime.datetime, end: datetime.datetime, capacity: SupportsIndex, /) -> Self:
        """Sets the capacity from start to end, overriding the default there."""
    def AddOpenRule(self, day: SupportsIndex, start: datetime.time, end: datetime.time) -> Self:
        """Opens every week on the given day from start to end."""
    def AddWeekdayOpenRule(self, start: datetime.time, end: datetime.time) -> Self:
        """Opens Monday to Friday from start to end."""
    def OpenWeekdays(self, start: datetime.time, end: datetime.time) -> Self:
        """Opens Monday to Friday from start to end."""
    def AddBreakRule(self, day: SupportsIndex, start: datetime.time, end: datetime.time) -> Self:
        """Closes every week on the given day from start to end, inside the opening hours."""
    def AddWeekdayBreakRule(self, start: datetime.time, end: datetime.time) -> Self:
        """Closes Monday to Friday from start to end, inside the opening hours."""
    def BreakWeekdays(self, start: datetime.time, end: datetime.time) -> Self:
        """Closes Monday to Friday from start to end, inside the opening hours."""
    def AddOpenWindow(self, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Opens from start to end once, whatever the weekly rules say."""
    def Open(self, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Opens from start to end once, whatever the weekly rules say."""
    def AddHoliday(self, date: datetime.date) -> Self:
        """Closes the whole of the given date."""
    @overload
    def Close(self, date: datetime.date, /) -> Self:
        """Closes the whole of the given date."""
    @overload
    def Close(self, start: datetime.datetime, end: datetime.datetime, /) -> Self:
        """Closes from start to end."""
    def AddDowntime(self, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Closes from start to end."""
    def Down(self, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Closes from start to end."""
    def AddClosedWindow(self, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Closes from start to end."""
    def AddCapacityOverride(self, start: datetime.datetime, end: datetime.datetime, capacity: SupportsIndex) -> Self:
        """Sets the capacity from start to end, overriding the default there."""
    def SetOpenWindow(self, id: str, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Keeps an open window from start to end under the id, replacing what the id held."""
    def SetClosedWindow(self, id: str, start: datetime.datetime, end: datetime.datetime) -> Self:
        """Keeps a closed window from start to end under the id, replacing what the id held."""
    def SetCapacityWindow(self, id: str, start: datetime.datetime, end: datetime.datetime, capacity: SupportsIndex) -> Self:
        """Keeps a capacity window from start to end under the id, replacing what the id held."""
    def GetEntry(self, id: str) -> HourloomEntry | None:
        """The entry kept under the id, or None."""
    def RemoveEntry(self, id: str) -> bool:
        """Removes the entry kept under the id; whether there was one."""
    def ClearOpenRules(self) -> Self:
        """Removes every weekly opening rule."""
    def ClearOpenWindows(self) -> Self:
        """Removes every one-off open window."""
    def ClearBreakRules(self) -> Self:
        """Removes every weekly break rule."""
    def ClearClosedWindows(self) -> Self:
        """Removes every one-off closed window, holidays and downtime included."""
    def ClearCapacityOverrides(self) -> Self:
        """Removes every capacity override."""
    def ClearEntries(self) -> Self:
        """Removes every id-keyed entry."""
    def Clear(self) -> Self:
        """Empties the calendar: no rules, windows or entries, default capacity 1."""
    def CanWork(self, target: datetime.datetime | TimeWindow) -> bool:
        """Whether work can happen at the instant, or throughout the window."""
    def HasCapacity(self, target: datetime.datetime | TimeWindow, minimumCapacity: SupportsIndex) -> bool:
        """Whether at least the given capacity is there at the instant, or throughout the window."""
    def GetCapacityAt(self, instant: datetime.datetime) -> int:
        """The capacity at the instant; 0 when closed."""
    def GetNextOpenTime(self, start: datetime.datetime, searchUntil: datetime.datetime | None = None) -> datetime.datetime | None:
        """The first open instant at or after start, or None when there is none before the search horizon."""
    def AddWorkDuration(
        self, start: datetime.datetime, duration: _Duration, searchUntil: datetime.datetime | None = None
    ) -> datetime.datetime:
        """The instant at which the given working time, begun at start, is used up."""
    def TraceWorkDuration(
        self, start: datetime.datetime, duration: _Duration, searchUntil: datetime.datetime | None = None
    ) -> WorkingTimeTrace:
        """How the given working time, begun at start, is spent: the end instant and every open window used."""
    def GetWorkingDuration(self, start: datetime.datetime, end: datetime.datetime) -> datetime.timedelta:
        """The open time from start to end."""
    def GetWorkingTicks(self, start: datetime.datetime, end: datetime.datetime) -> int:
        """The open time from start to end, in ticks of 100 nanoseconds."""
    def GetOpenWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[TimeWindow]:
        """The open time from start to end as windows, touching ones joined."""
    def GetCapacityWindows(
        self, start: datetime.datetime, end: datetime.datetime, minimumCapacity: SupportsIndex | None = 1
    ) -> list[TimeWindow]:
        """The time from start to end with at least the given capacity, as windows."""
    def GetUnavailableWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[TimeWindow]:
        """The closed time from start to end, as windows."""
    def GetStateWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[HourloomStateWindow]:
        """The time from start to end cut into windows of one capacity each, closed ones included."""
    def GetWindowsAt(self, instant: datetime.datetime, searchRadius: _Duration | None = None) -> list[HourloomWindowMatch]:
        """Every rule, window and override that covers the instant."""
    def GetCurrentOpenWindow(self, instant: datetime.datetime, searchRadius: _Duration | None = None) -> TimeWindow | None:
        """The open state window holding the instant, cut at the search radius, or None when it is closed."""
    def GetCurrentUnavailableWindow(self, instant: datetime.datetime, searchRadius: _Duration | None = None) -> TimeWindow | None:
        """The closed state window holding the instant, cut at the search radius, or None when it is open."""
    def GetNextTransitionTime(self, instant: datetime.datetime, searchRadius: _Duration | None = None) -> datetime.datetime | None:
        """The first instant after this one at which the capacity changes, or None within the search radius."""
    def GetPreviousTransitionTime(
        self, instant: datetime.datetime, searchRadius: _Duration | None = None
    ) -> datetime.datetime | None:
        """The last instant before this one at which the capacity changes, or None within the search radius."""
    def GetNearestTransitionTime(
        self, instant: datetime.datetime, searchRadius: _Duration | None = None
    ) -> datetime.datetime | None:
        """The instant nearest this one at which the capacity changes (this one when it does), or None within the search radius."""
    def FindFirstSlot(
        self,
        start: datetime.datetime,
        duration: _Duration,
        minimumCapacity: SupportsIndex | None = 1,
        searchUntil: datetime.datetime | None = None,
    ) -> TimeWindow | None:
        """The first window from start on that is open for the whole duration with at least the given capacity, or None."""
    default_capacity = DefaultCapacity
    is_composite = IsComposite
    components = Components
    open_rules = OpenRules
    break_rules = BreakRules
    open_windows = OpenWindows
    closed_windows = ClosedWindows
    capacity_overrides = CapacityOverrides
    entries = Entries
    create = Create
    weekdays = Weekdays
    window = Window
    intersect = Intersect
    and_ = And
    at = At
    between = Between
    compile = Compile
    to_definition = ToDefinition
    to_json = ToJson
    from_definition = FromDefinition
    from_json = FromJson
    analyze = Analyze
    set_default_capacity = SetDefaultCapacity
    capacity = Capacity
    add_open_rule = AddOpenRule
    add_weekday_open_rule = AddWeekdayOpenRule
    open_weekdays = OpenWeekdays
    add_break_rule = AddBreakRule
    add_weekday_break_rule = AddWeekdayBreakRule
    break_weekdays = BreakWeekdays
    add_open_window = AddOpenWindow
    open = Open
    add_holiday = AddHoliday
    close = Close
    add_downtime = AddDowntime
    down = Down
    add_closed_window = AddClosedWindow
    add_capacity_override = AddCapacityOverride
    set_open_window = SetOpenWindow
    set_closed_window = SetClosedWindow
    set_capacity_window = SetCapacityWindow
    get_entry = GetEntry
    remove_entry = RemoveEntry
    clear_open_rules = ClearOpenRules
    clear_open_windows = ClearOpenWindows
    clear_break_rules = ClearBreakRules
    clear_closed_windows = ClearClosedWindows
    clear_capacity_overrides = ClearCapacityOverrides
    clear_entries = ClearEntries
    clear = Clear
    can_work = CanWork
    has_capacity = HasCapacity
    get_capacity_at = GetCapacityAt
    get_next_open_time = GetNextOpenTime
    add_work_duration = AddWorkDuration
    trace_work_duration = TraceWorkDuration
    get_working_duration = GetWorkingDuration
    get_working_ticks = GetWorkingTicks
    get_open_windows = GetOpenWindows
    get_capacity_windows = GetCapacityWindows
    get_unavailable_windows = GetUnavailableWindows
    get_state_windows = GetStateWindows
    get_windows_at = GetWindowsAt
    get_current_open_window = GetCurrentOpenWindow
    get_current_unavailable_window = GetCurrentUnavailableWindow
    get_next_transition_time = GetNextTransitionTime
    get_previous_transition_time = GetPreviousTransitionTime
    get_nearest_transition_time = GetNearestTransitionTime
    find_first_slot = FindFirstSlot

@final
class HourloomDefinition:
    """A calendar as plain data, the form that is saved as JSON and read back."""
    def ToCalendar(self) -> HourloomCalendar:
        """A new calendar built from this data."""
    def ToJson(self, indented: bool | None = False) -> str:
        """The data as JSON text, indented when asked."""
    @staticmethod
    def FromJson(json: str) -> HourloomDefinition:
        """The data read from JSON text."""
    to_calendar = ToCalendar
    to_json = ToJson
    from_json = FromJson

@final
class HourloomPointQuery:
    """Questions about one instant, asked of the calendar as it was when the query was made."""
    def CanWork(self) -> bool:
        """Whether work can happen at the instant."""
    def HasCapacity(self, minimumCapacity: SupportsIndex) -> bool:
        """Whether at least the given capacity is there at the instant."""
    def GetCapacity(self) -> int:
        """The capacity at the instant; 0 when closed."""
    def Analyze(self, searchRadius: _Duration | None = None) -> HourloomInstantAnalysis:
        """Everything about the instant: capacity, current window, transitions and what covers it."""
    def GetWindows(self, searchRadius: _Duration | None = None) -> list[HourloomWindowMatch]:
        """Every rule, window and override that covers the instant."""
    def GetCurrentOpenWindow(self, searchRadius: _Duration | None = None) -> TimeWindow | None:
        """The open state window holding the instant, cut at the search radius, or None when it is closed."""
    def GetCurrentUnavailableWindow(self, searchRadius: _Duration | None = None) -> TimeWindow | None:
        """The closed state window holding the instant, cut at the search radius, or None when it is open."""
    def GetNextTransitionTime(self, searchRadius: _Duration | None = None) -> datetime.datetime | None:
        """The first instant after this one at which the capacity changes, or None within the search radius."""
    def GetPreviousTransitionTime(self, searchRadius: _Duration | None = None) -> datetime.datetime | None:
        """The last instant before this one at which the capacity changes, or None within the search radius."""
    def GetNearestTransitionTime(self, searchRadius: _Duration | None = None) -> datetime.datetime | None:
        """The instant nearest this one at which the capacity changes (this one when it does), or None within the search radius."""
    def GetNextOpenTime(self, searchUntil: datetime.datetime | None = None) -> datetime.datetime | None:
        """The first open instant at or after this one, or None when there is none before the search horizon."""
    def AddWorkDuration(self, duration: _Duration, searchUntil: datetime.datetime | None = None) -> datetime.datetime:
        """The instant at which the given working time, begun at this one, is used up."""
    def TraceWorkDuration(self, duration: _Duration, searchUntil: datetime.datetime | None = None) -> WorkingTimeTrace:
        """How the given working time, begun at this instant, is spent: the end instant and every open window used."""
    can_work = CanWork
    has_capacity = HasCapacity
    get_capacity = GetCapacity
    analyze = Analyze
    get_windows = GetWindows
    get_current_open_window = GetCurrentOpenWindow
    get_current_unavailable_window = GetCurrentUnavailableWindow
    get_next_transition_time = GetNextTransitionTime
    get_previous_transition_time = GetPreviousTransitionTime
    get_nearest_transition_time = GetNearestTransitionTime
    get_next_open_time = GetNextOpenTime
    add_work_duration = AddWorkDuration
    trace_work_duration = TraceWorkDuration

@final
class HourloomRangeQuery:
    """Questions about one range, asked of the calendar as it was when the query was made."""
    def GetOpenWindows(self) -> list[TimeWindow]:
        """The open time of the range as windows, touching ones joined."""
    def GetUnavailableWindows(self) -> list[TimeWindow]:
        """The closed time of the range, as windows."""
    def GetStateWindows(self) -> list[HourloomStateWindow]:
        """The range cut into windows of one capacity each, closed ones included."""
    def Analyze(self) -> HourloomTimelineAnalysis:
        """The state windows of the range and the working time they hold."""
    def GetWorkingDuration(self) -> datetime.timedelta:
        """The open time in the range."""
    def GetWorkingTicks(self) -> int:
        """The open time in the range, in ticks of 100 nanoseconds."""
    def GetCapacityWindows(self, minimumCapacity: SupportsIndex | None = 1) -> list[TimeWindow]:
        """The time in the range with at least the given capacity, as windows."""
    def CanWork(self) -> bool:
        """Whether work can happen throughout the range."""
    def HasCapacity(self, minimumCapacity: SupportsIndex) -> bool:
        """Whether at least the given capacity is there throughout the range."""
    def FindFirstSlot(self, duration: _Duration, minimumCapacity: SupportsIndex | None = 1) -> TimeWindow | None:
        """The first window in the range that is open for the whole duration with at least the given capacity, or None."""
    get_open_windows = GetOpenWindows
    get_unavailable_windows = GetUnavailableWindows
    get_state_windows = GetStateWindows
    analyze = Analyze
    get_working_duration = GetWorkingDuration
    get_working_ticks = GetWorkingTicks
    get_capacity_windows = GetCapacityWindows
    can_work = CanWork
    has_capacity = HasCapacity
    find_first_slot = FindFirstSlot

@final
class HourloomTimeline:
    """A calendar evaluated once over a fixed range and frozen, for fast repeated questions about that range."""
    @property
    def Window(self) -> TimeWindow:
        """The range the timeline was compiled for."""
    def GetCapacityAt(self, instant: datetime.datetime) -> int:
        """The capacity at the instant, which must lie in the compiled range; 0 when closed."""
    def GetCapacitiesAt(self, instants: Iterable[datetime.datetime]) -> list[int]:
        """The capacity at each of the instants, in order."""
    def CanWork(self, instant: datetime.datetime) -> bool:
        """Whether work can happen at the instant."""
    @overload
    def Analyze(
        self, instant: datetime.datetime, second: bool | None = None, includeMatches: bool | None = False
    ) -> HourloomInstantAnalysis:
        """Everything about one instant of the range: capacity, current window, transitions and, when asked, what covers it."""
    @overload
    def Analyze(
        self, instant: datetime.datetime, second: datetime.datetime, includeMatches: bool | None = False
    ) -> HourloomTimelineAnalysis:
        """The state windows from instant to the second instant and the working time they hold."""
    def AnalyzeMany(
        self, instants: Iterable[datetime.datetime], includeMatches: bool | None = False
    ) -> list[HourloomInstantAnalysis]:
        """Everything about each of the instants, in order."""
    def AnalyzeRange(self, start: datetime.datetime, end: datetime.datetime) -> HourloomTimelineAnalysis:
        """The state windows from start to end and the working time they hold."""
    def GetStateWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[HourloomStateWindow]:
        """The time from start to end cut into windows of one capacity each, closed ones included."""
    def GetOpenWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[TimeWindow]:
        """The open time from start to end as windows, touching ones joined."""
    def GetUnavailableWindows(self, start: datetime.datetime, end: datetime.datetime) -> list[TimeWindow]:
        """The closed time from start to end, as windows."""
    def GetCapacityWindows(
        self, start: datetime.datetime, end: datetime.datetime, minimumCapacity: SupportsIndex | None = 1
    ) -> list[TimeWindow]:
        """The time from start to end with at least the given capacity, as windows."""
    def GetWorkingDuration(self, start: datetime.datetime, end: datetime.datetime) -> datetime.timedelta:
        """The open time from start to end."""
    def FindFirstSlot(
        self,
        start: datetime.datetime,
        duration: _Duration,
        minimumCapacity: SupportsIndex | None = 1,
        searchUntil: datetime.datetime | None = None,
    ) -> TimeWindow | None:
        """The first window from start on, inside the compiled range, that is open for the whole duration with at least the given capacity, or None."""
    window = Window
    get_capacity_at = GetCapacityAt
    get_capacities_at = GetCapacitiesAt
    can_work = CanWork
    analyze = Analyze
    analyze_many = AnalyzeMany
    analyze_range = AnalyzeRange
    get_state_windows = GetStateWindows
    get_open_windows = GetOpenWindows
    get_unavailable_windows = GetUnavailableWindows
    get_capacity_windows = GetCapacityWindows
    get_working_duration = GetWorkingDuration
    find_first_slot = FindFirstSlot

@final
class HourloomTimelineBatch:
    """Several compiled timelines asked the same question about one instant at once."""
    def __new__(cls, timelines: Iterable[HourloomTimeline]) -> Self:
        """A batch of copies of the given timelines."""
    @staticmethod
    def Create(timelines: Iterable[HourloomTimeline]) -> HourloomTimelineBatch:
        """A batch of copies of the given timelines."""
    @property
    def Count(self) -> int:
        """How many timelines the batch holds."""
    def GetCapacitiesAt(self, instant: datetime.datetime) -> list[int]:
        """The capacity of each timeline at the instant, in batch order."""
    def Analyze(self, instant: datetime.datetime, includeMatches: bool | None = False) -> list[HourloomInstantAnalysis]:
        """Everything about the instant in each timeline, in batch order."""
    create = Create
    count = Count
    get_capacities_at = GetCapacitiesAt
    analyze = Analyze

@final
class HourloomInstantAnalysis:
    """Everything about one instant: its capacity, the window it is in, the transitions around it and what covers it."""
    @property
    def Instant(self) -> datetime.datetime:
        """The instant analysed."""
    @property
    def Capacity(self) -> int:
        """The capacity at the instant; 0 when closed."""
    @property
    def CurrentWindow(self) -> TimeWindow | None:
        """The state window holding the instant, or None when none was found within the search radius."""
    @property
    def PreviousTransition(self) -> datetime.datetime | None:
        """The last instant before this one at which the capacity changed, or None."""
    @property
    def NextTransition(self) -> datetime.datetime | None:
        """The next instant after this one at which the capacity changes, or None."""
    @property
    def Matches(self) -> list[HourloomWindowMatch]:
        """Every rule, window and override that covers the instant."""
    @property
    def CanWork(self) -> bool:
        """Whether work can happen at the instant."""
    instant = Instant
    capacity = Capacity
    current_window = CurrentWindow
    previous_transition = PreviousTransition
    next_transition = NextTransition
    matches = Matches
    can_work = CanWork

@final
class HourloomTimelineAnalysis:
    """The state windows of a range and the working time they hold."""
    @property
    def Window(self) -> TimeWindow:
        """The range analysed."""
    @property
    def Segments(self) -> list[HourloomStateWindow]:
        """The range cut into windows of one capacity each, closed ones included."""
    @property
    def WorkingDuration(self) -> datetime.timedelta:
        """The open time in the range."""
    @property
    def WorkingTicks(self) -> int:
        """The open time in the range, in ticks of 100 nanoseconds."""
    window = Window
    segments = Segments
    working_duration = WorkingDuration
    working_ticks = WorkingTicks

@final
class HourloomStateWindow:
    """A stretch of time with one capacity: open when the capacity is 1 or more, closed otherwise."""
    @property
    def Window(self) -> TimeWindow:
        """The time the state lasts."""
    @property
    def Capacity(self) -> int:
        """The capacity throughout the window; 0 when closed."""
    @property
    def CanWork(self) -> bool:
        """Whether work can happen in the window: a capacity of 1 or more."""
    def __eq__(self, value: object, /) -> bool:
        """Whether both have the same window and capacity."""
    def __ne__(self, value: object, /) -> bool:
        """Whether they differ in window or capacity."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
    window = Window
    capacity = Capacity
    can_work = CanWork

@final
class HourloomWindowMatch:
    """One rule, window or override of a calendar that covers an instant."""
    @property
    def Kind(self) -> int:
        """What covers the instant, as an HourloomWindowKind value."""
    @property
    def Window(self) -> TimeWindow:
        """The window that covers the instant."""
    @property
    def Capacity(self) -> int | None:
        """The capacity a capacity override sets, or None for other kinds."""
    def __eq__(self, value: object, /) -> bool:
        """Whether both have the same kind, window and capacity."""
    def __ne__(self, value: object, /) -> bool:
        """Whether they differ in kind, window or capacity."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
    kind = Kind
    window = Window
    capacity = Capacity

@final
class WorkingTimeTrace:
    """How a working-time addition was spent: where it started and ended and which open windows it used."""
    @property
    def Start(self) -> datetime.datetime:
        """The instant the working time began."""
    @property
    def RequestedDuration(self) -> datetime.timedelta:
        """The working time asked for."""
    @property
    def Result(self) -> datetime.datetime:
        """The instant at which the working time was used up."""
    @property
    def Steps(self) -> list[WorkingTimeTraceStep]:
        """The open windows used, in order, with the time taken from each."""
    @property
    def RequestedTicks(self) -> int:
        """The working time asked for, in ticks of 100 nanoseconds."""
    @property
    def ConsumedTicks(self) -> int:
        """The working time the steps took, in ticks of 100 nanoseconds."""
    start = Start
    requested_duration = RequestedDuration
    result = Result
    steps = Steps
    requested_ticks = RequestedTicks
    consumed_ticks = ConsumedTicks

@final
class WorkingTimeTraceStep:
    """One open window a working-time addition used, and how much of it."""
    @property
    def Window(self) -> TimeWindow:
        """The part of an open window that was used."""
    @property
    def Duration(self) -> datetime.timedelta:
        """The working time taken from that window."""
    window = Window
    duration = Duration
def Hours(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of hours."""
def Minutes(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of minutes."""
def Seconds(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of seconds."""
def hours(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of hours."""
def minutes(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of minutes."""
def seconds(value: SupportsIndex) -> datetime.timedelta:
    """A duration of the given number of seconds."""

