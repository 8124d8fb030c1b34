// Character sets and font faces of metafile text.
#include "wmftext.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QStringDecoder>

namespace wmf {

namespace {

enum CharSet : quint8 {
    Ansi = 0,
    Default = 1,
    Symbol = 2,
    Mac = 77,
    ShiftJis = 128,
    Hangul = 129,
    Johab = 130,
    Gb2312 = 134,
    Big5 = 136,
    Greek = 161,
    Turkish = 162,
    Vietnamese = 163,
    Hebrew = 177,
    Arabic = 178,
    Baltic = 186,
    Russian = 204,
    Thai = 222,
    EastEurope = 238,
    Oem = 255,
};

// What the bytes 0x20..0xFF of the Symbol face show.
constexpr char16_t symbolTable[224] = {
    // 0x20
    0x0020,
    0x0021,
    0x2200,
    0x0023,
    0x2203,
    0x0025,
    0x0026,
    0x220B,
    0x0028,
    0x0029,
    0x2217,
    0x002B,
    0x002C,
    0x2212,
    0x002E,
    0x002F,
    // 0x30
    0x0030,
    0x0031,
    0x0032,
    0x0033,
    0x0034,
    0x0035,
    0x0036,
    0x0037,
    0x0038,
    0x0039,
    0x003A,
    0x003B,
    0x003C,
    0x003D,
    0x003E,
    0x003F,
    // 0x40
    0x2245,
    0x0391,
    0x0392,
    0x03A7,
    0x0394,
    0x0395,
    0x03A6,
    0x0393,
    0x0397,
    0x0399,
    0x03D1,
    0x039A,
    0x039B,
    0x039C,
    0x039D,
    0x039F,
    // 0x50
    0x03A0,
    0x0398,
    0x03A1,
    0x03A3,
    0x03A4,
    0x03A5,
    0x03C2,
    0x03A9,
    0x039E,
    0x03A8,
    0x0396,
    0x005B,
    0x2234,
    0x005D,
    0x22A5,
    0x005F,
    // 0x60
    0x203E,
    0x03B1,
    0x03B2,
    0x03C7,
    0x03B4,
    0x03B5,
    0x03C6,
    0x03B3,
    0x03B7,
    0x03B9,
    0x03D5,
    0x03BA,
    0x03BB,
    0x03BC,
    0x03BD,
    0x03BF,
    // 0x70
    0x03C0,
    0x03B8,
    0x03C1,
    0x03C3,
    0x03C4,
    0x03C5,
    0x03D6,
    0x03C9,
    0x03BE,
    0x03C8,
    0x03B6,
    0x007B,
    0x007C,
    0x007D,
    0x223C,
    0x0020,
    // 0x80 .. 0x9F: unused
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    0x0020,
    // 0xA0
    0x20AC,
    0x03D2,
    0x2032,
    0x2264,
    0x2044,
    0x221E,
    0x0192,
    0x2663,
    0x2666,
    0x2665,
    0x2660,
    0x2194,
    0x2190,
    0x2191,
    0x2192,
    0x2193,
    // 0xB0
    0x00B0,
    0x00B1,
    0x2033,
    0x2265,
    0x00D7,
    0x221D,
    0x2202,
    0x2022,
    0x00F7,
    0x2260,
    0x2261,
    0x2248,
    0x2026,
    0x23D0,
    0x23AF,
    0x21B5,
    // 0xC0
    0x2135,
    0x2111,
    0x211C,
    0x2118,
    0x2297,
    0x2295,
    0x2205,
    0x2229,
    0x222A,
    0x2283,
    0x2287,
    0x2284,
    0x2282,
    0x2286,
    0x2208,
    0x2209,
    // 0xD0
    0x2220,
    0x2207,
    0x00AE,
    0x00A9,
    0x2122,
    0x220F,
    0x221A,
    0x22C5,
    0x00AC,
    0x2227,
    0x2228,
    0x21D4,
    0x21D0,
    0x21D1,
    0x21D2,
    0x21D3,
    // 0xE0
    0x25CA,
    0x2329,
    0x00AE,
    0x00A9,
    0x2122,
    0x2211,
    0x239B,
    0x239C,
    0x239D,
    0x23A1,
    0x23A2,
    0x23A3,
    0x23A7,
    0x23A8,
    0x23A9,
    0x23AA,
    // 0xF0
    0x0020,
    0x232A,
    0x222B,
    0x2320,
    0x23AE,
    0x2321,
    0x239E,
    0x239F,
    0x23A0,
    0x23A4,
    0x23A5,
    0x23A6,
    0x23AB,
    0x23AC,
    0x23AD,
    0x0020,
};

// What the bytes 0x20..0xFF of the Wingdings face show, as near as common fonts have it
// (pictographs without a close character get a similar shape).
constexpr char16_t wingdingsTable[224] = {
    // 0x20
    0x0020,
    0x270F,
    0x2702,
    0x2701,
    0x25CE,
    0x2407,
    0x25A4,
    0x2742,
    0x260E,
    0x2706,
    0x2709,
    0x2709,
    0x2709,
    0x2709,
    0x2709,
    0x2709,
    // 0x30
    0x25A5,
    0x25A5,
    0x25A1,
    0x25A1,
    0x25A1,
    0x25A6,
    0x231B,
    0x2328,
    0x2707,
    0x2707,
    0x25A3,
    0x25A3,
    0x25A3,
    0x25A3,
    0x2707,
    0x270D,
    // 0x40
    0x270D,
    0x270C,
    0x270B,
    0x261D,
    0x261F,
    0x261C,
    0x261E,
    0x261D,
    0x261F,
    0x270B,
    0x263A,
    0x25CB,
    0x2639,
    0x25CF,
    0x2620,
    0x2691,
    0x2690,
    0x2708,
    0x263C,
    0x25C9,
    0x2744,
    0x271D,
    0x271E,
    0x271F,
    0x2720,
    0x2721,
    0x262A,
    0x262F,
    0x262C,
    0x2638,
    // 0x5E: the zodiac
    0x2648,
    0x2649,
    0x264A,
    0x264B,
    0x264C,
    0x264D,
    0x264E,
    0x264F,
    0x2650,
    0x2651,
    0x2652,
    0x2653,
    0x0026,
    0x0026,
    0x25CF,
    0x274D,
    0x25A0,
    0x25A1,
    0x25FB,
    0x2751,
    0x2752,
    0x2B27,
    0x29EB,
    0x25C6,
    0x2756,
    0x2B25,
    0x2327,
    0x2353,
    0x2318,
    0x2740,
    0x273F,
    0x201C,
    0x201D,
    0x25AF,
    // 0x80: circled digits
    0x24EA,
    0x2460,
    0x2461,
    0x2462,
    0x2463,
    0x2464,
    0x2465,
    0x2466,
    0x2467,
    0x2468,
    0x2469,
    0x24FF,
    0x2776,
    0x2777,
    0x2778,
    0x2779,
    0x277A,
    0x277B,
    0x277C,
    0x277D,
    0x277E,
    0x277F,
    0x2619,
    0x2767,
    0x2619,
    0x2767,
    0x2619,
    0x2767,
    0x2619,
    0x2767,
    0x00B7,
    0x2022,
    // 0xA0
    0x25AA,
    0x25CB,
    0x25EF,
    0x25C9,
    0x25C9,
    0x25CE,
    0x25CC,
    0x25AA,
    0x25FB,
    0x25B2,
    0x2726,
    0x2605,
    0x2736,
    0x2734,
    0x2739,
    0x2735,
    0x2316,
    0x2316,
    0x27E1,
    0x2311,
    0x2BD1,
    0x272A,
    0x2730,
    0x25F7,
    0x25F7,
    0x25F7,
    0x25F6,
    0x25F6,
    0x25F6,
    0x25F5,
    0x25F5,
    0x25F5,
    // 0xC0
    0x25F4,
    0x25F4,
    0x25F4,
    0x2936,
    0x2937,
    0x2934,
    0x2935,
    0x21B6,
    0x21B7,
    0x21B6,
    0x21B7,
    0x21AB,
    0x21AC,
    0x21AB,
    0x21AC,
    0x21A9,
    0x21AA,
    0x21A9,
    0x21AA,
    0x21A4,
    0x21A6,
    0x232B,
    0x2326,
    0x25C0,
    0x27A2,
    0x25B2,
    0x25BC,
    0x25C0,
    0x25B6,
    0x25B2,
    0x25BC,
    0x2190,
    // 0xE0
    0x2192,
    0x2191,
    0x2193,
    0x2196,
    0x2197,
    0x2199,
    0x2198,
    0x2190,
    0x2192,
    0x2191,
    0x2193,
    0x2196,
    0x2197,
    0x2199,
    0x2198,
    0x21E6,
    0x21E8,
    0x21E7,
    0x21E9,
    0x2B04,
    0x21F3,
    0x2B00,
    0x2B01,
    0x2B03,
    0x2B02,
    0x25AD,
    0x25AB,
    0x2717,
    0x2713,
    0x2612,
    0x2611,
    0x229E,
};
static_assert(sizeof(wingdingsTable) / sizeof(wingdingsTable[0]) == 224);

bool isPictographFace(const QString &face)
{
    const QString f = face.toLower();
    return f.startsWith(u"wingdings") || f.startsWith(u"webdings") || f == u"marlett";
}

bool isLeadByte(quint8 charSet, quint8 b)
{
    switch (charSet) {
    case ShiftJis:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case Hangul:
    case Johab:
    case Gb2312:
    case Big5:
        return b >= 0x81 && b <= 0xFE;
    default:
        return false;
    }
}

bool isDoubleByte(quint8 charSet)
{
    return charSet == ShiftJis || charSet == Hangul || charSet == Johab || charSet == Gb2312 ||
           charSet == Big5;
}

} // namespace

const char *encodingName(quint8 charSet)
{
    switch (charSet) {
    case Symbol:
        return "";
    case Mac:
        return "macintosh";
    case ShiftJis:
        return "Shift_JIS";
    case Hangul:
    case Johab:
        return "windows-949";
    case Gb2312:
        return "GBK";
    case Big5:
        return "Big5";
    case Greek:
        return "windows-1253";
    case Turkish:
        return "windows-1254";
    case Vietnamese:
        return "windows-1258";
    case Hebrew:
        return "windows-1255";
    case Arabic:
        return "windows-1256";
    case Baltic:
        return "windows-1257";
    case Russian:
        return "windows-1251";
    case Thai:
        return "windows-874";
    case EastEurope:
        return "windows-1250";
    case Oem:
        return "IBM437";
    default:
        return "windows-1252";
    }
}

QString decodeText(QByteArrayView bytes, quint8 charSet, const QString &face,
                   QList<int> *byteCounts)
{
    QString text;
    QList<int> counts;
    const bool symbolFace = face.compare(u"Symbol", Qt::CaseInsensitive) == 0 ||
                            face.endsWith(u" Symbol", Qt::CaseInsensitive);
    if (face.compare(u"Wingdings", Qt::CaseInsensitive) == 0) {
        for (char c : bytes) {
            const quint8 b = quint8(c);
            text += QChar(b < 0x20 ? char16_t(0x20) : wingdingsTable[b - 0x20]);
            counts.append(1);
        }
    } else if (isPictographFace(face)) {
        // Pictograph faces: no installed font shows them; keep their private-use code points.
        for (char c : bytes) {
            text += QChar(char16_t(0xF000 + quint8(c)));
            counts.append(1);
        }
    } else if (charSet == Symbol || symbolFace) {
        for (char c : bytes) {
            const quint8 b = quint8(c);
            text += QChar(b < 0x20 ? char16_t(0x20) : symbolTable[b - 0x20]);
            counts.append(1);
        }
    } else {
        QStringDecoder decoder(encodingName(charSet));
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Latin1);
        if (isDoubleByte(charSet)) {
            // Decode character by character so each knows its bytes (the spacing array
            // holds one entry a byte).
            for (qsizetype i = 0; i < bytes.size();) {
                const int n =
                    (isLeadByte(charSet, quint8(bytes[i])) && i + 1 < bytes.size()) ? 2 : 1;
                QStringDecoder one(encodingName(charSet));
                QString piece = one.isValid() ? one.decode(bytes.sliced(i, n))
                                              : QString::fromLatin1(bytes.sliced(i, n));
                if (piece.isEmpty())
                    piece = QString(QChar(0xFFFD));
                for (qsizetype k = 0; k < piece.size(); ++k)
                    counts.append(k == 0 ? n : 0);
                text += piece;
                i += n;
            }
        } else {
            text = decoder.decode(bytes);
            if (text.size() == bytes.size())
                counts.fill(1, bytes.size());
        }
    }
    if (byteCounts)
        *byteCounts = counts;
    return text;
}

