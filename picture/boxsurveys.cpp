// The walks over the kinds made of boxes, as ISO's media files are: HEIF (HEIC) and AVIF, the
// size of the primary item or the first track and whether its data is there; and JPEG XL, whose
// size header lies at the start of its codestream, bare or inside boxes.
#include "surveys.h"

#include "loading/kinds.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <optional>

namespace picture {

namespace {

constexpr quint32 fourCc(const char (&code)[5])
{
    return quint32(uchar(code[0])) << 24 | quint32(uchar(code[1])) << 16 |
           quint32(uchar(code[2])) << 8 | quint32(uchar(code[3]));
}

quint64 be64(const Bytes &f, qint64 at) { return quint64(f.be32(at)) << 32 | f.be32(at + 4); }

// An unsigned field of 0, 2, 4 or 8 bytes, as the sizes in an item's locations are given.
quint64 beN(const Bytes &f, qint64 at, int bytes)
{
    return bytes == 8 ? be64(f, at) : bytes == 4 ? f.be32(at) : bytes == 2 ? f.be16(at) : 0;
}

// A box: its type, where its contents start and where it ends as its header says (which may be
// past the end of the data in a cut file, never past the end of the box holding it).
struct Box
{
    quint32 type = 0;
    qint64 body = 0, end = 0;
};

// The boxes one after another in [at, end). A box whose header is cut ends the walk; one that
// says it is smaller than its header or larger than what holds it is damage.
struct Boxes
{
    const Bytes &f;
    qint64 at, end;
    bool damaged = false;

    std::optional<Box> next()
    {
        if (at >= end || !f.has(at, 8))
            return {};
        quint64 size = f.be32(at);
        Box box{f.be32(at + 4), at + 8, 0};
        if (size == 1) { // a 64-bit size follows the type
            if (!f.has(at, 16))
                return {};
            size = be64(f, at + 8);
            box.body = at + 16;
        } else if (size == 0) { // to the end of what holds it
            size = quint64(end - at);
        }
        if (size < quint64(box.body - at) || size > quint64(end - at)) {
            damaged = true;
            return {};
        }
        box.end = at + qint64(size);
        at = box.end;
        return box;
    }
};

// The first box of the type among those in [at, end).
std::optional<Box> find(const Bytes &f, qint64 at, qint64 end, quint32 type, bool *damaged)
{
    Boxes boxes{f, at, end};
    while (const std::optional<Box> box = boxes.next())
        if (box->type == type)
            return box;
    *damaged = *damaged || boxes.damaged;
    return {};
}

// The brands of the file type box that starts a file: its major brand, then the others.
QList<quint32> brandsOf(QByteArrayView head)
{
    const Bytes f{head};
    if (!f.has(0, 16) || f.be32(4) != fourCc("ftyp"))
        return {};
    const qint64 end = qMin<qint64>(qMin<qint64>(f.be32(0), head.size()), 16 + 4 * 64);
    QList<quint32> brands = {f.be32(8)};
    for (qint64 at = 16; at + 4 <= end; at += 4)
        brands.append(f.be32(at));
    return brands;
}

bool isAvifBrand(quint32 brand) { return brand == fourCc("avif") || brand == fourCc("avis"); }

// Pictures and sequences of pictures in HEVC, and the brands of HEIF itself.
constexpr quint32 HeifBrands[] = {fourCc("heic"), fourCc("heix"), fourCc("hevc"),
                                  fourCc("heim"), fourCc("heis"), fourCc("hevm"),
                                  fourCc("hevs"), fourCc("mif1"), fourCc("msf1")};

bool isHeifBrand(quint32 brand)
{
    return std::find(std::begin(HeifBrands), std::end(HeifBrands), brand) != std::end(HeifBrands);
}

// A four-character code as a reader may be shown it: its letters when they are letters and
// digits, else its number.
QString codeName(quint32 code)
{
    QString name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xFF);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == ' '))
            return QStringLiteral("0x%1").arg(code, 8, 16, QLatin1Char('0'));
        name += QLatin1Char(c);
    }
    return name.trimmed();
}

