#include "om/com_test_model_win32.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace comtest {
namespace {

CallCounts gCalls;
int gOverReleases = 0;

std::string LowerAscii(const wchar_t* name) {
  std::string lower;
  for (; *name != L'\0'; ++name) {
    const wchar_t c = *name;
    lower.push_back(static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c));
  }
  return lower;
}

std::string LowerAscii(std::string_view name) {
  const std::wstring wide(name.begin(), name.end());
  return LowerAscii(wide.c_str());
}

// One id per member name across all types, as a real type library would
// number them consistently; the layer under test caches them per type.
DISPID IdOf(const std::string& lowerName) {
  static std::map<std::string, DISPID> ids;
  const auto inserted = ids.emplace(lowerName, static_cast<DISPID>(1000 + ids.size()));
  return inserted.first->second;
}

// Reference counting shared by both interfaces of the model. Objects are not
// deleted at zero: the model keeps them so that a release too many is counted.
struct Counted {
  long references = 0;
  ULONG Add() { return static_cast<ULONG>(++references); }
  ULONG Drop() {
    if (references == 0) {
      ++gOverReleases;
      return 0;
    }
    return static_cast<ULONG>(--references);
  }
};

class TestTypeInfo final : public ITypeInfo {
 public:
  explicit TestTypeInfo(std::u16string name) : name_(std::move(name)) {}
  Counted counted;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_ITypeInfo) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return counted.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return counted.Drop(); }

  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* context,
                                             BSTR* helpFile) override {
    ++gCalls.getDocumentation;
    if (id != MEMBERID_NIL) return TYPE_E_ELEMENTNOTFOUND;
    const std::wstring wide(name_.begin(), name_.end());
    if (name != nullptr) *name = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (doc != nullptr) *doc = nullptr;
    if (context != nullptr) *context = 0;
    if (helpFile != nullptr) *helpFile = nullptr;
    return S_OK;
  }

  // Nothing else of the type information is used.
  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

 private:
  std::u16string name_;
};

class TestObject final : public IDispatch {
 public:
  explicit TestObject(std::u16string_view typeName)
      : typeInfo_(typeName.empty() ? nullptr : std::make_unique<TestTypeInfo>(std::u16string(typeName))) {}
  Counted counted;
  std::map<DISPID, Answer> members;
  TestTypeInfo* typeInfo() const { return typeInfo_.get(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return counted.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return counted.Drop(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = typeInfo_ ? 1 : 0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    ++gCalls.getTypeInfo;
    *out = nullptr;
    if (!typeInfo_ || index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *out = typeInfo_.get();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ++gCalls.getIdsOfNames;
    if (count != 1) return E_INVALIDARG;  // the layer never asks for argument names
    const DISPID id = IdOf(LowerAscii(names[0]));
    if (members.count(id) == 0) {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = id;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT*) override {
    ++gCalls.invoke;
    const auto member = members.find(id);
    if (member == members.end()) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_PROPERTYGET) == 0 || params->cNamedArgs != 0) return DISP_E_BADCALLEE;
    // DISPPARAMS holds the last argument first; answers get them in call order.
    std::vector<VARIANT> args(params->rgvarg, params->rgvarg + params->cArgs);
    std::reverse(args.begin(), args.end());
    VARIANT ignored;
    VariantInit(&ignored);
    return member->second(args, result != nullptr ? result : &ignored, exception);
  }

 private:
  std::unique_ptr<TestTypeInfo> typeInfo_;
};

std::vector<std::unique_ptr<TestObject>> gObjects;

TestObject* Cast(IDispatch* object) { return static_cast<TestObject*>(object); }

// An exception filled in on demand, as servers do with pfnDeferredFillIn:
// pvReserved points to what the answer raises.
HRESULT STDMETHODCALLTYPE FillInLater(EXCEPINFO* exception) {
  ++gCalls.deferredFillIns;
  const auto* raised = static_cast<const Exception*>(exception->pvReserved);
  exception->scode = raised->scode;
  exception->bstrDescription = raised->description != nullptr ? SysAllocString(raised->description) : nullptr;
  return S_OK;
}

std::optional<LONG> IndexOf(std::span<VARIANT> args) {
  if (args.size() != 1) return std::nullopt;
  VARIANT index;
  VariantInit(&index);
  if (FAILED(VariantChangeType(&index, &args[0], 0, VT_I4))) return std::nullopt;
  return V_I4(&index);
}

}  // namespace

IDispatch* NewObject(std::u16string_view typeName) {
  gObjects.push_back(std::make_unique<TestObject>(typeName));
  return gObjects.back().get();
}

void SetMember(IDispatch* object, std::string_view name, Answer answer) {
  Cast(object)->members[IdOf(LowerAscii(name))] = std::move(answer);
}

Answer CopyOf(const VARIANT& value) {
  std::shared_ptr<VARIANT> kept(new VARIANT, [](VARIANT* copy) {
    VariantClear(copy);
    delete copy;
  });
  VariantInit(kept.get());
  VariantCopy(kept.get(), const_cast<VARIANT*>(&value));  // not const in every SDK
  return [kept](std::span<VARIANT>, VARIANT* result, EXCEPINFO*) { return VariantCopy(result, kept.get()); };
}

Answer Text(std::u16string_view text) {
  const std::wstring wide(text.begin(), text.end());
  return [wide](std::span<VARIANT>, VARIANT* result, EXCEPINFO*) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return S_OK;
  };
}

