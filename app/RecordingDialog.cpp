#include "app/RecordingDialog.h"

#include "platform/system/FilePath.h"
#include "record/Recording.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The user's folder for pictures or videos, else the home folder.
QString folderFor(QStandardPaths::StandardLocation location)
{
    const QString folder = QStandardPaths::writableLocation(location);
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
}

QSpinBox* pixelBox(int most)
{
    auto* box = new QSpinBox;
    box->setRange(1, most);
    box->setSuffix(QStringLiteral(" px"));
    return box;
}

} // namespace

RecordingDialog::RecordingDialog(QWidget* parent, const QString& title, QStandardPaths::StandardLocation folder,
                                 const QString& extension, const QString& fileFilters)
    : QDialog(parent)
    , mFileFilters(fileFilters)
    , mForm(new QFormLayout)
    , mPath(new QLineEdit)
    , mProblem(new QLabel)
{
    setWindowTitle(title);
    const QString name = QStringLiteral("Ferlow %1.%2")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")), extension);
    mPath->setText(QDir(folderFor(folder)).filePath(name));
    mPath->setMinimumWidth(360);
    auto* chooseButton = new QPushButton(QStringLiteral("Choose…"));
    connect(chooseButton, &QPushButton::clicked, this, &RecordingDialog::choose);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(mPath);
    fileRow->addWidget(chooseButton);
    mForm->addRow(QStringLiteral("File:"), fileRow);
    mProblem->setWordWrap(true);
    mProblem->setStyleSheet(QStringLiteral("color: palette(highlight)"));
    mProblem->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(mForm);
    layout->addWidget(mProblem);
}

QString RecordingDialog::path() const
{
    return mPath->text();
}

QSize RecordingDialog::size() const
{
    return {mWidth->value(), mHeight->value()};
}

void RecordingDialog::addSizeRow(const QString& label, QSize size)
{
    mWidth = pixelBox(Recording::kLargestSize.width());
    mHeight = pixelBox(Recording::kLargestSize.height());
    setSize(size);
    auto* row = new QHBoxLayout;
    row->addWidget(mWidth);
    row->addWidget(new QLabel(QStringLiteral("×")));
    row->addWidget(mHeight);
    row->addStretch();
    mForm->addRow(label, row);
}

void RecordingDialog::setSize(QSize size)
{
    mWidth->setValue(size.width());
    mHeight->setValue(size.height());
}

void RecordingDialog::setSizeEditable(bool editable)
{
    mWidth->setEnabled(editable);
    mHeight->setEnabled(editable);
}

void RecordingDialog::addButtons(const QString& accept)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordingDialog::acceptIfSound);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout()->addWidget(buttons);
}

void RecordingDialog::choose()
{
    const QString chosen = QFileDialog::getSaveFileName(this, windowTitle(), mPath->text(), mFileFilters);
    if (!chosen.isEmpty())
        mPath->setText(chosen);
}

void RecordingDialog::acceptIfSound()
{
    const QString wrong = problem();
    mProblem->setText(wrong);
    mProblem->setVisible(!wrong.isEmpty());
    if (wrong.isEmpty())
        accept();
}
