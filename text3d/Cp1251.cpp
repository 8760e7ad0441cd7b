#include "Cp1251.h"

#include <QHash>
#include <QStringDecoder>

#include <array>

namespace {

struct CodePage {
    std::array<QChar, 256> Characters{};
    QHash<char32_t, unsigned char> Codes;

    CodePage()
    {
        QStringDecoder decoder("windows-1251");
        for (int code = 0; code < 256; ++code) {
            const char byte = char(code);
            const QString decoded = decoder(QByteArrayView(&byte, 1));
            // Bytes the code page leaves undefined keep their own number.
            Characters[code] = decoded.size() == 1 ? decoded.at(0) : QChar(code);
            Codes.insert(Characters[code].unicode(), static_cast<unsigned char>(code));
        }
    }
};

const CodePage &Table()
{
    static const CodePage table;
    return table;
}

} // namespace

namespace Cp1251 {

QChar ToUnicode(unsigned char code)
{
    return Table().Characters[code];
}

QByteArray FromUnicode(QStringView text)
{
    const auto &codes = Table().Codes;
    QByteArray result;
    result.reserve(text.size());
    for (const char32_t ch : text.toUcs4()) {
        const auto found = codes.constFind(ch);
        result.append(found == codes.cend() ? '?' : char(*found));
    }
    return result;
}

QString ToUnicode(const QByteArray &codes)
{
    QString result(codes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < codes.size(); ++i)
        result[i] = ToUnicode(static_cast<unsigned char>(codes.at(i)));
    return result;
}

} // namespace Cp1251
