// The framework's object model: counted references, nil, and the exceptions
// that a member access through nil or a failed cast raises.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

// Base of every framework exception. Handlers that "drop every exception"
// catch this; anything else escaping is a programming error and still goes
// to the unhandled-exception handler.
class RuntimeException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // The class name the user sees in the unhandled-exception report.
  virtual const char* ClassName() const { return "RuntimeException"; }
};

#define PLATFORM_EXCEPTION(Name)                                  \
  class Name : public RuntimeException {                          \
   public:                                                        \
    explicit Name(const std::string& what = #Name)                \
        : RuntimeException(what) {}                               \
    const char* ClassName() const override { return #Name; }      \
  };

PLATFORM_EXCEPTION(NilObjectException)
PLATFORM_EXCEPTION(IllegalCastException)
PLATFORM_EXCEPTION(OutOfBoundsException)
PLATFORM_EXCEPTION(IOException)
#undef PLATFORM_EXCEPTION

struct ClassInfo;

// Every framework object. Objects are shared through Ref; the count is the
// shared_ptr's.
class Object : public std::enable_shared_from_this<Object> {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  // The registration this object was made for; nullptr for objects whose
  // class the system never registers.
  virtual const ClassInfo* Class() const { return nullptr; }
};

// A counted reference that may be nil. Dereferencing nil raises
// NilObjectException instead of being undefined behaviour.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}  // NOLINT: nil converts implicitly, as in the framework
  Ref(std::shared_ptr<T> p) : p_(std::move(p)) {}  // NOLINT
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& other) : p_(other.shared()) {}  // NOLINT

  T* operator->() const { return &Deref(); }
  T& operator*() const { return Deref(); }
  T& Deref() const {
    if (!p_) throw NilObjectException();
    return *p_;
  }

  T* get() const { return p_.get(); }
  const std::shared_ptr<T>& shared() const { return p_; }
  explicit operator bool() const { return static_cast<bool>(p_); }
  bool IsNil() const { return !p_; }
  long use_count() const { return p_.use_count(); }
  void reset() { p_.reset(); }

  friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
  friend bool operator==(const Ref& a, std::nullptr_t) { return !a.p_; }

 private:
  std::shared_ptr<T> p_;
};

// Allocation through the framework. The framework's own constructor step
// (a method named Constructor) is run separately by the caller, as the
// framework does.
template <class T, class... Args>
Ref<T> New(Args&&... args) {
  return Ref<T>(std::make_shared<T>(std::forward<Args>(args)...));
}

// A reference to an object that is already held elsewhere.
template <class T>
Ref<T> RefTo(T& object) {
  return Ref<T>(std::static_pointer_cast<T>(object.shared_from_this()));
}

// The class-checking cast: nil stays nil, an object of another class raises
// IllegalCastException.
template <class T, class U>
Ref<T> Cast(const Ref<U>& from) {
  if (!from) return nullptr;
  auto to = std::dynamic_pointer_cast<T>(from.shared());
  if (!to) throw IllegalCastException();
  return Ref<T>(std::move(to));
}

// A cast that answers nil instead of raising; for "is it a ..." tests.
template <class T, class U>
Ref<T> TryCast(const Ref<U>& from) {
  return Ref<T>(std::dynamic_pointer_cast<T>(from.shared()));
}

}  // namespace platform
