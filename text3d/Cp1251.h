// Conversion between Unicode text and the Windows Cyrillic code page, in
// which the 3D text control numbers its characters.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

namespace Cp1251 {

// The code page's character for a byte.
QChar ToUnicode(unsigned char code);

// Every character of the text as one byte; a character the code page
// cannot hold becomes '?'.
QByteArray FromUnicode(QStringView text);

// The text that a byte string of the code page stands for.
QString ToUnicode(const QByteArray &codes);

} // namespace Cp1251
