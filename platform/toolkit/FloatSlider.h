#pragma once

#include <QSlider>

// A horizontal slider over a range of floats, kept in `steps` even steps.
// Moved from code through these functions it sends no valueChanged, so that
// the signal stays the user's: while dragging with tracking on, or once on
// release with it off.
class FloatSlider : public QSlider {
public:
    FloatSlider(double minValue, double maxValue, int steps, QWidget* parent = nullptr);

    float floatValue() const;
    int intValue() const;
    void setFloatValue(float value);
    void setIntValue(int value);

    double minValue() const { return mMin; }
    double maxValue() const { return mMax; }
    // Changes the range, keeping the value where it fits.
    void setRange(double minValue, double maxValue, int steps);

private:
    double valueAt(int position) const;
    int positionOf(double value) const;

    double mMin;
    double mMax;
};
