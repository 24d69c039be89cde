#include "counting_object_model.h"

#include <utility>
#include <vector>

#include "app/create_object.h"
#include "app/run_sequence.h"

namespace bench {
namespace {

CallCounts gCounts;

void Count(std::string_view member) {
  ++gCounts.total;
  std::string key(member);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  ++gCounts.byMember[key];
}

om::Value WrapValue(om::Value value) {
  if (om::Handle* object = std::get_if<om::Handle>(&value)) return WrapCounting(std::move(*object));
  return value;
}

class CountingObject final : public om::Object {
 public:
  explicit CountingObject(om::Handle inner) : inner_(std::move(inner)) {}

  om::Value Get(std::string_view name, std::span<const om::Value> args) override {
    Count(name);
    try {
      return WrapValue(inner_->Get(name, Unwrapped(args)));
    } catch (const om::ObjectModelError&) {
      ++gCounts.failed;
      throw;
    }
  }

  std::u16string TypeName() override {
    Count("typename");
    try {
      return inner_->TypeName();
    } catch (const om::ObjectModelError&) {
      ++gCounts.failed;
      throw;
    }
  }

  const om::Handle& inner() const { return inner_; }

 private:
  // An argument that is one of our own objects reaches the real model as the
  // object it wraps.
  std::span<const om::Value> Unwrapped(std::span<const om::Value> args) {
    bool any = false;
    for (const om::Value& arg : args) any = any || std::holds_alternative<om::Handle>(arg);
    if (!any) return args;
    scratch_.assign(args.begin(), args.end());
    for (om::Value& arg : scratch_) {
      if (om::Handle* object = std::get_if<om::Handle>(&arg)) {
        if (auto* counting = dynamic_cast<CountingObject*>(object->get())) *object = counting->inner();
      }
    }
    return scratch_;
  }

  om::Handle inner_;
  std::vector<om::Value> scratch_;
};

om::Handle CreateCounting(std::u16string_view progId) {
  return WrapCounting(app::CreatePlatformObject(progId));
}

}  // namespace

om::Handle WrapCounting(om::Handle inner) {
  if (!inner) return inner;
  return std::make_shared<CountingObject>(std::move(inner));
}

void InstallCountingFactory() { app::SetObjectFactory(CreateCounting); }

const CallCounts& Counts() { return gCounts; }

void ResetCounts() { gCounts = {}; }

}  // namespace bench
