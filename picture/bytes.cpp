#include "bytes.h"

#include <limits>

namespace picture {

std::optional<DibHeader> readDibHeader(QByteArrayView data, qsizetype at)
{
    const Bytes f{data};
    if (!f.has(at, 12))
        return {};
    DibHeader h;
    h.size = f.le32(at);
    if (h.size == 12) { // unsigned 16-bit sizes
        h.width = f.le16(at + 4);
        h.height = f.le16(at + 6);
        h.planes = int(f.le16(at + 8));
        h.bits = int(f.le16(at + 10));
        return h;
    }
    if ((h.size != 16 && (h.size < 40 || h.size > 1024)) || !f.has(at, h.size))
        return {};
    h.width = qint32(f.le32(at + 4));
    const qint32 height = qint32(f.le32(at + 8));
    if (height == std::numeric_limits<qint32>::min()) // no row count has its magnitude
        return {};
    h.height = height;
    h.planes = int(f.le16(at + 12));
    h.bits = int(f.le16(at + 14));
    if (h.size >= 40) {
        h.compression = f.le32(at + 16);
        h.colorsUsed = f.le32(at + 32);
    }
    return h;
}

} // namespace picture
