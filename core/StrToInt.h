// The runtime's text-to-integer conversion.
#pragma once

#include "Exception.h"

#include <QString>

// The failure of a text-to-integer conversion.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Leading blanks, then either an optional "+" or "-" with decimal digits
// whose value fits a signed 32-bit integer, or, with no sign, a hexadecimal
// number of one to eight digits introduced by "$", "x", "X", "0x" or "0X"
// (its 32 bits taken as signed). Nothing may follow. Anything else raises
// EConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString &text);
