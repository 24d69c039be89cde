// The error numbers that object-model failures carry. The MAPI and DISP values
// are Outlook's own; the two run-time values are those that late-bound calls
// raise for a missing object and a value of the wrong kind.
#pragma once

#include <cstdint>

namespace om {

inline constexpr std::uint32_t kMapiNotFound = 0x8004010F;        // MAPI_E_NOT_FOUND
inline constexpr std::uint32_t kMapiCorruptData = 0x8004011B;     // MAPI_E_CORRUPT_DATA
inline constexpr std::uint32_t kMapiFailOneProvider = 0x8004011D; // MAPI_E_FAILONEPROVIDER
inline constexpr std::uint32_t kMapiCallFailed = 0x80004005;     // MAPI_E_CALL_FAILED
inline constexpr std::uint32_t kDispUnknownName = 0x80020006;     // DISP_E_UNKNOWNNAME
inline constexpr std::uint32_t kDispBadIndex = 0x8002000B;        // DISP_E_BADINDEX
inline constexpr std::uint32_t kDispBadParamCount = 0x8002000E;   // DISP_E_BADPARAMCOUNT
inline constexpr std::uint32_t kClassNotRegistered = 0x80040154;  // REGDB_E_CLASSNOTREG
inline constexpr std::uint32_t kObjectRequired = 0x800A005B;      // run-time error 91
inline constexpr std::uint32_t kTypeMismatch = 0x800A000D;        // run-time error 13

}  // namespace om
