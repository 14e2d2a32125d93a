#include "platform/toolkit/Controls.h"

#include <QColorDialog>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

Slider::Slider(double minValue, double maxValue, int steps, QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
    , mMin(minValue)
    , mMax(maxValue)
{
    QSlider::setRange(0, steps);
    setMinimumWidth(220);
    connect(this, &QSlider::valueChanged, this, [this] {
        if (mAction)
            mAction(this);
    });
}

void Slider::setRange(double minValue, double maxValue, int steps)
{
    const float value = floatValue();
    mMin = minValue;
    mMax = maxValue;
    const QSignalBlocker quiet(this);
    QSlider::setRange(0, steps);
    setFloatValue(value);
}

double Slider::valueAt(int position) const
{
    return mMin + (mMax - mMin) * position / std::max(1, maximum());
}

int Slider::positionOf(double value) const
{
    if (!(mMax > mMin))
        return 0;
    const double fraction = std::clamp((value - mMin) / (mMax - mMin), 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * maximum()));
}

float Slider::floatValue() const
{
    return static_cast<float>(valueAt(value()));
}

int Slider::intValue() const
{
    return static_cast<int>(std::lround(valueAt(value())));
}

void Slider::setFloatValue(float value)
{
    const QSignalBlocker quiet(this);
    setValue(positionOf(value));
}

void Slider::setIntValue(int value)
{
    const QSignalBlocker quiet(this);
    setValue(positionOf(value));
}

ColorWell::ColorWell(QWidget* parent)
    : QPushButton(parent)
{
    setMinimumSize(64, 24);
    setToolTip(QStringLiteral("Choose the fog colour"));
    connect(this, &QPushButton::clicked, this, [this] { openDialog(); });
    setColor(mColor);
}

void ColorWell::setColor(const Color& color)
{
    mColor = color;
    const QColor shown = QColor::fromRgbF(float(color.red), float(color.green), float(color.blue));
    setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid palette(dark); border-radius: 3px;")
                      .arg(shown.name()));
}

// A colour with no RGB form (an invalid pick) gives four zero components.
void ColorWell::takeColor(const QColor& picked)
{
    const QColor rgb = picked.isValid() ? picked.toRgb() : QColor();
    setColor(rgb.isValid() ? Color{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()} : Color{});
    if (mAction)
        mAction(this);
}

void ColorWell::openDialog()
{
    const QColor initial = QColor::fromRgbF(float(mColor.red), float(mColor.green), float(mColor.blue), float(mColor.alpha));
    auto* dialog = new QColorDialog(initial, this);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Live, as the user picks, like a colour panel; Cancel puts the colour
    // back as it was.
    connect(dialog, &QColorDialog::currentColorChanged, this, [this](const QColor& c) { takeColor(c); });
    connect(dialog, &QDialog::rejected, this, [this, before = mColor] {
        setColor(before);
        if (mAction)
            mAction(this);
    });
    dialog->open();
}
