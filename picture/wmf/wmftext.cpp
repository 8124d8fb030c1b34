// Character sets and font faces of metafile text.
#include "wmftext.h"

#include "picture/bytes.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QRawFont>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cmath>

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

// Sixteen values a line, each line headed by its first byte.
// clang-format off

// What the bytes 0x20..0xFF of the Symbol face show. Its phi (0x66) has the straight stroke, its
// phi1 (0x6A) the loop: Unicode's phi symbol and small phi as drawn since Unicode 3.0.
constexpr char16_t symbolTable[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03D5, 0x03B3, 0x03B7, 0x03B9, 0x03C6, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0020,
    // 0x80: unused
    0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
    // 0x90: unused
    0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, 0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,
    // 0xF0
    0x0020, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, 0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0x0020,
};

// What the bytes 0x20..0xFF of the Wingdings face show: the characters its pictographs took in
// Unicode (most beyond the first plane), all drawn by a font the set-up installs. The Windows
// flag at 0xFF has none and shows a squared plus; 0x7F, a code no chart shows, an upright box.
constexpr char32_t wingdingsTable[224] = {
    // 0x20
    0x0020, 0x1F589, 0x2702, 0x2701, 0x1F453, 0x1F514, 0x1F56E, 0x1F56F, 0x1F57F, 0x2706, 0x1F582, 0x1F583, 0x1F4EA, 0x1F4EB, 0x1F4EC, 0x1F4ED,
    // 0x30
    0x1F5C0, 0x1F5C1, 0x1F5CE, 0x1F5CF, 0x1F5D0, 0x1F5C4, 0x231B, 0x1F5AE, 0x1F5B0, 0x1F5B2, 0x1F5B3, 0x1F5B4, 0x1F5AB, 0x1F5AC, 0x2707, 0x270D,
    // 0x40
    0x1F58E, 0x270C, 0x1F44C, 0x1F44D, 0x1F44E, 0x261C, 0x261E, 0x261D, 0x261F, 0x1F590, 0x263A, 0x1F610, 0x2639, 0x1F4A3, 0x2620, 0x1F3F3,
    // 0x50 (0x5E on: the zodiac)
    0x1F3F1, 0x2708, 0x263C, 0x1F4A7, 0x2744, 0x1F546, 0x271E, 0x1F548, 0x2720, 0x2721, 0x262A, 0x262F, 0x1F549, 0x2638, 0x2648, 0x2649,
    // 0x60
    0x264A, 0x264B, 0x264C, 0x264D, 0x264E, 0x264F, 0x2650, 0x2651, 0x2652, 0x2653, 0x1F670, 0x1F675, 0x25CF, 0x1F53E, 0x25A0, 0x25A1,
    // 0x70
    0x1F790, 0x2751, 0x2752, 0x2B27, 0x29EB, 0x25C6, 0x2756, 0x2B25, 0x2327, 0x2BB9, 0x2318, 0x1F3F5, 0x1F3F6, 0x1F676, 0x1F677, 0x25AF,
    // 0x80: circled digits
    0x24EA, 0x2460, 0x2461, 0x2462, 0x2463, 0x2464, 0x2465, 0x2466, 0x2467, 0x2468, 0x2469, 0x24FF, 0x2776, 0x2777, 0x2778, 0x2779,
    // 0x90 (0x96 on: buds and vine leaves)
    0x277A, 0x277B, 0x277C, 0x277D, 0x277E, 0x277F, 0x1F662, 0x1F660, 0x1F661, 0x1F663, 0x1F65E, 0x1F65C, 0x1F65D, 0x1F65F, 0x00B7, 0x2022,
    // 0xA0
    0x25AA, 0x25CB, 0x1F786, 0x1F788, 0x25C9, 0x25CE, 0x1F53F, 0x25AA, 0x25FB, 0x1F7C2, 0x2726, 0x2605, 0x2736, 0x2734, 0x2739, 0x2735,
    // 0xB0 (0xB7 on: clock faces, one to twelve o'clock)
    0x2BD0, 0x2316, 0x27E1, 0x2311, 0x2BD1, 0x272A, 0x2730, 0x1F550, 0x1F551, 0x1F552, 0x1F553, 0x1F554, 0x1F555, 0x1F556, 0x1F557, 0x1F558,
    // 0xC0 (0xC3 on: ribbon arrows, then leaf ornaments)
    0x1F559, 0x1F55A, 0x1F55B, 0x2BB0, 0x2BB1, 0x2BB2, 0x2BB3, 0x2BB4, 0x2BB5, 0x2BB6, 0x2BB7, 0x1F66A, 0x1F66B, 0x1F655, 0x1F654, 0x1F657,
    // 0xD0
    0x1F656, 0x1F650, 0x1F651, 0x1F652, 0x1F653, 0x232B, 0x2326, 0x2B98, 0x2B9A, 0x2B99, 0x2B9B, 0x2B88, 0x2B8A, 0x2B89, 0x2B8B, 0x1F868,
    // 0xE0
    0x1F86A, 0x1F869, 0x1F86B, 0x1F86C, 0x1F86D, 0x1F86F, 0x1F86E, 0x1F878, 0x1F87A, 0x1F879, 0x1F87B, 0x1F87C, 0x1F87D, 0x1F87F, 0x1F87E, 0x21E6,
    // 0xF0
    0x21E8, 0x21E7, 0x21E9, 0x2B04, 0x21F3, 0x2B00, 0x2B01, 0x2B03, 0x2B02, 0x1F8AC, 0x1F8AD, 0x1F5F6, 0x2713, 0x1F5F7, 0x1F5F9, 0x229E,
};
static_assert(sizeof(wingdingsTable) / sizeof(wingdingsTable[0]) == 224);

