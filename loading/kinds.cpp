#include "kinds.h"

#include <QStringList>

namespace picture {

namespace {

struct Names
{
    const char16_t *name;
    const char *patterns; // ";" between them; none for a kind the chooser does not offer
};

Names namesOf(Kind kind)
{
    switch (kind) {
    case Kind::Bmp:
        return {u"BMP", "*.bmp"};
    case Kind::Jpeg:
        return {u"JPEG", "*.jpg;*.jpeg;*.jpe"};
    case Kind::Png:
        return {u"PNG", "*.png"};
    case Kind::Gif:
        return {u"GIF", "*.gif"};
    case Kind::Ico:
        return {u"ICO", ""};
    case Kind::Webp:
        return {u"WebP", "*.webp"};
    case Kind::Tiff:
        return {u"TIFF", "*.tif;*.tiff"};
    case Kind::Wmf:
        return {u"WMF", "*.wmf"};
    case Kind::Svg:
        return {u"SVG", "*.svg"};
    case Kind::Heic: // what phones call their HEIF pictures, HEVC inside
        return {u"HEIC", "*.heic;*.heif"};
    case Kind::Avif:
        return {u"AVIF", "*.avif"};
    case Kind::Jxl:
        return {u"JPEG XL", "*.jxl"};
    }
    return {u"?", ""};
}

template <typename F> void forEachKind(F &&f)
{
    for (int k = 0; k <= int(Kind::Last); ++k)
        f(namesOf(Kind(k)));
}

} // namespace

QString kindName(Kind kind) { return QString::fromUtf16(namesOf(kind).name); }

QString filePattern()
{
    QStringList patterns;
    forEachKind([&](const Names &n) {
        if (*n.patterns)
            patterns.append(QString::fromLatin1(n.patterns));
    });
    return patterns.join(u';');
}

QString kindNames()
{
    QStringList kinds;
    forEachKind([&](const Names &n) { kinds.append(QString::fromUtf16(n.name)); });
    return kinds.join(u'、');
}

} // namespace picture
