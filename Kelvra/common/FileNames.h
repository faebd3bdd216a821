#pragma once
// File names are bytes to the system. As text they read as Qt reads them,
// but for bytes not valid in that encoding (UTF-8): each such byte stands as
// the lone surrogate U+DC80..U+DCFF, which encodeFileName() turns back into
// that byte. So a name keeps its bytes from the command line to open().

#include <QByteArray>
#include <QFile>
#include <QString>

namespace Kelvra {

namespace fileNames {

// The length of the valid UTF-8 sequence at `at`, 0 when none starts there.
inline int utf8Length(const QByteArray& bytes, int at)
{
    const auto byte = [&](int i) { return at + i < bytes.size() ? static_cast<uchar>(bytes[at + i]) : 0; };
    const auto follows = [&](int i, uchar low, uchar high) { return byte(i) >= low && byte(i) <= high; };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms, no surrogates.
        const uchar low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uchar low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// A byte kept as it was: a low surrogate of that range standing alone.
inline bool isKeptByte(const QString& name, int at)
{
    const ushort unit = name[at].unicode();
    return unit >= 0xDC80 && unit <= 0xDCFF && (at == 0 || !name[at - 1].isHighSurrogate());
}

} // namespace fileNames

inline QString decodeFileName(const QByteArray& bytes)
{
    const QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) == bytes)
        return text;
    QString kept;
    for (int at = 0; at < bytes.size();) {
        const int length = fileNames::utf8Length(bytes, at);
        if (length > 0)
            kept += QString::fromUtf8(bytes.constData() + at, length);
        else
            kept += QChar(static_cast<ushort>(0xDC00 + static_cast<uchar>(bytes[at])));
        at += length > 0 ? length : 1;
    }
    return kept;
}

inline QByteArray encodeFileName(const QString& name)
{
    QByteArray bytes;
    int from = 0;
    for (int at = 0; at < name.size(); ++at)
        if (fileNames::isKeptByte(name, at)) {
            bytes += QFile::encodeName(name.mid(from, at - from));
            bytes += static_cast<char>(name[at].unicode() - 0xDC00);
            from = at + 1;
        }
    return bytes + QFile::encodeName(name.mid(from));
}

} // namespace Kelvra
