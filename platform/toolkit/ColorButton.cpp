#include "platform/toolkit/ColorButton.h"

#include <QColorDialog>

ColorButton::ColorButton(QWidget* parent)
    : QPushButton(parent)
{
    setMinimumSize(64, 24);
    setToolTip(QStringLiteral("Choose the fog colour"));
    connect(this, &QPushButton::clicked, this, &ColorButton::openDialog);
    setColor(mColor);
}

void ColorButton::setColor(const Components& color)
{
    mColor = color;
    const QColor shown = QColor::fromRgbF(color[0], color[1], color[2]);
    setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid palette(dark); border-radius: 3px;")
                      .arg(shown.name()));
}

// A colour with no RGB form (an invalid pick) gives four zero components.
void ColorButton::takeColor(const QColor& picked)
{
    const QColor rgb = picked.isValid() ? picked.toRgb() : QColor();
    setColor(rgb.isValid() ? Components{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()} : Components{});
    emit colorPicked();
}

void ColorButton::openDialog()
{
    auto* dialog = new QColorDialog(QColor::fromRgbF(mColor[0], mColor[1], mColor[2], mColor[3]), this);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Live, as the user picks, like a colour panel; Cancel puts the colour
    // back as it was.
    connect(dialog, &QColorDialog::currentColorChanged, this, &ColorButton::takeColor);
    connect(dialog, &QDialog::rejected, this, [this, before = mColor] {
        setColor(before);
        emit colorPicked();
    });
    dialog->open();
}
