// The boundary to the contact store: a late-bound object model in the shape of
// Outlook's automation model. The export reads members by name from handles and
// never sees what serves them (Outlook through COM, or the stand-alone store).
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace om {

// A calendar date as the object model delivers it; the time of day is not kept.
struct Date {
  int year = 4501;
  int month = 1;
  int day = 1;
  friend bool operator==(const Date&, const Date&) = default;
};

// Outlook's value for "no date".
inline constexpr Date kNoDate{4501, 1, 1};

class Object;

// A counted reference to an object; the empty handle is "nothing". Releasing a
// handle (reset or scope end) never fails.
using Handle = std::shared_ptr<Object>;

// What reading a member yields: empty (no value at all, not the empty text), a
// text, a date, a number or an object.
using Value = std::variant<std::monostate, std::u16string, Date, std::int64_t, Handle>;

// A failed object-model call, carrying its 32-bit error number and, where the
// failure was first understood, its reason in words ("cannot open file: No
// such file or directory"). It travels up to the nearest procedure that traps
// failures (see resume_next.h); only the number decides what happens there.
class ObjectModelError : public std::exception {
 public:
  explicit ObjectModelError(std::uint32_t number, std::string reason = {})
      : number_(number),
        reason_(reason.empty() ? nullptr : std::make_shared<const std::string>(std::move(reason))) {}
  std::uint32_t number() const { return number_; }
  // Empty when nothing but the number is known.
  std::string_view reason() const { return reason_ ? std::string_view(*reason_) : std::string_view(); }
  const char* what() const noexcept override { return "object model call failed"; }

 private:
  std::uint32_t number_;
  // Shared, so that copying the error (as throwing it again does) cannot fail.
  std::shared_ptr<const std::string> reason_;
};

// An object of the model: application, namespace, folder, collection or item.
class Object {
 public:
  virtual ~Object() = default;

  // Reads the member `name`, matched without regard to case, with `args`. A
  // collection called with an index is called as its member "Item".
  // Throws ObjectModelError.
  virtual Value Get(std::string_view name, std::span<const Value> args) = 0;

  // The same as out = Get(name, args), but an object may copy a text into
  // the text `out` holds, keeping its buffer: reading the same properties of
  // many items then allocates nothing. `out` is unchanged when it throws.
  virtual void GetInto(std::string_view name, std::span<const Value> args, Value& out) { out = Get(name, args); }

  // The object's type name: an item's names its kind (item_kinds.h); others
  // are "MAPIFolder", "Items", "NameSpace", ...
  // Throws ObjectModelError.
  virtual std::u16string TypeName() = 0;
};

// What makes the object registered under a program identifier
// ("Outlook.Application"). The program's own is chosen by app/; tests pass
// an object model of their own.
using ObjectFactory = Handle (*)(std::u16string_view progId);

// Creates the object `factory` makes for `progId`. Throws ObjectModelError
// when it cannot be had.
Handle CreateObject(ObjectFactory factory, std::u16string_view progId);

// Member access on handles, failing like the object model does when the
// handle is nothing or the value is not of the kind asked for.
Value Get(const Handle& object, std::string_view name);
Value Get(const Handle& object, std::string_view name, const Value& arg);
void GetInto(const Handle& object, std::string_view name, Value& out);
Handle AsObject(const Value& value);
std::int64_t AsCount(const Value& value);
std::u16string TypeNameOf(const Handle& object);

}  // namespace om
