// Face names as a Windows program gives them, mapped to faces that this
// system has.
#pragma once

#include <QFontDatabase>
#include <QString>

namespace FontFaces {

// A face-name field holds 32 bytes: at most 31 characters of a name count.
inline constexpr int MaxFaceNameLength = 31;

// The face to ask the font system for: the name cut to its field, without
// the charset suffix of the Windows substitute names ("Arial Cyr" is Arial
// with the Cyrillic character set), and with the old bitmap faces mapped to
// a scalable one. Anything else is left to fontconfig's own fallback.
QString Resolve(const QString &faceName);

// The writing system that stands for a Windows character-set identifier.
QFontDatabase::WritingSystem WritingSystemOf(unsigned char charset);

} // namespace FontFaces