// ---- HEIF and AVIF

// What the walk needs of the meta box: the items, their properties and where their data lies.
struct Item
{
    quint32 type = 0;
    QList<int> properties;      // indices into Meta::properties
    QList<quint32> derivedFrom; // the items a grid, overlay or identity is made of
    bool cut = false;           // some of its data lies past the end of the file
};

// No file we read holds more items (a phone's photo holds a hundred or so, a grid at most 256 ×
// 256 tiles), nor more properties than an association can name: more are damage, and each
// costs the walk memory.
constexpr qsizetype MaxItems = 1 << 17, MaxProperties = 1 << 15;

struct Meta
{
    quint32 primary = 0;
    bool hasPrimary = false;
    QHash<quint32, Item> items;
    QList<Box> properties; // ipco's boxes in their order; index 0 stands for none
    bool damaged = false;

    // The item, made when it is new; none past the items a file may hold.
    Item *item(quint32 id)
    {
        if (items.size() >= MaxItems && !items.contains(id)) {
            damaged = true;
            return nullptr;
        }
        return &items[id];
    }
};

// Item information: an infe box of version 2 or 3 names the item's type.
void readItemInfo(const Bytes &f, const Box &iinf, Meta *meta)
{
    if (!f.has(iinf.body, 4))
        return;
    const qint64 first = iinf.body + 4 + (f.u8(iinf.body) == 0 ? 2 : 4);
    Boxes boxes{f, first, iinf.end};
    while (const std::optional<Box> infe = boxes.next()) {
        if (infe->type != fourCc("infe") || !f.has(infe->body, 4))
            continue;
        const uint version = f.u8(infe->body);
        const qint64 at = infe->body + 4;
        Item *item = nullptr;
        if (version == 2 && f.has(at, 8) && at + 8 <= infe->end && (item = meta->item(f.be16(at))))
            item->type = f.be32(at + 4);
        else if (version == 3 && f.has(at, 10) && at + 10 <= infe->end &&
                 (item = meta->item(f.be32(at))))
            item->type = f.be32(at + 6);
    }
    meta->damaged = meta->damaged || boxes.damaged;
}

// Item properties: the property boxes, and which of them each item has.
void readProperties(const Bytes &f, const Box &iprp, Meta *meta)
{
    Boxes inside{f, iprp.body, iprp.end};
    while (const std::optional<Box> box = inside.next()) {
        if (box->type == fourCc("ipco")) {
            meta->properties = {Box{}};
            Boxes properties{f, box->body, box->end};
            while (const std::optional<Box> property = properties.next()) {
                if (meta->properties.size() > MaxProperties) {
                    meta->damaged = true;
                    break;
                }
                meta->properties.append(*property);
            }
            meta->damaged = meta->damaged || properties.damaged;
        } else if (box->type == fourCc("ipma") && f.has(box->body, 8)) {
            const uint version = f.u8(box->body);
            const bool wide = f.be32(box->body) & 1;
            const quint32 entries = f.be32(box->body + 4);
            qint64 at = box->body + 8;
            for (quint32 e = 0; e < entries; ++e) {
                const int idBytes = version < 1 ? 2 : 4;
                if (!f.has(at, idBytes + 1) || at + idBytes + 1 > box->end)
                    break;
                const quint32 id = quint32(beN(f, at, idBytes));
                const uint count = f.u8(at + idBytes);
                at += idBytes + 1;
                const int each = wide ? 2 : 1;
                Item *item = meta->item(id);
                if (!item || !f.has(at, qint64(count) * each) ||
                    at + qint64(count) * each > box->end)
                    break;
                for (uint i = 0; i < count; ++i, at += each)
                    item->properties.append(wide ? int(f.be16(at) & 0x7FFF) : int(f.u8(at) & 0x7F));
            }
        }
    }
    meta->damaged = meta->damaged || inside.damaged;
}