// Wingdings 2, Wingdings 3 and Webdings, 0x20..0xFF, likewise.
constexpr char32_t wingdings2Table[224] = {
    // 0x20
    0x0020, 0x1F58A, 0x1F58B, 0x1F58C, 0x1F58D, 0x2704, 0x2700, 0x1F57E, 0x1F57D, 0x1F5C5, 0x1F5C6, 0x1F5C7, 0x1F5C8, 0x1F5C9, 0x1F5CA, 0x1F5CB,
    // 0x30
    0x1F5CC, 0x1F5CD, 0x1F4CB, 0x1F5D1, 0x1F5D4, 0x1F5B5, 0x1F5B6, 0x1F5B7, 0x1F5B8, 0x1F5AD, 0x1F5AF, 0x1F5B1, 0x1F592, 0x1F593, 0x1F598, 0x1F599,
    // 0x40
    0x1F59A, 0x1F59B, 0x1F448, 0x1F449, 0x1F59C, 0x1F59D, 0x1F59E, 0x1F59F, 0x1F5A0, 0x1F5A1, 0x1F446, 0x1F447, 0x1F5A2, 0x1F5A3, 0x1F591, 0x1F5F4,
    // 0x50
    0x1F5F8, 0x1F5F5, 0x2611, 0x2BBD, 0x2612, 0x2BBE, 0x2BBF, 0x1F6C7, 0x29B8, 0x1F671, 0x1F674, 0x1F672, 0x1F673, 0x203D, 0x1F679, 0x1F67A,
    // 0x60
    0x1F67B, 0x1F666, 0x1F664, 0x1F665, 0x1F667, 0x1F65A, 0x1F658, 0x1F659, 0x1F65B, 0x24EA, 0x2460, 0x2461, 0x2462, 0x2463, 0x2464, 0x2465,
    // 0x70
    0x2466, 0x2467, 0x2468, 0x2469, 0x24FF, 0x2776, 0x2777, 0x2778, 0x2779, 0x277A, 0x277B, 0x277C, 0x277D, 0x277E, 0x277F, 0x0020,
    // 0x80
    0x2609, 0x1F315, 0x263D, 0x263E, 0x2E3F, 0x271D, 0x1F547, 0x1F55C, 0x1F55D, 0x1F55E, 0x1F55F, 0x1F560, 0x1F561, 0x1F562, 0x1F563, 0x1F564,
    // 0x90
    0x1F565, 0x1F566, 0x1F567, 0x1F668, 0x1F669, 0x2022, 0x25CF, 0x26AB, 0x2B24, 0x1F785, 0x1F786, 0x1F787, 0x1F788, 0x1F78A, 0x29BF, 0x25FE,
    // 0xA0
    0x25A0, 0x25FC, 0x2B1B, 0x2B1C, 0x1F791, 0x1F792, 0x1F793, 0x1F794, 0x25A3, 0x1F795, 0x1F796, 0x1F797, 0x2B29, 0x2B25, 0x25C6, 0x25C7,
    // 0xB0
    0x1F79A, 0x25C8, 0x1F79B, 0x1F79C, 0x1F79D, 0x2B2A, 0x2B27, 0x29EB, 0x25CA, 0x1F7A0, 0x25D6, 0x25D7, 0x2BCA, 0x2BCB, 0x25FC, 0x2B25,
    // 0xC0
    0x2B1F, 0x2BC2, 0x2B23, 0x2B22, 0x2BC3, 0x2BC4, 0x1F7A1, 0x1F7A2, 0x1F7A3, 0x1F7A4, 0x1F7A5, 0x1F7A6, 0x1F7A7, 0x1F7A8, 0x1F7A9, 0x1F7AA,
    // 0xD0
    0x1F7AB, 0x1F7AC, 0x1F7AD, 0x1F7AE, 0x1F7AF, 0x1F7B0, 0x1F7B1, 0x1F7B2, 0x1F7B3, 0x1F7B4, 0x1F7B5, 0x1F7B6, 0x1F7B7, 0x1F7B8, 0x1F7B9, 0x1F7BA,
    // 0xE0
    0x1F7BB, 0x1F7BC, 0x1F7BD, 0x1F7BE, 0x1F7BF, 0x1F7C0, 0x1F7C2, 0x1F7C4, 0x1F7C6, 0x1F7C9, 0x1F7CA, 0x2736, 0x1F7CC, 0x1F7CE, 0x1F7D0, 0x1F7D2,
    // 0xF0
    0x271B, 0x1F7B4, 0x1F7CF, 0x1F7D3, 0x1F7D4, 0x2734, 0x2735, 0x2739, 0x203B, 0x2042, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
};
constexpr char32_t wingdings3Table[224] = {
    // 0x20
    0x0020, 0x2B60, 0x2B62, 0x2B61, 0x2B63, 0x2B66, 0x2B67, 0x2B69, 0x2B68, 0x2B70, 0x2B72, 0x2B71, 0x2B73, 0x2B76, 0x2B78, 0x21DE,
    // 0x30
    0x21DF, 0x2B64, 0x2B65, 0x2B6A, 0x2B6C, 0x2B6B, 0x2B6D, 0x2B4D, 0x2BA0, 0x2BA1, 0x2BA2, 0x2BA3, 0x2BA4, 0x2BA5, 0x2BA6, 0x2BA7,
    // 0x40
    0x2B90, 0x2B91, 0x2B92, 0x2B93, 0x2B80, 0x2B83, 0x2B7E, 0x2B7F, 0x2B84, 0x2B86, 0x2B85, 0x2B87, 0x2B8F, 0x2B8D, 0x2B8E, 0x2B8C,
    // 0x50
    0x2B6E, 0x2B6F, 0x238B, 0x2324, 0x2303, 0x2325, 0x2423, 0x237D, 0x21EA, 0x2BB8, 0x1F8A0, 0x1F8A1, 0x1F8A2, 0x1F8A3, 0x1F8A4, 0x1F8A5,
    // 0x60
    0x1F8A6, 0x1F8A7, 0x1F8A8, 0x1F8A9, 0x1F8AA, 0x1F8AB, 0x2190, 0x2192, 0x2191, 0x2193, 0x2196, 0x2197, 0x2199, 0x2198, 0x1F858, 0x1F859,
    // 0x70
    0x25B2, 0x25BC, 0x25B3, 0x25BD, 0x25C4, 0x25BA, 0x25C1, 0x25B7, 0x25E3, 0x25E2, 0x25E4, 0x25E5, 0x1F780, 0x1F782, 0x1F781, 0x0020,
    // 0x80
    0x1F783, 0x2BC5, 0x2BC6, 0x2BC7, 0x2BC8, 0x2B9C, 0x2B9E, 0x2B9D, 0x2B9F, 0x1F810, 0x1F812, 0x1F811, 0x1F813, 0x1F814, 0x1F816, 0x1F815,
    // 0x90
    0x1F817, 0x1F818, 0x1F81A, 0x1F819, 0x1F81B, 0x1F81C, 0x1F81E, 0x1F81D, 0x1F81F, 0x1F800, 0x1F802, 0x1F801, 0x1F803, 0x1F804, 0x1F806, 0x1F805,
    // 0xA0
    0x1F807, 0x1F808, 0x1F80A, 0x1F809, 0x1F80B, 0x1F820, 0x1F822, 0x1F824, 0x1F826, 0x1F828, 0x1F82A, 0x1F82C, 0x1F89C, 0x1F89D, 0x1F89E, 0x1F89F,
    // 0xB0
    0x1F82E, 0x1F830, 0x1F832, 0x1F834, 0x1F836, 0x1F838, 0x1F83A, 0x1F839, 0x1F83B, 0x1F898, 0x1F89A, 0x1F899, 0x1F89B, 0x1F83C, 0x1F83E, 0x1F83D,
    // 0xC0
    0x1F83F, 0x1F840, 0x1F842, 0x1F841, 0x1F843, 0x1F844, 0x1F846, 0x1F845, 0x1F847, 0x2BA8, 0x2BA9, 0x2BAA, 0x2BAB, 0x2BAC, 0x2BAD, 0x2BAE,
    // 0xD0
    0x2BAF, 0x1F860, 0x1F862, 0x1F861, 0x1F863, 0x1F864, 0x1F865, 0x1F867, 0x1F866, 0x1F870, 0x1F872, 0x1F871, 0x1F873, 0x1F874, 0x1F875, 0x1F877,
    // 0xE0
    0x1F876, 0x1F880, 0x1F882, 0x1F881, 0x1F883, 0x1F884, 0x1F885, 0x1F887, 0x1F886, 0x1F890, 0x1F892, 0x1F891, 0x1F893, 0x1F894, 0x1F896, 0x1F895,
    // 0xF0
    0x1F897, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020, 0x0020,
};
constexpr char32_t webdingsTable[224] = {
    // 0x20
    0x0020, 0x1F577, 0x1F578, 0x1F572, 0x1F576, 0x1F3C6, 0x1F396, 0x1F587, 0x1F5E8, 0x1F5E9, 0x1F5F0, 0x1F5F1, 0x1F336, 0x1F397, 0x1F67E, 0x1F67C,
    // 0x30
    0x1F5D5, 0x1F5D6, 0x1F5D7, 0x23F4, 0x23F5, 0x23F6, 0x23F7, 0x23EA, 0x23E9, 0x23EE, 0x23ED, 0x23F8, 0x23F9, 0x23FA, 0x1F5DA, 0x1F5F3,
    // 0x40
    0x1F6E0, 0x1F3D7, 0x1F3D8, 0x1F3D9, 0x1F3DA, 0x1F3DC, 0x1F3ED, 0x1F3DB, 0x1F3E0, 0x1F3D6, 0x1F3DD, 0x1F6E3, 0x1F50D, 0x1F3D4, 0x1F441, 0x1F442,
    // 0x50
    0x1F3DE, 0x1F3D5, 0x1F6E4, 0x1F3DF, 0x1F6F3, 0x1F56C, 0x1F56B, 0x1F568, 0x1F508, 0x1F394, 0x1F395, 0x1F5EC, 0x1F67D, 0x1F5ED, 0x1F5EA, 0x1F5EB,
    // 0x60
    0x2B94, 0x2714, 0x1F6B2, 0x2B1C, 0x1F6E1, 0x1F4E6, 0x1F6F1, 0x2B1B, 0x1F691, 0x1F6C8, 0x1F6E9, 0x1F6F0, 0x1F7C8, 0x1F574, 0x26AB, 0x1F6E5,
    // 0x70
    0x1F694, 0x1F5D8, 0x1F5D9, 0x2753, 0x1F6F2, 0x1F687, 0x1F68D, 0x26F3, 0x1F6C7, 0x2296, 0x1F6AD, 0x1F5EE, 0x007C, 0x1F5EF, 0x1F5F2, 0x0020,
    // 0x80
    0x1F6B9, 0x1F6BA, 0x1F6C9, 0x1F6CA, 0x1F6BC, 0x1F47D, 0x1F3CB, 0x26F7, 0x1F3C2, 0x1F3CC, 0x1F3CA, 0x1F3C4, 0x1F3CD, 0x1F3CE, 0x1F698, 0x1F5E0,
    // 0x90
    0x1F6E2, 0x1F4B0, 0x1F3F7, 0x1F4B3, 0x1F46A, 0x1F5E1, 0x1F5E2, 0x1F5E3, 0x272F, 0x1F584, 0x1F585, 0x1F583, 0x1F586, 0x1F5B9, 0x1F5BA, 0x1F5BB,
    // 0xA0
    0x1F575, 0x1F570, 0x1F5BD, 0x1F5BE, 0x1F4CB, 0x1F5D2, 0x1F5D3, 0x1F4D6, 0x1F4DA, 0x1F5DE, 0x1F5DF, 0x1F5C3, 0x1F5C2, 0x1F5BC, 0x1F3AD, 0x1F39C,
    // 0xB0
    0x1F398, 0x1F399, 0x1F3A7, 0x1F4BF, 0x1F39E, 0x1F4F7, 0x1F39F, 0x1F3AC, 0x1F4FD, 0x1F4F9, 0x1F4FE, 0x1F4FB, 0x1F39A, 0x1F39B, 0x1F4FA, 0x1F4BB,
    // 0xC0
    0x1F5A5, 0x1F5A6, 0x1F5A7, 0x1F579, 0x1F3AE, 0x1F57B, 0x1F57C, 0x1F4DF, 0x1F581, 0x1F580, 0x1F5A8, 0x1F5A9, 0x1F5BF, 0x1F5AA, 0x1F5DC, 0x1F512,
    // 0xD0
    0x1F513, 0x1F5DD, 0x1F4E5, 0x1F4E4, 0x1F573, 0x1F323, 0x1F324, 0x1F325, 0x1F326, 0x2601, 0x1F328, 0x1F327, 0x1F329, 0x1F32A, 0x1F32C, 0x1F32B,
    // 0xE0
    0x1F31C, 0x1F321, 0x1F6CB, 0x1F6CF, 0x1F37D, 0x1F378, 0x1F6CE, 0x1F6CD, 0x24C5, 0x267F, 0x1F6C6, 0x1F588, 0x1F393, 0x1F5E4, 0x1F5E5, 0x1F5E6,
    // 0xF0
    0x1F5E7, 0x1F6EA, 0x1F43F, 0x1F426, 0x1F41F, 0x1F415, 0x1F408, 0x1F66C, 0x1F66E, 0x1F66D, 0x1F66F, 0x1F5FA, 0x1F30D, 0x1F30F, 0x1F30E, 0x1F54A,
};
// clang-format on

