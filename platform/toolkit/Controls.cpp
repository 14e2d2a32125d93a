#include "platform/toolkit/Controls.h"

#include <QColorDialog>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

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