// Item references: the items a derived item (a grid of tiles, an overlay) is made of.
void readReferences(const Bytes &f, const Box &iref, Meta *meta)
{
    if (!f.has(iref.body, 4))
        return;
    const int idBytes = f.u8(iref.body) == 0 ? 2 : 4;
    Boxes boxes{f, iref.body + 4, iref.end};
    while (const std::optional<Box> reference = boxes.next()) {
        if (reference->type != fourCc("dimg") || !f.has(reference->body, 2 * qint64(idBytes)))
            continue;
        Item *from = meta->item(quint32(beN(f, reference->body, idBytes)));
        const qint64 count = f.be16(reference->body + idBytes);
        qint64 at = reference->body + idBytes + 2;
        for (qint64 i = 0; from && from->derivedFrom.size() < MaxItems && i < count &&
                           f.has(at, idBytes) && at + idBytes <= reference->end;
             ++i, at += idBytes)
            from->derivedFrom.append(quint32(beN(f, at, idBytes)));
    }
    meta->damaged = meta->damaged || boxes.damaged;
}

// Item locations: marks the items whose data, stored in the file itself, runs past its end.
// Sizes other than those the box allows are damage.
void readLocations(const Bytes &f, const Box &iloc, Meta *meta)
{
    if (!f.has(iloc.body, 8)) {
        meta->damaged = true;
        return;
    }
    const uint version = f.u8(iloc.body);
    const int offsetBytes = int(f.u8(iloc.body + 4) >> 4), lengthBytes = f.u8(iloc.body + 4) & 15;
    const int baseBytes = int(f.u8(iloc.body + 5) >> 4);
    const int indexBytes = version == 1 || version == 2 ? f.u8(iloc.body + 5) & 15 : 0;
    for (const int bytes : {offsetBytes, lengthBytes, baseBytes, indexBytes})
        if (bytes != 0 && bytes != 4 && bytes != 8) {
            meta->damaged = true;
            return;
        }
    const int idBytes = version < 2 ? 2 : 4;
    qint64 at = iloc.body + 6;
    if (!f.has(at, idBytes))
        return;
    const quint64 count = beN(f, at, idBytes);
    at += idBytes;
    const quint64 fileSize = quint64(f.b.size());
    for (quint64 i = 0; i < count; ++i) {
        const int fixed = idBytes + (version >= 1 ? 2 : 0) + 2 + baseBytes + 2;
        if (!f.has(at, fixed) || at + fixed > iloc.end)
            return;
        const quint32 id = quint32(beN(f, at, idBytes));
        at += idBytes;
        const uint method = version >= 1 ? f.be16(at) & 15 : 0;
        at += version >= 1 ? 2 : 0;
        at += 2; // the data reference: this file
        const quint64 base = beN(f, at, baseBytes);
        at += baseBytes;
        const qint64 extents = f.be16(at);
        at += 2;
        const qint64 each = indexBytes + offsetBytes + lengthBytes;
        if (!f.has(at, extents * each) || at + extents * each > iloc.end)
            return;
        for (qint64 e = 0; e < extents; ++e, at += each) {
            const quint64 offset = beN(f, at + indexBytes, offsetBytes);
            const quint64 length = beN(f, at + indexBytes + offsetBytes, lengthBytes);
            // Data in this file (method 0) that ends past it; a length of 0 runs to its end.
            if (method == 0 &&
                (base > fileSize || offset > fileSize - base || length > fileSize - base - offset))
                if (Item *item = meta->item(id))
                    item->cut = true;
        }
    }
}

