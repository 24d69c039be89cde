// Failure trapping for the procedures that run in resume-next mode (the export
// driver, the item loop and the connection steps). A statement whose
// object-model call fails is abandoned at the point of failure, nothing it
// would have stored is stored, and the procedure goes on with the next
// statement; the failure's number is kept as the error number, and its reason
// beside it.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "om/object_model.h"

namespace om {

// The number of the last trapped failure; 0 until one happens. It is not reset
// by later successful statements, only by ErrClear.
std::uint32_t ErrNumber();
// The reason of the last trapped failure, where it had one; empty after
// ErrClear and after ErrSet with a number alone.
std::string_view ErrReason();
void ErrClear();
void ErrSet(std::uint32_t number);
void ErrSet(const ObjectModelError& failure);

// Runs one statement; returns false when it failed and was abandoned.
template <class Statement>
bool ResumeNext(Statement&& statement) {
  try {
    std::forward<Statement>(statement)();
    return true;
  } catch (const ObjectModelError& failure) {
    ErrSet(failure);
    return false;
  }
}

// The condition of an if-statement: when evaluating it fails, execution goes
// on with the then-branch, so the failure counts as true.
template <class Condition>
bool ResumeNextIf(Condition&& condition) {
  bool result = true;
  ResumeNext([&] { result = std::forward<Condition>(condition)(); });
  return result;
}

}  // namespace om
