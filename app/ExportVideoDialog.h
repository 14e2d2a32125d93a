#pragma once

#include "app/RecordingDialog.h"

#include <optional>

class QComboBox;
class QDoubleSpinBox;
class QRadioButton;

// File ▸ Export Flight Video…: where, how large (720p to 4K, or any size),
// how many frames a second, and how long: one whole loop of the path, or
// some seconds.
class ExportVideoDialog : public RecordingDialog {
public:
    // loopSeconds: how long a loop takes at the flight's speed; none while
    // it stands still, which leaves only a length in seconds.
    ExportVideoDialog(QWidget* parent, std::optional<double> loopSeconds);

    int fps() const;
    double seconds() const;

protected:
    QString problem() const override;

private:
    void sizeChosen(int index);

    std::optional<double> mLoopSeconds;
    QComboBox* mSizes;
    QComboBox* mFps;
    QRadioButton* mWholeLoop;
    QDoubleSpinBox* mSeconds;
};
