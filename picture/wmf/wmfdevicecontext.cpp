// Logical-to-picture mapping of a metafile's device context.
#include "wmfdevicecontext.h"

#include <algorithm>
#include <cmath>

namespace wmf {

namespace {

// Picture pixels (at 96 an inch) per logical unit of the fixed modes.
qreal fixedScale(MapMode mode)
{
    switch (mode) {
    case MapMode::LoMetric:
        return 96.0 / 254.0;
    case MapMode::HiMetric:
        return 96.0 / 2540.0;
    case MapMode::LoEnglish:
        return 96.0 / 100.0;
    case MapMode::HiEnglish:
        return 96.0 / 1000.0;
    case MapMode::Twips:
        return 96.0 / 1440.0;
    default:
        return 1.0;
    }
}

// Far beyond any picture, but well inside what the rasterizer handles without overflow.
constexpr qreal Far = 4.0e6;

qreal clampFar(qreal v)
{
    if (!std::isfinite(v))
        return 0;
    return std::clamp(v, -Far, Far);
}

} // namespace

qreal Mapping::scaleX() const
{
    switch (mode) {
    case MapMode::Text:
        return deviceScaleX;
    case MapMode::Anisotropic:
        return viewportExt.width() / windowExt.width() * deviceScaleX;
    case MapMode::Isotropic: {
        const qreal sx = viewportExt.width() / windowExt.width();
        const qreal sy = viewportExt.height() / windowExt.height();
        return std::copysign(std::min(std::abs(sx), std::abs(sy)), sx) * deviceScaleX;
    }
    default:
        return fixedScale(mode) * deviceScaleX;
    }
}

qreal Mapping::scaleY() const
{
    switch (mode) {
    case MapMode::Text:
        return deviceScaleY;
    case MapMode::Anisotropic:
        return viewportExt.height() / windowExt.height() * deviceScaleY;
    case MapMode::Isotropic: {
        const qreal sx = viewportExt.width() / windowExt.width();
        const qreal sy = viewportExt.height() / windowExt.height();
        return std::copysign(std::min(std::abs(sx), std::abs(sy)), sy) * deviceScaleY;
    }
    default:
        return -fixedScale(mode) * deviceScaleY; // y grows upwards
    }
}

QPointF Mapping::map(QPointF logical) const
{
    const qreal x =
        (logical.x() - windowOrg.x()) * scaleX() + viewportOrg.x() * deviceScaleX + deviceDx;
    const qreal y =
        (logical.y() - windowOrg.y()) * scaleY() + viewportOrg.y() * deviceScaleY + deviceDy;
    return {clampFar(x), clampFar(y)};
}

QPointF Mapping::mapSize(QPointF logicalDelta) const
{
    return {clampFar(logicalDelta.x() * scaleX()), clampFar(logicalDelta.y() * scaleY())};
}

QRectF Mapping::mapRect(const QRectF &logical) const
{
    return QRectF(map(logical.topLeft()), map(logical.bottomRight())).normalized();
}

DeviceContext withCopyPen(DeviceContext dc)
{
    dc.rop2 = Rop2CopyPen;
    return dc;
}

PenSize penSize(const DeviceContext &dc)
{
    if ((dc.pen.style & PenStyleMask) == PenNull)
        return {};
    const qreal width = std::abs(dc.pen.width * dc.mapping.scaleX());
    const bool hairline = dc.pen.width == 0 || width < 1.0;
    return {hairline ? 1.0 : width, hairline};
}

} // namespace wmf
