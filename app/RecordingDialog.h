#pragma once

#include <QDialog>
#include <QSize>
#include <QStandardPaths>
#include <QString>

class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

// What the picture and the video dialogs share: a file, named after the
// moment in the user's folder for that kind of file and chosen with a file
// dialog, a size in pixels, and a line that says what is wrong with the
// request instead of accepting it.
class RecordingDialog : public QDialog {
public:
    QString path() const;
    QSize size() const;

protected:
    // The file row first: "Ferlow 2026-12-09 17.42.05.png" in `folder`.
    RecordingDialog(QWidget* parent, const QString& title, QStandardPaths::StandardLocation folder,
                    const QString& extension, const QString& fileFilters);
    // The width and height boxes, as a row of the form.
    void addSizeRow(const QString& label, QSize size);
    void setSize(QSize size);
    void setSizeEditable(bool editable);
    // OK and Cancel below the form, OK named `accept`.
    void addButtons(const QString& accept);
    // What is wrong with the request, or empty; asked before accepting.
    virtual QString problem() const = 0;
    QFormLayout* form() const { return mForm; }

private:
    void choose();
    void acceptIfSound();

    QString mFileFilters;
    QFormLayout* mForm;
    QLineEdit* mPath;
    QSpinBox* mWidth = nullptr;
    QSpinBox* mHeight = nullptr;
    QLabel* mProblem;
};
