#include "platform/toolkit/FloatSlider.h"

#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

FloatSlider::FloatSlider(double minValue, double maxValue, int steps, QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
    , mMin(minValue)
    , mMax(maxValue)
{
    QSlider::setRange(0, steps);
    setMinimumWidth(220);
}

void FloatSlider::setRange(double minValue, double maxValue, int steps)
{
    const float value = floatValue();
    mMin = minValue;
    mMax = maxValue;
    const QSignalBlocker quiet(this);
    QSlider::setRange(0, steps);
    setFloatValue(value);
}

double FloatSlider::valueAt(int position) const
{
    return mMin + (mMax - mMin) * position / std::max(1, maximum());
}

int FloatSlider::positionOf(double value) const
{
    if (!(mMax > mMin))
        return 0;
    const double fraction = std::clamp((value - mMin) / (mMax - mMin), 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * maximum()));
}

float FloatSlider::floatValue() const
{
    return static_cast<float>(valueAt(value()));
}

int FloatSlider::intValue() const
{
    return static_cast<int>(std::lround(valueAt(value())));
}

void FloatSlider::setFloatValue(float value)
{
    const QSignalBlocker quiet(this);
    setValue(positionOf(value));
}

void FloatSlider::setIntValue(int value)
{
    const QSignalBlocker quiet(this);
    setValue(positionOf(value));
}
