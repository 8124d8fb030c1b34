// HEIC, AVIF and JPEG XL files for the tests, the fuzz seeds and the benchmarks: made from the
// tests' own pictures by Debian's encoders (heif-enc, avifenc, cjxl) in a temporary folder, and
// patched as a hostile file would be (sizes that lie, properties added, forms we do not read).
#pragma once

#include "testpictures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

namespace phonepictures {

// What an encoder made, or why it made nothing (it is not installed, or it failed).
struct Encoded
{
    QByteArray bytes;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Runs program on the inputs, written into a temporary folder under the names given, with the
// arguments, in which "%OUT" stands for the file it writes.
inline Encoded encode(const QString &program, const QList<std::pair<QString, QByteArray>> &inputs,
                      QStringList arguments, const QString &outName)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {{}, program + QStringLiteral(" is not installed")};
    QTemporaryDir dir;
    for (const auto &[name, bytes] : inputs)
        if (!testpictures::writeFile(dir.filePath(name), bytes))
            return {{}, QStringLiteral("cannot write ") + name};
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("%OUT"), dir.filePath(outName));
    QProcess encoder;
    encoder.setWorkingDirectory(dir.path());
    encoder.start(program, arguments);
    if (!encoder.waitForFinished(600000) || encoder.exitCode() != 0)
        return {{},
                program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(encoder.readAll())};
    QFile out(dir.filePath(outName));
    if (!out.open(QIODevice::ReadOnly))
        return {{}, program + QStringLiteral(" wrote nothing")};
    return {out.readAll(), {}};
}

inline QByteArray png(const QImage &image) { return testpictures::encoded(image, "png"); }

// Each picture a PNG; several make several top-level pictures, the first the primary.
inline Encoded heic(const QList<QImage> &pictures, QStringList options = {})
{
    QList<std::pair<QString, QByteArray>> inputs;
    for (int i = 0; i < pictures.size(); ++i)
        inputs.append({QStringLiteral("in%1.png").arg(i), png(pictures[i])});
    QStringList arguments = options;
    arguments << QStringLiteral("-o") << QStringLiteral("%OUT");
    for (const auto &input : inputs)
        arguments << input.first;
    return encode(QStringLiteral("heif-enc"), inputs, arguments, QStringLiteral("out.heic"));
}

// Input files (PNG, JPEG) of their own, for heif-enc to read as they are.
inline Encoded heicFrom(const QByteArray &input, const QString &name, QStringList options = {})
{
    options << QStringLiteral("-o") << QStringLiteral("%OUT") << name;
    return encode(QStringLiteral("heif-enc"), {{name, input}}, options, QStringLiteral("out.heic"));
}

// Several pictures make a sequence of frames.
inline Encoded avif(const QList<QImage> &pictures, QStringList options = {})
{
    QList<std::pair<QString, QByteArray>> inputs;
    for (int i = 0; i < pictures.size(); ++i)
        inputs.append({QStringLiteral("in%1.png").arg(i), png(pictures[i])});
    QStringList arguments = QStringList{QStringLiteral("-s"), QStringLiteral("8")} + options;
    for (const auto &input : inputs)
        arguments << input.first;
    arguments << QStringLiteral("%OUT");
    return encode(QStringLiteral("avifenc"), inputs, arguments, QStringLiteral("out.avif"));
}

inline Encoded avifFrom(const QByteArray &input, const QString &name, QStringList options = {})
{
    options = QStringList{QStringLiteral("-s"), QStringLiteral("8")} + options;
    options << name << QStringLiteral("%OUT");
    return encode(QStringLiteral("avifenc"), {{name, input}}, options, QStringLiteral("out.avif"));
}

// From a PNG, a JPEG (recompressed as it is, its orientation kept) or a GIF (its frames an
// animation).
inline Encoded jxlFrom(const QByteArray &input, const QString &name, QStringList options = {})
{
    options << name << QStringLiteral("%OUT");
    return encode(QStringLiteral("cjxl"), {{name, input}}, options, QStringLiteral("out.jxl"));
}

