#include "om/object_model.h"

#include "om/error_numbers.h"

namespace om {

Handle CreateObject(ObjectFactory factory, std::u16string_view progId) {
  Handle object = factory(progId);
  if (!object) throw ObjectModelError(kClassNotRegistered);
  return object;
}

Value Get(const Handle& object, std::string_view name) {
  if (!object) throw ObjectModelError(kObjectRequired);
  return object->Get(name, {});
}

Value Get(const Handle& object, std::string_view name, const Value& arg) {
  if (!object) throw ObjectModelError(kObjectRequired);
  return object->Get(name, std::span<const Value>(&arg, 1));
}

void GetInto(const Handle& object, std::string_view name, Value& out) {
  if (!object) throw ObjectModelError(kObjectRequired);
  object->GetInto(name, {}, out);
}

Handle AsObject(const Value& value) {
  if (const Handle* object = std::get_if<Handle>(&value)) return *object;
  // An empty value is "nothing"; any other kind cannot be held as an object.
  if (std::holds_alternative<std::monostate>(value)) return nullptr;
  throw ObjectModelError(kTypeMismatch);
}

std::int64_t AsCount(const Value& value) {
  if (const std::int64_t* number = std::get_if<std::int64_t>(&value)) return *number;
  throw ObjectModelError(kTypeMismatch);
}

std::u16string TypeNameOf(const Handle& object) {
  if (!object) return u"Nothing";
  return object->TypeName();
}

}  // namespace om