// MT Extra, the equation editors' second symbol face: the characters they use it for.
char32_t mtExtra(quint8 b)
{
    switch (b) {
    case 0x3C:
        return 0x22B2; // normal subgroup
    case 0x3E:
        return 0x22B3;
    case 0x4C:
        return 0x22EF; // ellipses: on the axis, upright, rising, falling
    case 0x4D:
        return 0x22EE;
    case 0x4E:
        return 0x22F0;
    case 0x4F:
        return 0x22F1;
    case 0x68:
        return 0x210F; // h-bar
    case 0x6C:
        return 0x2113; // script l
    default:
        return 0x20; // not one we know: nothing rather than a wrong character
    }
}

// The table a symbol-encoded face with its own pictographs uses; null for others.
const char32_t *pictographTable(const QString &face)
{
    const QString f = face.trimmed().toLower();
    if (f == u"wingdings")
        return wingdingsTable;
    if (f == u"wingdings 2")
        return wingdings2Table;
    if (f == u"wingdings 3")
        return wingdings3Table;
    if (f == u"webdings")
        return webdingsTable;
    return nullptr;
}

bool isPictographFace(const QString &face)
{
    const QString f = face.toLower();
    return f.startsWith(u"wingdings") || f.startsWith(u"webdings") || f == u"marlett";
}