inline Encoded jxl(const QImage &picture, QStringList options = {})
{
    return jxlFrom(png(picture), QStringLiteral("in.png"), options);
}

// ---- Boxes, as HEIF, AVIF and the JPEG XL container are made of

struct Box
{
    QByteArray type;
    qsizetype at = 0, body = 0, end = 0; // its header, its contents, its end
};

inline quint32 be32(const QByteArray &b, qsizetype at)
{
    return qFromBigEndian<quint32>(b.constData() + at);
}

inline void setBe32(QByteArray *b, qsizetype at, quint32 value)
{
    qToBigEndian<quint32>(value, b->data() + at);
}

// The boxes in [from, to), as whole as the bytes are: 32-bit sizes only, as the encoders write.
inline QList<Box> boxesIn(const QByteArray &b, qsizetype from, qsizetype to)
{
    QList<Box> boxes;
    for (qsizetype at = from; at + 8 <= to;) {
        const qsizetype size = be32(b, at);
        if (size < 8)
            break;
        boxes.append({b.mid(at + 4, 4), at, at + 8, at + size});
        at += size;
    }
    return boxes;
}

inline std::optional<Box> child(const QByteArray &b, const Box &parent, const char *type,
                                qsizetype skip = 0)
{
    for (const Box &box : boxesIn(b, parent.body + skip, parent.end))
        if (box.type == type)
            return box;
    return {};
}

// A box along a path from the top: meta is a full box, whose version comes before its boxes.
inline std::optional<Box> find(const QByteArray &b, const QList<const char *> &path)
{
    std::optional<Box> at = Box{{}, 0, 0, b.size()};
    for (const char *type : path) {
        const qsizetype skip = at->type == "meta" || at->type == "iinf" ? 4 : 0;
        at = child(b, *at, type, at->type == "iinf" ? skip + 2 : skip);
        if (!at)
            return {};
    }
    return at;
}

// Every item's size property says this size, as a file that lies about its size would.
inline QByteArray withSize(QByteArray b, quint32 width, quint32 height)
{
    const std::optional<Box> ipco = find(b, {"meta", "iprp", "ipco"});
    for (const Box &p : ipco ? boxesIn(b, ipco->body, ipco->end) : QList<Box>())
        if (p.type == "ispe") {
            setBe32(&b, p.body + 4, width);
            setBe32(&b, p.body + 8, height);
        }
    return b;
}

// Every item of type from is of type to.
inline QByteArray withItemType(QByteArray b, const char *from, const char *to)
{
    const std::optional<Box> iinf = find(b, {"meta", "iinf"});
    for (const Box &infe : iinf ? boxesIn(b, iinf->body + 6, iinf->end) : QList<Box>())
        if (infe.type == "infe" && b.at(infe.body) == 2 && b.mid(infe.body + 8, 4) == from)
            b.replace(infe.body + 8, 4, to);
    return b;
}

// The top-level box of the type renamed (to "free", which every reader skips).
inline QByteArray withBoxRenamed(QByteArray b, const char *type, const char *to)
{
    for (const Box &box : boxesIn(b, 0, b.size()))
        if (box.type == type)
            b.replace(box.at + 4, 4, to);
    return b;
}

// A sequence of tracks alone, as encoders of video write them: no meta box (it is made free
// space) and no brand that promises a still picture.
inline QByteArray tracksAlone(QByteArray b)
{
    if (b.size() < 16)
        return b;
    b = withBoxRenamed(b, "meta", "free");
    for (qsizetype at = 16; at + 4 <= qsizetype(be32(b, 0)); at += 4)
        if (b.mid(at, 4) == "avif")
            b.replace(at, 4, "iso8");
    return b;
}

// The sequence of tracks alone branded as HEVC's, as a phone's burst of pictures is (the tracks
// still hold AV1: the brands alone tell the kind).
inline QByteArray asHeicSequence(QByteArray b)
{
    b = tracksAlone(b);
    if (b.size() < 16)
        return b;
    b.replace(8, 4, "hevs");
    for (qsizetype at = 16; at + 4 <= qsizetype(be32(b, 0)); at += 4)
        if (b.mid(at, 4) == "avis")
            b.replace(at, 4, "msf1");
    return b;
}

