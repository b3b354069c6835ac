// Single-precision scaling, so 2560 px gives 1.3333334 and a 400 px edge 533.
#include "DesktopScaling.h"

namespace DesktopScaling {

float Factor(int iDesktopWidth)
{
    if (iDesktopWidth <= c_iDesignDesktopWidth)
        return 1.0f;
    return static_cast<float>(iDesktopWidth / double(c_iDesignDesktopWidth));
}

int Scale(int iLength, float fFactor)
{
    return static_cast<int>(static_cast<float>(iLength) * fFactor);
}

QSize Scale(const QSize& size, float fFactor)
{
    return QSize(Scale(size.width(), fFactor), Scale(size.height(), fFactor));
}

QRect Scale(const QRect& rect, float fFactor)
{
    return QRect(QPoint(Scale(rect.x(), fFactor), Scale(rect.y(), fFactor)), Scale(rect.size(), fFactor));
}

QPoint CentredOrigin(const QSize& sizeDesktop, const QSize& sizeWindow)
{
    return QPoint((sizeDesktop.width() - sizeWindow.width()) / 2, (sizeDesktop.height() - sizeWindow.height()) / 2);
}

} // namespace DesktopScaling