void appendCode(QString *text, QList<int> *counts, char32_t c)
{
    const QString s = QString::fromUcs4(&c, 1);
    *text += s;
    for (qsizetype k = 0; k < s.size(); ++k)
        counts->append(k == 0 ? 1 : 0);
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

// The name of the encoding used for a character set, as QStringDecoder knows it; empty for
// the symbol set.
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

} // namespace

QString decodeText(QByteArrayView bytes, quint8 charSet, const QString &face,
                   QList<int> *byteCounts)
{
    QString text;
    QList<int> counts;
    const bool symbolFace = face.compare(u"Symbol", Qt::CaseInsensitive) == 0 ||
                            face.endsWith(u" Symbol", Qt::CaseInsensitive);
    if (const char32_t *table = pictographTable(face)) {
        for (char c : bytes)
            appendCode(&text, &counts, quint8(c) < 0x20 ? 0x20 : table[quint8(c) - 0x20]);
    } else if (face.trimmed().compare(u"MT Extra", Qt::CaseInsensitive) == 0) {
        for (char c : bytes)
            appendCode(&text, &counts, mtExtra(quint8(c)));
    } else if (isPictographFace(face)) {
        // Other pictograph faces (Marlett): no installed font shows them; keep their private-use
        // code points.
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
            QStringDecoder decoder(encodingName(charSet));
            if (!decoder.isValid())
                decoder = QStringDecoder(QStringDecoder::Latin1);
            text = decoder.decode(bytes);
            if (text.size() == bytes.size())
                counts.fill(1, bytes.size());
        }
    }
    if (byteCounts)
        *byteCounts = counts;
    return text;
}