// The bits a sample of the primary picture's first channel, as its pixi property says.
inline int pixiBits(const QByteArray &b)
{
    const std::optional<Box> pixi = find(b, {"meta", "iprp", "ipco", "pixi"});
    return pixi && pixi->end - pixi->body >= 6 ? uchar(b.at(pixi->body + 5)) : 0;
}

inline QByteArray box(const char *type, const QByteArray &contents)
{
    QByteArray out(4, '\0');
    setBe32(&out, 0, quint32(contents.size() + 8));
    return out + type + contents;
}

// Rotation (angle 0..3, quarter turns anticlockwise) and mirroring (0: top and bottom swap, 1:
// left and right) properties added to the primary picture, in that order, as a phone writes
// them; the meta box grows, and the item locations after it move with the data.
inline QByteArray withTurn(QByteArray b, int angle, int mirror = -1)
{
    const std::optional<Box> meta = find(b, {"meta"}), pitm = find(b, {"meta", "pitm"}),
                             ipco = find(b, {"meta", "iprp", "ipco"}),
                             ipma = find(b, {"meta", "iprp", "ipma"}),
                             iprp = find(b, {"meta", "iprp"}), iloc = find(b, {"meta", "iloc"});
    if (!meta || !pitm || !ipco || !ipma || !iprp || !iloc || b.at(pitm->body) != 0 ||
        b.at(ipma->body) != 0 || (b.at(ipma->body + 3) & 1) || b.at(iloc->body) > 1 ||
        (b.at(iloc->body + 5) & 15) != 0)
        qFatal("withTurn: not a file as heif-enc writes them");
    QByteArray properties = box("irot", QByteArray(1, char(angle)));
    if (mirror >= 0)
        properties += box("imir", QByteArray(1, char(mirror)));
    const int added = mirror >= 0 ? 2 : 1;
    const qsizetype grows = properties.size() + added;
    const int first = int(boxesIn(b, ipco->body, ipco->end).size()) + 1;

    // The item locations after the meta box move by what it grows.
    const int sizes = uchar(b.at(iloc->body + 4)), baseBytes = uchar(b.at(iloc->body + 5)) >> 4;
    const int offsetBytes = sizes >> 4, lengthBytes = sizes & 15, version = b.at(iloc->body);
    if (offsetBytes != 4 || (baseBytes != 0 && baseBytes != 4) || lengthBytes != 4)
        qFatal("withTurn: item locations of another layout");
    qsizetype at = iloc->body + 8;
    const int items = int(qFromBigEndian<quint16>(b.constData() + iloc->body + 6));
    for (int i = 0; i < items; ++i) {
        at += 2 + (version == 1 ? 2 : 0) + 2;
        const bool base = baseBytes == 4 && be32(b, at) >= quint32(meta->end);
        if (base)
            setBe32(&b, at, be32(b, at) + quint32(grows));
        at += baseBytes;
        const int extents = qFromBigEndian<quint16>(b.constData() + at);
        at += 2;
        for (int e = 0; e < extents; ++e, at += 8)
            if (!base && be32(b, at) >= quint32(meta->end))
                setBe32(&b, at, be32(b, at) + quint32(grows));
    }

    // The primary item's associations, then the properties, then the sizes of what holds them.
    const quint16 primary = qFromBigEndian<quint16>(b.constData() + pitm->body + 4);
    at = ipma->body + 8;
    for (quint32 e = 0; e < be32(b, ipma->body + 4); ++e) {
        const quint16 id = qFromBigEndian<quint16>(b.constData() + at);
        const int count = uchar(b.at(at + 2));
        if (id == primary) {
            QByteArray more;
            for (int i = 0; i < added; ++i)
                more += char(0x80 | (first + i)); // essential
            b.insert(at + 3 + count, more);
            b[at + 2] = char(count + added);
            break;
        }
        at += 3 + count;
    }
    b.insert(ipco->end, properties);
    setBe32(&b, ipco->at, be32(b, ipco->at) + quint32(properties.size()));
    for (const Box &holder : {*iprp, *meta})
        setBe32(&b, holder.at, be32(b, holder.at) + quint32(grows));
    setBe32(&b, ipma->at + properties.size(), be32(b, ipma->at + properties.size()) + added);
    return b;
}

