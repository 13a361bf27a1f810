// Expected<T, E>: either a value of T or an error of E, the engine's result
// type. It does what the engine needs of std::expected, with a layout that no
// standard library chooses: the flag saying which of the two is held is a
// member of its own, never in the padding of the value, so constructing a value
// whose type has tail padding (std::optional<Instant>) cannot overwrite it.
//   Expected<int, Error> r = Unexpected(Error{ErrorKind::Value, msg::kDayRange});
//   if (!r) use(r.error());
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace hourloom {

// Unexpected: an error on its way into an Expected (return Unexpected(e);).
template <class E>
class Unexpected {
 public:
  constexpr explicit Unexpected(E e) : error_(std::move(e)) {}
  constexpr const E& error() const& { return error_; }
  constexpr E&& error() && { return std::move(error_); }

 private:
  E error_;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

// BadExpectedAccess: value() of an Expected that holds an error. The engine
// checks before it reads, so this only reaches a binding's firewall as the
// internal error.
struct BadExpectedAccess : std::exception {
  const char* what() const noexcept override { return "value() of a result holding an error"; }
};

// A build with HOURLOOM_CHECKED (the test scripts' checked builds, beside the
// standard library's own checks) stops at a read of the alternative a result
// does not hold, as a checked std::expected would: *r of an error, or
// r.error() of a value.
#ifdef HOURLOOM_CHECKED
[[noreturn]] inline void wrong_alternative(const char* read) {
  std::fprintf(stderr, "hourloom: %s of a result that does not hold one\n", read);
  std::abort();
}
#define HOURLOOM_HOLDS(held, read) ((held) ? void(0) : ::hourloom::wrong_alternative(read))
#else
#define HOURLOOM_HOLDS(held, read) void(0)
#endif

template <class T, class E>
class [[nodiscard]] Expected {
  static_assert(!std::is_reference_v<T> && !std::is_reference_v<E>);
  static constexpr bool kTrivialCopy = std::is_trivially_copyable_v<T> && std::is_trivially_copyable_v<E>;
  static constexpr bool kTrivialDestroy =
      std::is_trivially_destructible_v<T> && std::is_trivially_destructible_v<E>;
  static constexpr bool kNothrowMove =
      std::is_nothrow_move_constructible_v<T> && std::is_nothrow_move_constructible_v<E>;

 public:
  using value_type = T;
  using error_type = E;

  // Expected: a value-initialised T.
  constexpr Expected() requires std::is_default_constructible_v<T> : storage_(), has_value_(true) {}
  template <class U = T>
    requires(std::is_constructible_v<T, U> && !std::is_same_v<std::remove_cvref_t<U>, Expected> &&
             !std::is_same_v<std::remove_cvref_t<U>, std::in_place_t>)
  constexpr explicit(!std::is_convertible_v<U, T>) Expected(U&& v)
      : storage_(std::in_place, std::forward<U>(v)), has_value_(true) {}
  template <class G>
    requires std::is_constructible_v<E, const G&>
  constexpr Expected(const Unexpected<G>& u) : storage_(kError, u.error()), has_value_(false) {}
  template <class G>
    requires std::is_constructible_v<E, G>
  constexpr Expected(Unexpected<G>&& u) : storage_(kError, std::move(u).error()), has_value_(false) {}

  constexpr Expected(const Expected& o) requires(kTrivialCopy) = default;
  constexpr Expected(const Expected& o) : storage_(kNothing), has_value_(o.has_value_) { construct_from(o); }
  constexpr Expected(Expected&& o) noexcept requires(kTrivialCopy) = default;
  constexpr Expected(Expected&& o) noexcept(kNothrowMove) : storage_(kNothing), has_value_(o.has_value_) {
    construct_from(std::move(o));
  }
  constexpr Expected& operator=(const Expected& o) requires(kTrivialCopy) = default;
  constexpr Expected& operator=(const Expected& o) {
    if (this != &o) {
      destroy();
      has_value_ = o.has_value_;
      construct_from(o);
    }
    return *this;
  }
  constexpr Expected& operator=(Expected&& o) noexcept requires(kTrivialCopy) = default;
  constexpr Expected& operator=(Expected&& o) noexcept(kNothrowMove) {
    if (this != &o) {
      destroy();
      has_value_ = o.has_value_;
      construct_from(std::move(o));
    }
    return *this;
  }
  constexpr ~Expected() requires(kTrivialDestroy) = default;
  constexpr ~Expected() { destroy(); }

  constexpr bool has_value() const { return has_value_; }
  constexpr explicit operator bool() const { return has_value_; }

  constexpr const T& value() const& { return checked(), storage_.value; }
  constexpr T& value() & { return checked(), storage_.value; }
  constexpr T&& value() && { return checked(), std::move(storage_.value); }
  // The unchecked reads: the caller has seen has_value().
  constexpr const T& operator*() const& { return HOURLOOM_HOLDS(has_value_, "a value"), storage_.value; }
  constexpr T& operator*() & { return HOURLOOM_HOLDS(has_value_, "a value"), storage_.value; }
  constexpr T&& operator*() && { return HOURLOOM_HOLDS(has_value_, "a value"), std::move(storage_.value); }
  constexpr const T* operator->() const {
    return HOURLOOM_HOLDS(has_value_, "a value"), std::addressof(storage_.value);
  }
  constexpr T* operator->() { return HOURLOOM_HOLDS(has_value_, "a value"), std::addressof(storage_.value); }
  // error: only of an Expected that holds an error.
  constexpr const E& error() const& { return HOURLOOM_HOLDS(!has_value_, "an error"), storage_.error; }
  constexpr E& error() & { return HOURLOOM_HOLDS(!has_value_, "an error"), storage_.error; }
  constexpr E&& error() && { return HOURLOOM_HOLDS(!has_value_, "an error"), std::move(storage_.error); }

  template <class U>
  constexpr T value_or(U&& fallback) const& {
    return has_value_ ? storage_.value : static_cast<T>(std::forward<U>(fallback));
  }
  template <class U>
  constexpr T value_or(U&& fallback) && {
    return has_value_ ? std::move(storage_.value) : static_cast<T>(std::forward<U>(fallback));
  }

  // Comparisons as std::expected's: with a value (equal when one is held and
  // equal), with an error, and with another result.
  template <class U>
    requires(!std::is_same_v<U, Expected>)
  friend constexpr bool operator==(const Expected& x, const U& v) {
    return x.has_value_ && static_cast<bool>(x.storage_.value == v);
  }
  template <class G>
  friend constexpr bool operator==(const Expected& x, const Unexpected<G>& u) {
    return !x.has_value_ && static_cast<bool>(x.storage_.error == u.error());
  }
  friend constexpr bool operator==(const Expected& x, const Expected& y) {
    if (x.has_value_ != y.has_value_) return false;
    return x.has_value_ ? static_cast<bool>(x.storage_.value == y.storage_.value)
                        : static_cast<bool>(x.storage_.error == y.storage_.error);
  }

 private:
  struct ErrorTag {};
  struct NothingTag {};
  static constexpr ErrorTag kError{};
  static constexpr NothingTag kNothing{};

  // Storage: the value or the error. The flag lives beside it, in Expected.
  union Storage {
    constexpr Storage() : value() {}
    template <class... A>
    constexpr Storage(std::in_place_t, A&&... a) : value(std::forward<A>(a)...) {}
    template <class G>
    constexpr Storage(ErrorTag, G&& g) : error(std::forward<G>(g)) {}
    constexpr explicit Storage(NothingTag) {}
    constexpr Storage(const Storage&) requires(kTrivialCopy) = default;
    constexpr Storage(Storage&&) requires(kTrivialCopy) = default;
    constexpr Storage& operator=(const Storage&) requires(kTrivialCopy) = default;
    constexpr Storage& operator=(Storage&&) requires(kTrivialCopy) = default;
    constexpr ~Storage() requires(kTrivialDestroy) = default;
    constexpr ~Storage() {}  // Expected destroys the member it holds

    T value;
    E error;
  };

  constexpr void checked() const {
    if (!has_value_) throw BadExpectedAccess{};
  }
  template <class O>
  constexpr void construct_from(O&& o) {
    if (has_value_)
      std::construct_at(std::addressof(storage_.value), std::forward<O>(o).storage_.value);
    else
      std::construct_at(std::addressof(storage_.error), std::forward<O>(o).storage_.error);
  }
  constexpr void destroy() {
    if (has_value_)
      std::destroy_at(std::addressof(storage_.value));
    else
      std::destroy_at(std::addressof(storage_.error));
  }

  Storage storage_;
  bool has_value_;
};

// Expected<void, E>: success, or an error.
template <class E>
class [[nodiscard]] Expected<void, E> {
 public:
  using value_type = void;
  using error_type = E;

  constexpr Expected() : has_error_(false) {}
  template <class G>
    requires std::is_constructible_v<E, const G&>
  constexpr Expected(const Unexpected<G>& u) : error_(u.error()), has_error_(true) {}
  template <class G>
    requires std::is_constructible_v<E, G>
  constexpr Expected(Unexpected<G>&& u) : error_(std::move(u).error()), has_error_(true) {}

  constexpr bool has_value() const { return !has_error_; }
  constexpr explicit operator bool() const { return !has_error_; }
  constexpr void value() const {
    if (has_error_) throw BadExpectedAccess{};
  }
  constexpr const E& error() const& { return HOURLOOM_HOLDS(has_error_, "an error"), error_; }
  constexpr E&& error() && { return HOURLOOM_HOLDS(has_error_, "an error"), std::move(error_); }

 private:
  // An error is kept only when there is one; a success leaves E
  // value-initialised, which every error type the engine uses allows.
  E error_{};
  bool has_error_;
};

// The flag sits after the value, never in its tail padding: a value type with
// padding (as std::optional<Instant> has) leaves the result larger than itself.
namespace expected_layout {
struct Padded {
  long long value;
  bool flag;
};
static_assert(sizeof(Expected<Padded, int>) > sizeof(Padded));
static_assert(sizeof(Expected<std::optional<long long>, int>) > sizeof(std::optional<long long>));
static_assert(std::is_trivially_copyable_v<Expected<Padded, int>>);
}  // namespace expected_layout

}  // namespace hourloom