QString familyFor(const QString &face, quint8 charSet, quint8 pitchAndFamily)
{
    static QMutex mutex;
    static QHash<QString, QString> cache;
    static QStringList installed;
    const QString key = face + QChar(u'\x1f') + QString::number(charSet) + QChar(u'\x1f') +
                        QString::number(pitchAndFamily);
    // Fonts need a QGuiApplication; without one there is no text to draw.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return {};
    QMutexLocker lock(&mutex);
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    if (installed.isEmpty())
        installed = QFontDatabase::families();

    auto find = [&](std::initializer_list<const char16_t *> names) -> QString {
        for (const char16_t *n : names) {
            const QString name = QString::fromUtf16(n);
            for (const QString &f : installed)
                if (f.compare(name, Qt::CaseInsensitive) == 0)
                    return f;
        }
        return {};
    };
    const QString sans = find({u"Liberation Sans", u"Arimo", u"Nimbus Sans", u"DejaVu Sans"});
    const QString serif = find({u"Liberation Serif", u"Tinos", u"Nimbus Roman", u"DejaVu Serif"});
    const QString mono =
        find({u"Liberation Mono", u"Cousine", u"Nimbus Mono PS", u"DejaVu Sans Mono"});
    const QString mingTw = find({u"AR PL UMing TW", u"AR PL UMing HK", u"Droid Sans Fallback"});
    const QString mingCn = find({u"AR PL UMing CN", u"AR PL UMing TW", u"Droid Sans Fallback"});
    const QString kaiTw = find({u"AR PL UKai TW", u"AR PL UKai HK", u"AR PL UMing TW"});
    const QString kaiCn = find({u"AR PL UKai CN", u"AR PL UKai TW", u"AR PL UMing CN"});
    const QString cjk = find({u"Droid Sans Fallback", u"AR PL UMing TW"});

    QString result;
    const QString lower = face.trimmed().toLower();
    for (const QString &f : installed) {
        if (f.compare(face.trimmed(), Qt::CaseInsensitive) == 0 && !lower.isEmpty()) {
            result = f;
            break;
        }
    }
    auto has = [&](std::initializer_list<const char16_t *> names) {
        for (const char16_t *n : names)
            if (lower.contains(QString::fromUtf16(n)))
                return true;
        return false;
    };
    if (result.isEmpty()) {
        if (has({u"楷", u"kai"}))
            result = charSet == Gb2312 ? kaiCn : kaiTw;
        else if (has({u"明", u"ming", u"宋", u"song", u"sun", u"細", u"细"}))
            result = charSet == Gb2312 ? mingCn : mingTw;
        else if (charSet == Big5)
            result = mingTw;
        else if (charSet == Gb2312)
            result = mingCn;
        else if (charSet == ShiftJis || charSet == Hangul || charSet == Johab)
            result = cjk;
        else if (has({u"courier", u"mono", u"console", u"consolas", u"fixedsys", u"terminal",
                      u"typewriter"}))
            result = mono;
        else if (has({u"times", u"roman", u"serif", u"georgia", u"garamond", u"bookman", u"cambria",
                      u"century", u"palatino", u"euclid", u"symbol", u"mt extra", u"math"}) &&
                 !has({u"sans"}))
            result = serif;
        else if (has({u"arial", u"helvetica", u"swiss", u"tahoma", u"verdana", u"sans", u"system",
                      u"calibri", u"segoe", u"gothic", u"trebuchet", u"univers"}))
            result = sans;
        else {
            const int family = pitchAndFamily >> 4;
            const int pitch = pitchAndFamily & 0x03;
            if (family == 3 || pitch == 1)
                result = mono;
            else if (family == 1)
                result = serif;
            else
                result = sans;
        }
    }
    if (result.isEmpty())
        result = installed.isEmpty() ? QString() : installed.first();
    cache.insert(key, result);
    return result;
}

} // namespace wmf