// ---- The JPEG XL codestream's bits, the lowest of each byte first

struct Bits
{
    QByteArray bytes;
    qint64 bit = 0;

    quint32 read(int count)
    {
        quint32 v = 0;
        for (int i = 0; i < count; ++i, ++bit)
            v |= quint32((uchar(bytes.at(bit >> 3)) >> (bit & 7)) & 1) << i;
        return v;
    }
    void write(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i, ++bit) {
            if ((bit >> 3) >= bytes.size())
                bytes.append('\0');
            if ((value >> i) & 1)
                bytes[bit >> 3] = char(bytes.at(bit >> 3) | (1 << (bit & 7)));
        }
    }
};

// The container with its codestream in one box, where the first of its parts stood.
inline QByteArray jxlWhole(const QByteArray &b)
{
    QByteArray stream, out;
    qsizetype first = -1;
    for (const Box &box : boxesIn(b, 0, b.size())) {
        if (box.type == "jxlp") {
            stream += b.mid(box.body + 4, box.end - box.body - 4);
            if (first < 0)
                first = out.size();
        } else {
            out += b.mid(box.at, box.end - box.at);
        }
    }
    return first < 0 ? b : out.insert(first, box("jxlc", stream));
}

// Where the codestream lies in a JPEG XL file: all of it, or one box's contents.
inline std::pair<qsizetype, qsizetype> codestreamOf(const QByteArray &b)
{
    if (b.startsWith("\xFF\x0A"))
        return {0, b.size()};
    for (const Box &box : boxesIn(b, 0, b.size()))
        if (box.type == "jxlc")
            return {box.body, box.end};
    qFatal("codestreamOf: no codestream in one box");
}

// The JPEG XL with its size header saying width x height, the rest of its bits as they were
// (a container's codestream in one box).
inline QByteArray jxlClaiming(QByteArray file, quint32 width, quint32 height)
{
    file = jxlWhole(file);
    const auto [from, to] = codestreamOf(file);
    Bits in{file.mid(from, to - from), 16};
    const auto side = [&in] {
        constexpr int Widths[] = {9, 13, 18, 30};
        in.read(Widths[in.read(2)]);
    };
    const bool small = in.read(1);
    small ? (void)in.read(5) : side();
    if (in.read(3) == 0)
        small ? (void)in.read(5) : side();
    Bits out{QByteArray("\xFF\x0A"), 16};
    out.write(0, 1); // not small
    out.write(3, 2); // the widest range
    out.write(height - 1, 30);
    out.write(0, 3); // no ratio
    out.write(3, 2);
    out.write(width - 1, 30);
    while (in.bit < in.bytes.size() * 8)
        out.write(in.read(1), 1);
    if (from == 0)
        return out.bytes;
    QByteArray b = file;
    b.replace(from, to - from, out.bytes);
    setBe32(&b, from - 8, quint32(out.bytes.size() + 8));
    return b;
}

// The container's codestream in two parts, the first of split bytes, as a streaming encoder
// may write it.
inline QByteArray jxlInParts(QByteArray file, qsizetype split)
{
    file = jxlWhole(file);
    const auto [from, to] = codestreamOf(file);
    if (from == 0)
        qFatal("jxlInParts: a bare codestream");
    const QByteArray stream = file.mid(from, to - from);
    QByteArray first(4, '\0'), last(4, '\0');
    setBe32(&last, 0, 0x80000001); // the second part, and the last
    QByteArray b = file.left(from - 8) + box("jxlp", first + stream.left(split)) +
                   box("jxlp", last + stream.mid(split)) + file.mid(to);
    return b;
}

} // namespace phonepictures
