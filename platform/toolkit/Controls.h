#pragma once

#include <QPushButton>
#include <functional>

// Panel controls in the terms the preferences work in. Each sends its action
// on every change the user makes; setting a value from code sends nothing.

// A colour as calibrated RGB components with alpha, each 0 to 1.
struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;

    static Color colorWithCalibratedRed(double red, double green, double blue, double alpha)
    {
        return {red, green, blue, alpha};
    }
    bool operator==(const Color&) const = default;
};

// A swatch that opens the colour dialog, alpha included.
class ColorWell : public QPushButton {
public:
    explicit ColorWell(QWidget* parent = nullptr);
    void setAction(std::function<void(ColorWell*)> action) { mAction = std::move(action); }
    Color color() const { return mColor; }
    void setColor(const Color& color);
    // What a pick in the dialog does: takes the colour and sends the action.
    void takeColor(const QColor& picked);

private:
    void openDialog();

    Color mColor;
    std::function<void(ColorWell*)> mAction;
};