Meta readMeta(const Bytes &f, const Box &box)
{
    Meta meta;
    Boxes boxes{f, box.body + 4, box.end}; // a full box: its version and flags first
    while (const std::optional<Box> b = boxes.next()) {
        if (b->type == fourCc("pitm") && f.has(b->body, 6)) {
            meta.hasPrimary = true;
            meta.primary = f.u8(b->body) == 0  ? f.be16(b->body + 4)
                           : f.has(b->body, 8) ? f.be32(b->body + 4)
                                               : 0;
        } else if (b->type == fourCc("iinf")) {
            readItemInfo(f, *b, &meta);
        } else if (b->type == fourCc("iprp")) {
            readProperties(f, *b, &meta);
        } else if (b->type == fourCc("iref")) {
            readReferences(f, *b, &meta);
        } else if (b->type == fourCc("iloc")) {
            readLocations(f, *b, &meta);
        }
    }
    meta.damaged = meta.damaged || boxes.damaged;
    return meta;
}

// The item's property of the type, when it has one whole.
std::optional<Box> propertyOf(const Bytes &f, const Meta &meta, const Item &item, quint32 type,
                              qint64 bytes)
{
    for (const int index : item.properties) {
        if (index <= 0 || index >= meta.properties.size())
            continue;
        const Box &p = meta.properties[index];
        if (p.type == type && f.has(p.body, bytes) && p.body + bytes <= p.end)
            return p;
    }
    return {};
}

// The form an item is coded in, by its type, as the refusal names it; empty for the forms the
// kind's reader decodes.
QString unsupportedCoding(quint32 type, Kind kind)
{
    // HEIC: libheif decodes HEVC, and AV1 too; AVIF: libavif decodes AV1. Both put grids of
    // tiles together; libheif also overlays and identities.
    const bool heic = kind == Kind::Heic;
    if (type == fourCc("av01") || type == fourCc("grid") ||
        (heic && (type == fourCc("hvc1") || type == fourCc("iovl") || type == fourCc("iden"))))
        return {};
    if (type == fourCc("hvc1"))
        return QStringLiteral("HEVC");
    if (type == fourCc("jpeg"))
        return QStringLiteral("JPEG inside");
    if (type == fourCc("avc1"))
        return QStringLiteral("H.264");
    if (type == fourCc("vvc1"))
        return QStringLiteral("H.266");
    if (type == fourCc("j2k1"))
        return QStringLiteral("JPEG 2000");
    if (type == fourCc("unci"))
        return QStringLiteral("uncompressed");
    return QStringLiteral("coding ") + codeName(type);
}

// A track's presentation size, from its header (16.16 fixed point).
QSize trackSize(const Bytes &f, const Box &tkhd)
{
    if (!f.has(tkhd.body, 4))
        return {};
    const qint64 at = tkhd.body + (f.u8(tkhd.body) == 1 ? 88 : 76);
    if (!f.has(at, 8) || at + 8 > tkhd.end)
        return {};
    return QSize(int(f.be32(at) >> 16), int(f.be32(at + 4) >> 16));
}

// The largest size among the tracks of a moov box.
QSize largestTrack(const Bytes &f, const Box &moov, bool *damaged)
{
    QSize largest;
    Boxes traks{f, moov.body, moov.end};
    while (const std::optional<Box> trak = traks.next()) {
        if (trak->type != fourCc("trak"))
            continue;
        if (const std::optional<Box> tkhd = find(f, trak->body, trak->end, fourCc("tkhd"), damaged))
            largest = largest.expandedTo(trackSize(f, *tkhd));
    }
    *damaged = *damaged || traks.damaged;
    return largest;
}

// A size within the limits, or the verdict that it is not.
Survey sized(QSize size, const Limits &limits)
{
    return verdict(withinLimits(size, limits) ? Survey::Fine : Survey::TooLarge, size);
}

