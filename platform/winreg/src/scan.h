// The hive reader's byte scanner: every compare that looks at many bytes at
// once (SSE2 where the target has it) lives here, each beside a plain scalar
// twin that gives the same answer for every input. The reader calls the wide
// ones; tests/winreg/scan_test.cpp holds the two to the same answers.
// No function reads past text + size.
#pragma once

#include <cstddef>

namespace winreg::scan {

// The value of a hex digit, or -1 for any other byte.
int hexDigit(char c);

namespace scalar {
// The number of plain characters at text: printable ASCII or tab, neither a
// backslash nor close.
size_t plainRun(const char *text, size_t size, char close);
// The number of hex digits at text.
size_t hexDigits(const char *text, size_t size);
// The length of the run of "hh," (two hex digits and a comma) at text.
size_t hexByteRun(const char *text, size_t size);
// The number of bytes a and b start with alike, of the first size.
size_t commonPrefix(const char *a, const char *b, size_t size);
} // namespace scalar

namespace wide {
size_t plainRun(const char *text, size_t size, char close);
size_t hexDigits(const char *text, size_t size);
size_t hexByteRun(const char *text, size_t size);
size_t commonPrefix(const char *a, const char *b, size_t size);
} // namespace wide

using wide::commonPrefix;
using wide::hexByteRun;
using wide::hexDigits;
using wide::plainRun;

} // namespace winreg::scan
