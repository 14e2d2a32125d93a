#include "app/SavePictureDialog.h"

#include "record/Recording.h"

#include <QFormLayout>

SavePictureDialog::SavePictureDialog(QWidget* parent, QSize viewPixels)
    : RecordingDialog(parent, QStringLiteral("Save Picture"), QStandardPaths::PicturesLocation, QStringLiteral("png"),
                      QStringLiteral("PNG picture (*.png);;JPEG picture (*.jpg *.jpeg)"))
{
    addSizeRow(QStringLiteral("Size:"), viewPixels.boundedTo(Recording::kLargestSize));
    addButtons(QStringLiteral("Save"));
}

QString SavePictureDialog::problem() const
{
    QString wrong = Recording::pictureFormatProblem(path());
    if (wrong.isEmpty())
        wrong = Recording::folderProblem(path());
    return wrong;
}
