// The answers of the registry engine: Windows error codes, by name. Every
// code that the engine gives is named here and nowhere else.
#pragma once

#include <cstdint>

namespace winreg {

using Status = int32_t;

namespace status {
inline constexpr Status ok = 0;
inline constexpr Status fileNotFound = 2;
inline constexpr Status accessDenied = 5;
inline constexpr Status invalidHandle = 6;
inline constexpr Status outOfMemory = 14;
inline constexpr Status writeFault = 29;
inline constexpr Status lockViolation = 33;
inline constexpr Status diskFull = 112;
inline constexpr Status invalidParameter = 87;
inline constexpr Status badPathname = 161;
inline constexpr Status moreData = 234;
inline constexpr Status noMoreItems = 259;
inline constexpr Status noAccess = 998;
inline constexpr Status childMustBeVolatile = 1021;
inline constexpr Status internalError = 1359;
inline constexpr Status keyDeleted = 1018;
// A running Wine server that could not be reached: no loader or no bridge,
// the bridge or the server ended, the bridge did not answer in time.
inline constexpr Status notSupported = 50;
inline constexpr Status brokenPipe = 109;
inline constexpr Status timeout = 1460;
} // namespace status

// The code for a failed file operation, by its errno.
Status statusOfErrno(int error);

} // namespace winreg
