// The monitor's windows grow with desktops wider than the one they were drawn for.
#pragma once

#include <QRect>
#include <QSize>

namespace DesktopScaling {

// The desktop width the forms were laid out for; wider desktops scale them up.
constexpr int c_iDesignDesktopWidth = 1920;

// 1 up to the design width, else width / 1920 in single precision.
float Factor(int iDesktopWidth);

// A length times the factor, taken in single precision and truncated toward zero.
int Scale(int iLength, float fFactor);
QSize Scale(const QSize& size, float fFactor);
QRect Scale(const QRect& rect, float fFactor);

// Top-left corner that centres a window of that size (integer division).
QPoint CentredOrigin(const QSize& sizeDesktop, const QSize& sizeWindow);

} // namespace DesktopScaling