namespace {

// The kinds of installed face that stand in for a face that is not installed.
enum StandIn { Sans, Serif, Mono, MingTw, MingCn, KaiTw, KaiCn, Cjk, SymbolFace, Math, None };

// For each, the installed families that can stand in, best first. Symbol's stand-ins draw
// its Greek upright (asked for in italic, they slant): first its metric clone, whose glyphs
// are as tall and wide as Symbol's; MT Extra's has Unicode's mathematical characters.
constexpr std::array<std::array<const char16_t *, 4>, None> StandIns = {{
    {u"Liberation Sans", u"Arimo", u"Nimbus Sans", u"DejaVu Sans"},
    {u"Liberation Serif", u"Tinos", u"Nimbus Roman", u"DejaVu Serif"},
    {u"Liberation Mono", u"Cousine", u"Nimbus Mono PS", u"DejaVu Sans Mono"},
    {u"AR PL UMing TW", u"AR PL UMing HK", u"Droid Sans Fallback"},
    {u"AR PL UMing CN", u"AR PL UMing TW", u"Droid Sans Fallback"},
    {u"AR PL UKai TW", u"AR PL UKai HK", u"AR PL UMing TW"},
    {u"AR PL UKai CN", u"AR PL UKai TW", u"AR PL UMing CN"},
    {u"Droid Sans Fallback", u"AR PL UMing TW"},
    {u"Standard Symbols PS", u"OpenSymbol"},
    {u"OpenSymbol"},
}};

// How a face that is not installed finds its stand-in: the first rule that fits the face's
// name (it holds one of the words, "|" between them, and none of `unless`; or with `whole`
// the words are the whole name or its last word), or the text's character set, and whose
// stand-in is installed. Text in GB2312 takes the simplified forms.
struct Rule
{
    const char16_t *words; // none: the character set decides
    const char16_t *unless;
    bool whole;
    int charSet; // -1: any
    StandIn standIn, forGb2312;
};

constexpr Rule Rules[] = {
    {u"楷|kai", nullptr, false, -1, KaiTw, KaiCn},
    {u"明|ming|宋|song|sun|細|细", nullptr, false, -1, MingTw, MingCn},
    {nullptr, nullptr, false, Big5, MingTw, MingTw},
    {nullptr, nullptr, false, Gb2312, MingCn, MingCn},
    {nullptr, nullptr, false, ShiftJis, Cjk, Cjk},
    {nullptr, nullptr, false, Hangul, Cjk, Cjk},
    {nullptr, nullptr, false, Johab, Cjk, Cjk},
    {u"courier|mono|console|consolas|fixedsys|terminal|typewriter", nullptr, false, -1, Mono, Mono},
    {u"symbol", nullptr, true, -1, SymbolFace, SymbolFace},
    {u"mt extra", nullptr, true, -1, Math, Math},
    {u"times|roman|serif|georgia|garamond|bookman|cambria|century|palatino|euclid|symbol|mt "
     u"extra|math",
     u"sans", false, -1, Serif, Serif},
    {u"arial|helvetica|swiss|tahoma|verdana|sans|system|calibri|segoe|gothic|trebuchet|univers",
     nullptr, false, -1, Sans, Sans},
};

// A family installed by two foundries is listed twice, each name with its foundry after it in
// brackets ("Standard Symbols PS [urw]"); the name alone picks the platform's choice.
QString bare(const QString &family)
{
    const qsizetype bracket = family.lastIndexOf(u" [");
    return bracket > 0 && family.endsWith(u']') ? family.left(bracket) : family;
}

// The first of names installed, as the platform names it; empty for none.
QString installedOf(const QStringList &installed, const QString &name)
{
    for (const QString &f : installed)
        if (bare(f).compare(name, Qt::CaseInsensitive) == 0)
            return bare(f);
    return {};
}

QString standInFor(const QStringList &installed, StandIn standIn)
{
    for (const char16_t *name : StandIns[standIn])
        if (QString found = name ? installedOf(installed, QString::fromUtf16(name)) : QString();
            !found.isEmpty())
            return found;
    return {};
}

bool fits(const Rule &rule, const QString &lower, quint8 charSet)
{
    if (!rule.words)
        return rule.charSet == charSet;
    const auto holds = [&](const char16_t *words) {
        const QStringList list = QString::fromUtf16(words).split(u'|');
        return std::any_of(list.begin(), list.end(), [&](const QString &w) {
            return rule.whole ? lower == w || lower.endsWith(u' ' + w) : lower.contains(w);
        });
    };
    return holds(rule.words) && !(rule.unless && holds(rule.unless));
}

QString chooseFamily(const QStringList &installed, const QString &face, quint8 charSet,
                     quint8 pitchAndFamily)
{
    const QString lower = face.trimmed().toLower();
    if (!lower.isEmpty())
        if (QString own = installedOf(installed, face.trimmed()); !own.isEmpty())
            return own;
    for (const Rule &rule : Rules) {
        if (!fits(rule, lower, charSet))
            continue;
        QString found = standInFor(installed, charSet == Gb2312 ? rule.forGb2312 : rule.standIn);
        if (!found.isEmpty())
            return found;
    }
    const int family = pitchAndFamily >> 4, pitch = pitchAndFamily & 0x03;
    const StandIn last = family == 3 || pitch == 1 ? Mono : family == 1 ? Serif : Sans;
    QString found = standInFor(installed, last);
    return !found.isEmpty() || installed.isEmpty() ? found : installed.first();
}

} // namespace

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
    QString result = chooseFamily(installed, face, charSet, pitchAndFamily);
    cache.insert(key, result);
    return result;
}

