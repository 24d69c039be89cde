// An in-process automation object model for the tests of the COM layer:
// IDispatch objects whose members are built in a few lines, with minimal type
// information, call counters and reference counts that the tests check.
// Objects stay in memory until ResetModel, so that a release too many is
// counted instead of crashing.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace comtest {

// How a member answers one Invoke: `args` in call order (first argument
// first), the result to fill in, the exception to fill in when it returns
// DISP_E_EXCEPTION.
using Answer = std::function<HRESULT(std::span<VARIANT> args, VARIANT* result, EXCEPINFO* exception)>;

// A new object of type `typeName` as its type library would document it
// ("_ContactItem"); an empty name gives an object without type information.
// The model holds it with no reference counted: whoever receives it from a
// member (or WrapDispatch) takes the references.
IDispatch* NewObject(std::u16string_view typeName);

// Adds or replaces the member `name` (matched without regard to case).
void SetMember(IDispatch* object, std::string_view name, Answer answer);

// Answers for SetMember.
Answer Text(std::u16string_view text);
Answer OleDate(double date);
Answer Integer(LONG number);
Answer Object(IDispatch* object);  // nullptr: VT_DISPATCH holding nothing
Answer CopyOf(const VARIANT& value);  // any VARIANT the test builds
// What an exception (DISP_E_EXCEPTION) says. The texts are kept as given
// (string literals); a null text stays a null BSTR.
// With `deferred` the number and the description are only there after
// pfnDeferredFillIn.
struct Exception {
  HRESULT scode = 0;
  WORD wCode = 0;
  const wchar_t* description = nullptr;
  const wchar_t* source = nullptr;
  bool deferred = false;
};
Answer Raises(const Exception& exception);
// Raises `scode`, described as "raised" by "test model".
Answer Raises(HRESULT scode, bool deferred = false);
Answer RaisesRunTimeError(WORD code);  // the exception's wCode instead of scode
Answer Fails(HRESULT result);          // Invoke itself returns `result`

// A collection of type `typeName` with Count and 1-based Item(i) over `items`;
// an index out of range raises DISP_E_BADINDEX.
IDispatch* NewCollection(std::u16string_view typeName, std::vector<IDispatch*> items);

struct CallCounts {
  int getIdsOfNames = 0;
  int invoke = 0;
  int getTypeInfo = 0;
  int getDocumentation = 0;
  int deferredFillIns = 0;
};
CallCounts& Calls();

// Sum of the reference counts of all objects and type infos of the model, and
// the number of Release calls on objects already at zero.
long OutstandingReferences();
int OverReleases();

// Forgets every object (call after checking the reference counts) and the
// call counts.
void ResetModel();

}  // namespace comtest
