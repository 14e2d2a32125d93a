#pragma once

#include <QWidget>
#include <functional>

// A tool window beside a main window: it floats over it, is not a window of
// its own in the task bar, and never keeps the program alive. Escape or the
// platform's Close keys (Ctrl+W) close it.
class Panel : public QWidget {
public:
    explicit Panel(QWidget* mainWindow);

    // Called whenever the panel goes out of sight.
    void setOnClose(std::function<void()> onClose) { mOnClose = std::move(onClose); }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    std::function<void()> mOnClose;
};