namespace {

// How often English text has each lower-case letter and the space, per thousand characters:
// the weights of the platform's average character width.
constexpr int letterWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                   56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};

qint16 tableWord(const QByteArray &table, qsizetype at)
{
    const picture::Bytes t{table};
    return t.has(at, 2) ? qint16(t.be16(at)) : 0;
}

// The platform's average character width, in ems: the lower-case letters and the space
// weighted by how often they come; 0 when the face lacks one of them.
qreal weightedAverage(const QRawFont &raw)
{
    qreal sum = 0;
    for (int i = 0; i < 27; ++i) {
        const QChar c = i < 26 ? QChar(char16_t(u'a' + i)) : QChar(u' ');
        quint32 glyph = 0;
        int count = 1;
        QPointF advance;
        if (!raw.supportsCharacter(c) || !raw.glyphIndexesForChars(&c, 1, &glyph, &count) ||
            count != 1 ||
            !raw.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics))
            return 0;
        sum += letterWeights[i] * advance.x();
    }
    return sum > 0 ? sum / 1000 / raw.pixelSize() : 0;
}

// The face's own bars, when its tables give them: the top of its underline and of its
// strikeout, and their thickness, in ems.
void tableBars(const QRawFont &raw, qreal units, FaceMetrics *m)
{
    const QByteArray post = raw.fontTable("post");
    if (const qint16 thickness = tableWord(post, 10); thickness > 0) {
        m->underlineTop = -tableWord(post, 8) / units;
        m->underlineThickness = thickness / units;
    }
    const QByteArray os2 = raw.fontTable("OS/2");
    if (const qint16 size = tableWord(os2, 26); size > 0) {
        m->strikeOutTop = tableWord(os2, 28) / units;
        m->strikeOutThickness = size / units;
    }
}