Survey surveyItems(const Bytes &f, const Limits &limits, Kind kind)
{
    // The boxes of the file, to its end: a box may say it ends past the data, in a cut file.
    std::optional<Box> meta, moov;
    bool damaged = false;
    Boxes top{f, 0, INT64_MAX / 2};
    while (const std::optional<Box> box = top.next()) {
        if (box->type == fourCc("meta") && !meta)
            meta = box;
        else if (box->type == fourCc("moov") && !moov)
            moov = box;
    }
    if (top.damaged)
        return verdict(Survey::Damaged);
    const bool ranOut = top.at != f.b.size();

    // A sequence without a picture item: its first track, which libavif reads and libheif
    // 1.15 does not.
    const QSize track = moov ? largestTrack(f, *moov, &damaged) : QSize();
    const auto sequence = [&] {
        Survey s = sized(track, limits);
        s.ranOut = ranOut;
        if (kind == Kind::Heic && s.verdict == Survey::Fine) {
            s.verdict = Survey::Unsupported;
            s.variant = QStringLiteral("sequence");
        }
        return s;
    };
    if (!meta) {
        if (track.isEmpty())
            return verdict(ranOut ? Survey::Incomplete : Survey::Damaged, track);
        return sequence();
    }
    const Meta m = readMeta(f, *meta);
    const auto primary = m.items.constFind(m.primary);
    if (!m.hasPrimary || primary == m.items.cend()) {
        if (!track.isEmpty()) // a sequence whose meta box holds no picture
            return sequence();
        return verdict(meta->end > f.b.size() ? Survey::Incomplete : Survey::Damaged);
    }
    const std::optional<Box> ispe = propertyOf(f, m, *primary, fourCc("ispe"), 12);
    if (!ispe)
        return verdict(meta->end > f.b.size() ? Survey::Incomplete : Survey::Damaged);
    const quint32 width = f.be32(ispe->body + 4), height = f.be32(ispe->body + 8);
    QSize size(int(qMin<quint32>(width, INT_MAX)), int(qMin<quint32>(height, INT_MAX)));
    if (const std::optional<Box> irot = propertyOf(f, m, *primary, fourCc("irot"), 1);
        irot && (f.u8(irot->body) & 1))
        size.transpose();
    if (const QString form = unsupportedCoding(primary->type, kind); !form.isEmpty()) {
        Survey s = verdict(Survey::Unsupported, size);
        s.variant = form;
        return s;
    }
    if (size.isEmpty())
        return verdict(Survey::NoPixels, size);
    // The picture, and any track the decoder may read instead, within the limits.
    if (!withinLimits(size, limits) || (!track.isEmpty() && !withinLimits(track, limits)))
        return verdict(Survey::TooLarge, withinLimits(size, limits) ? track : size);
    // The tiles of a grid are items of their own, each with its own size and data.
    bool cut = primary->cut;
    for (const quint32 id : primary->derivedFrom) {
        const auto tile = m.items.constFind(id);
        if (tile == m.items.cend())
            continue;
        cut = cut || tile->cut;
        if (const QString form = unsupportedCoding(tile->type, kind); !form.isEmpty()) {
            Survey s = verdict(Survey::Unsupported, size);
            s.variant = form;
            return s;
        }
        if (const std::optional<Box> tileSize = propertyOf(f, m, *tile, fourCc("ispe"), 12)) {
            const QSize t(int(qMin<quint32>(f.be32(tileSize->body + 4), INT_MAX)),
                          int(qMin<quint32>(f.be32(tileSize->body + 8), INT_MAX)));
            if (!withinLimits(t, limits))
                return verdict(Survey::TooLarge, t);
        }
    }
    Survey s = verdict(cut                    ? Survey::Incomplete
                       : m.damaged || damaged ? Survey::Damaged
                                              : Survey::Fine,
                       size);
    s.ranOut = ranOut || cut;
    return s;
}

} // namespace

// ---- JPEG XL

namespace {

// The bits of a JPEG XL codestream, the lowest of each byte first.
struct BitReader
{
    QByteArrayView b;
    qint64 bit = 0;
    bool ranOut = false;

    quint32 bits(int count)
    {
        quint32 value = 0;
        for (int i = 0; i < count; ++i, ++bit) {
            if ((bit >> 3) >= b.size()) {
                ranOut = true;
                return 0;
            }
            value |= quint32((uchar(b[bit >> 3]) >> (bit & 7)) & 1) << i;
        }
        return value;
    }

