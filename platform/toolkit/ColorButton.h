#pragma once

#include <QPushButton>
#include <array>

// A swatch that opens the colour dialog, alpha included. It holds its colour
// as red, green, blue and alpha floats, 0 to 1, rather than as a QColor: a
// QColor keeps 16 bits of each, and a colour read from the settings and put
// back on Cancel goes back to the store as it came.
class ColorButton : public QPushButton {
    Q_OBJECT
public:
    using Components = std::array<float, 4>;

    explicit ColorButton(QWidget* parent = nullptr);
    const Components& color() const { return mColor; }
    // Shows a colour; sends nothing.
    void setColor(const Components& color);
    // What a pick in the dialog does: takes the colour and sends colorPicked.
    void takeColor(const QColor& picked);

signals:
    // Each pick the user makes, live as the dialog goes, and the colour put
    // back when the dialog is cancelled.
    void colorPicked();

private:
    void openDialog();

    Components mColor{};
};