FaceMetrics measure(const QString &family, int weight, bool italic)
{
    FaceMetrics m;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || family.isEmpty())
        return m;
    constexpr qreal em = 1000;
    QFont font(family);
    font.setWeight(QFont::Weight(std::clamp(weight, 1, 1000)));
    font.setItalic(italic);
    font.setPixelSize(int(em));
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF fm(font);
    const QRawFont raw = QRawFont::fromFont(font);
    if (fm.averageCharWidth() > 0)
        m.averageWidth = fm.averageCharWidth() / em;
    m.underlineTop = fm.underlinePos() / em;
    m.underlineThickness = m.strikeOutThickness = fm.lineWidth() / em;
    m.strikeOutTop = (fm.strikeOutPos() + fm.lineWidth() / 2) / em;
    if (!raw.isValid() || raw.unitsPerEm() <= 0)
        return m;
    const qreal units = raw.unitsPerEm();

    // A symbol face has letters at the letters' codes only as stand-ins for its own characters.
    const bool symbolFace = QFontDatabase::writingSystems(family).contains(QFontDatabase::Symbol);
    m.symbolEncoded = symbolFace && raw.supportsCharacter(u'a') &&
                      !raw.supportsCharacter(uint(0x03B1)); // Symbol's 'a' is alpha
    if (m.symbolEncoded)
        if (const QString open =
                installedOf(QFontDatabase::families(), QStringLiteral("OpenSymbol"));
            !open.isEmpty())
            m.fallbacks.append(open);
    if (!symbolFace)
        if (const qreal average = weightedAverage(raw); average > 0)
            m.averageWidth = average;
    tableBars(raw, units, &m);
    // Nothing a real face has: keep text readable whatever the tables say.
    if (!(m.averageWidth > 0.02 && m.averageWidth < 4))
        m.averageWidth = 0.5;
    m.underlineTop = std::clamp(m.underlineTop, -1.0, 1.0);
    m.strikeOutTop = std::clamp(m.strikeOutTop, -1.0, 1.0);
    m.underlineThickness = std::clamp(m.underlineThickness, 0.0, 0.5);
    m.strikeOutThickness = std::clamp(m.strikeOutThickness, 0.0, 0.5);
    return m;
}

} // namespace

