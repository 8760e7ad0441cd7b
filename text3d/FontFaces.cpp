#include "FontFaces.h"

#include <QStringList>

namespace FontFaces {

QString Resolve(const QString &faceName)
{
    QString face = faceName.left(MaxFaceNameLength);
    if (QFontDatabase::hasFamily(face))
        return face;
    static const QStringList charsetSuffixes = {
        QStringLiteral(" Cyr"), QStringLiteral(" CE"), QStringLiteral(" Greek"),
        QStringLiteral(" Tur"), QStringLiteral(" Baltic"),
    };
    for (const QString &suffix : charsetSuffixes) {
        if (face.endsWith(suffix, Qt::CaseInsensitive)) {
            face.chop(suffix.size());
            break;
        }
    }
    static const QStringList bitmapSansFaces = {
        QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg"),
        QStringLiteral("MS Shell Dlg 2"), QStringLiteral("Microsoft Sans Serif"),
    };
    if (!QFontDatabase::hasFamily(face) && bitmapSansFaces.contains(face, Qt::CaseInsensitive))
        return QStringLiteral("Arial");
    return face;
}

QFontDatabase::WritingSystem WritingSystemOf(unsigned char charset)
{
    switch (charset) {
    case 0:   // ANSI
    case 162: // Turkish
    case 186: // Baltic
    case 238: // East European
        return QFontDatabase::Latin;
    case 2: return QFontDatabase::Symbol;
    case 128: return QFontDatabase::Japanese;
    case 129: return QFontDatabase::Korean;
    case 134: return QFontDatabase::SimplifiedChinese;
    case 136: return QFontDatabase::TraditionalChinese;
    case 161: return QFontDatabase::Greek;
    case 163: return QFontDatabase::Vietnamese;
    case 177: return QFontDatabase::Hebrew;
    case 178: return QFontDatabase::Arabic;
    case 204: return QFontDatabase::Cyrillic;
    case 222: return QFontDatabase::Thai;
    default: return QFontDatabase::Any; // DEFAULT_CHARSET and the rest
    }
}

} // namespace FontFaces