    // A side of the size header: one of four ranges, picked by two bits.
    quint32 side()
    {
        constexpr int Bits[] = {9, 13, 18, 30};
        return bits(Bits[bits(2)]) + 1;
    }
};

// The first bytes of the codestream, wherever it lies: the file itself, or one box that holds
// all of it, or the first of the boxes that hold it in parts (each after a 4-byte index).
QByteArray codestreamStart(const Bytes &f, bool *ranOut, bool *damaged)
{
    constexpr qint64 Wanted = 64;
    if (f.b.startsWith("\xFF\x0A"))
        return f.b.first(qMin<qint64>(Wanted, f.b.size())).toByteArray();
    QByteArray start;
    Boxes boxes{f, 0, INT64_MAX / 2};
    while (const std::optional<Box> box = boxes.next()) {
        const qint64 from = box->type == fourCc("jxlc")   ? box->body
                            : box->type == fourCc("jxlp") ? box->body + 4
                                                          : -1;
        if (from >= 0 && start.size() < Wanted && f.has(from, 0)) {
            const qint64 to = qMin<qint64>(box->end, f.b.size());
            start += f.b.sliced(from, qMax<qint64>(0, qMin(to - from, Wanted - start.size())));
        }
    }
    *damaged = boxes.damaged;
    *ranOut = boxes.at != f.b.size();
    return start;
}

} // namespace

Survey surveyJxl(const Bytes &f, const Limits &limits)
{
    bool ranOut = false, damaged = false;
    const QByteArray start = codestreamStart(f, &ranOut, &damaged);
    if (damaged)
        return verdict(Survey::Damaged);
    if (start.size() < 2)
        return verdict(ranOut ? Survey::Incomplete : Survey::Damaged);
    if (!start.startsWith("\xFF\x0A"))
        return verdict(Survey::Damaged);
    BitReader r{start, 16};
    // The size header: sides in multiples of 8 when small, a width as a ratio of the height.
    const bool small = r.bits(1);
    const quint64 height = small ? (r.bits(5) + 1) * 8 : r.side();
    const uint ratio = r.bits(3);
    constexpr quint64 Ratios[8][2] = {{0, 1}, {1, 1},  {12, 10}, {4, 3},
                                      {3, 2}, {16, 9}, {5, 4},   {2, 1}};
    const quint64 width = ratio != 0 ? height * Ratios[ratio][0] / Ratios[ratio][1]
                          : small    ? (r.bits(5) + 1) * 8
                                     : r.side();
    // The image's metadata: all of it as it always is, or an orientation first.
    uint orientation = 1;
    if (!r.bits(1) && r.bits(1))
        orientation = 1 + r.bits(3);
    if (r.ranOut)
        return verdict(Survey::Incomplete);
    QSize size(int(qMin<quint64>(width, INT_MAX)), int(qMin<quint64>(height, INT_MAX)));
    if (orientation > 4) // turned a quarter
        size.transpose();
    Survey s = sized(size, limits);
    s.ranOut = ranOut;
    return s;
}

bool isJxl(QByteArrayView head)
{
    return head.startsWith("\xFF\x0A") ||
           head.startsWith(QByteArrayView("\0\0\0\x0CJXL \r\n\x87\n", 12));
}

bool isHeic(QByteArrayView head)
{
    const QList<quint32> brands = brandsOf(head);
    return !brands.isEmpty() && !std::any_of(brands.begin(), brands.end(), isAvifBrand) &&
           std::any_of(brands.begin(), brands.end(), isHeifBrand);
}

bool isAvif(QByteArrayView head)
{
    const QList<quint32> brands = brandsOf(head);
    return std::any_of(brands.begin(), brands.end(), isAvifBrand);
}

Survey surveyHeic(const Bytes &f, const Limits &limits)
{
    return surveyItems(f, limits, Kind::Heic);
}

Survey surveyAvif(const Bytes &f, const Limits &limits)
{
    return surveyItems(f, limits, Kind::Avif);
}

} // namespace picture