FaceMetrics faceMetrics(const QString &family, int weight, bool italic)
{
    static QMutex mutex;
    static QHash<QString, FaceMetrics> cache;
    const QString key =
        family + QChar(u'\x1f') + QString::number(weight) + QChar(italic ? u'i' : u'r');
    {
        QMutexLocker lock(&mutex);
        if (auto it = cache.constFind(key); it != cache.constEnd())
            return *it;
    }
    FaceMetrics m = measure(family, weight, italic);
    QMutexLocker lock(&mutex);
    cache.insert(key, m);
    return m;
}

bool hasBoldStyle(const QString &family)
{
    static QMutex mutex;
    static QHash<QString, bool> cache;
    QMutexLocker lock(&mutex);
    if (auto it = cache.constFind(family); it != cache.constEnd())
        return *it;
    bool bold = false;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        const QStringList styles = QFontDatabase::styles(family);
        bold = std::any_of(styles.begin(), styles.end(), [&](const QString &style) {
            return QFontDatabase::weight(family, style) >= 600;
        });
    }
    cache.insert(family, bold);
    return bold;
}

QString toSymbolEncoding(const QString &text)
{
    static const QHash<char16_t, char16_t> bytes = [] {
        QHash<char16_t, char16_t> h;
        for (int i = 223; i >= 0; --i) // where two bytes show one character, the first
            h.insert(symbolTable[i], char16_t(0x20 + i));
        return h;
    }();
    QString out = text;
    for (QChar &c : out)
        c = QChar(bytes.value(c.unicode(), c.unicode()));
    return out;
}

} // namespace wmf
