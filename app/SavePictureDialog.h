#pragma once

#include "app/RecordingDialog.h"

// File ▸ Save Picture…: where, and how large; the view's own size at first.
class SavePictureDialog : public RecordingDialog {
public:
    SavePictureDialog(QWidget* parent, QSize viewPixels);

protected:
    QString problem() const override;
};
