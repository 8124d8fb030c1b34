#include "bmppicture.h"

#include "wmf/wmfdib.h"

namespace picture {

Picture readBmp(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    // The bitmap follows the 14-byte file header, which says where its bits begin.
    constexpr qsizetype FileHeader = 14;
    const Bytes f{bytes};
    if (!f.has(0, FileHeader))
        return {QImage(), refused(Reason::Damaged, {kindName(Kind::Bmp)})};
    wmf::DibOptions options;
    options.alpha = true;
    const qint64 offset = f.le32(10);
    if (offset >= FileHeader && offset <= bytes.size())
        options.bitsAt = qsizetype(offset - FileHeader);
    QImage image;
    switch (wmf::decodeDib(QByteArrayView(bytes).sliced(FileHeader), 0, {}, limits.maxPixels,
                           &image, options)) {
    case wmf::DibStatus::Ok:
        return {std::move(image), {}};
    case wmf::DibStatus::TooLarge:
        return {QImage(), refused(Reason::TooLarge, {QString::number(s.size.width()),
                                                     QString::number(s.size.height())})};
    case wmf::DibStatus::Malformed:
    case wmf::DibStatus::Unsupported: // the forms we do not read are named by the walk
        break;
    }
    return {QImage(), refused(Reason::Damaged, {kindName(Kind::Bmp)})};
}

} // namespace picture