Answer OleDate(double date) {
  return [date](std::span<VARIANT>, VARIANT* result, EXCEPINFO*) {
    V_VT(result) = VT_DATE;
    V_DATE(result) = date;
    return S_OK;
  };
}

Answer Integer(LONG number) {
  return [number](std::span<VARIANT>, VARIANT* result, EXCEPINFO*) {
    V_VT(result) = VT_I4;
    V_I4(result) = number;
    return S_OK;
  };
}

Answer Object(IDispatch* object) {
  return [object](std::span<VARIANT>, VARIANT* result, EXCEPINFO*) {
    if (object != nullptr) object->AddRef();
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    return S_OK;
  };
}

Answer Raises(const Exception& raised) {
  const auto kept = std::make_shared<const Exception>(raised);  // lives as long as the member
  return [kept](std::span<VARIANT>, VARIANT*, EXCEPINFO* exception) {
    if (exception == nullptr) return DISP_E_EXCEPTION;
    *exception = EXCEPINFO{};
    exception->wCode = kept->wCode;
    if (kept->source != nullptr) exception->bstrSource = SysAllocString(kept->source);
    if (kept->deferred) {
      exception->pvReserved = const_cast<Exception*>(kept.get());
      exception->pfnDeferredFillIn = FillInLater;
    } else {
      exception->scode = kept->scode;
      if (kept->description != nullptr) exception->bstrDescription = SysAllocString(kept->description);
    }
    return DISP_E_EXCEPTION;
  };
}

Answer Raises(HRESULT scode, bool deferred) {
  return Raises(Exception{.scode = scode, .description = L"raised", .source = L"test model", .deferred = deferred});
}

Answer RaisesRunTimeError(WORD code) { return Raises(Exception{.wCode = code}); }

Answer Fails(HRESULT failure) {
  return [failure](std::span<VARIANT>, VARIANT*, EXCEPINFO*) { return failure; };
}

IDispatch* NewCollection(std::u16string_view typeName, std::vector<IDispatch*> items) {
  IDispatch* collection = NewObject(typeName);
  SetMember(collection, "Count", Integer(static_cast<LONG>(items.size())));
  SetMember(collection, "Item", [items](std::span<VARIANT> args, VARIANT* result, EXCEPINFO* exception) {
    const std::optional<LONG> index = IndexOf(args);
    if (!index || *index < 1 || static_cast<std::size_t>(*index) > items.size()) {
      return Raises(DISP_E_BADINDEX)(args, result, exception);
    }
    return Object(items[*index - 1])(args, result, exception);
  });
  return collection;
}

CallCounts& Calls() { return gCalls; }

long OutstandingReferences() {
  long total = 0;
  for (const auto& object : gObjects) {
    total += object->counted.references;
    if (object->typeInfo() != nullptr) total += object->typeInfo()->counted.references;
  }
  return total;
}

int OverReleases() { return gOverReleases; }

void ResetModel() {
  gObjects.clear();
  gCalls = CallCounts{};
  gOverReleases = 0;
}

}  // namespace comtest
