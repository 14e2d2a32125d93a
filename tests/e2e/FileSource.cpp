// Another program's window that a file can be dragged from, as from a file
// manager: the end-to-end tests press the mouse on it through the X server,
// drag and let go over Ferlow. It says on standard output, a line each, what
// became of the drag: "shown" once its window is drawn, "dragging" once the
// drag has begun, "accepted" while the
// window under the pointer would take the file, "dropped copy" or "dropped
// none" when the button went up. It goes on running, as a file manager
// does: the target asks the source for the file's name once it has the drop.
//
//   ferlow-test-file-source FILE X Y SIDE
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

class FileSource : public QWidget {
public:
    explicit FileSource(QString path) : mPath(std::move(path)) { setWindowTitle(QStringLiteral("Files")); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), QColor(0x20, 0x60, 0xa0));
        if (!mShown) {
            mShown = true;
            say("shown");
        }
    }

    void mousePressEvent(QMouseEvent* event) override { mPressedAt = event->position().toPoint(); }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton)
            || (event->position().toPoint() - mPressedAt).manhattanLength() < QApplication::startDragDistance())
            return;
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(mPath)});
        drag->setMimeData(data);
        connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction)
                say("accepted");
        });
        // From here on every move of the pointer is the drag's: one that
        // came before may have been folded into the move that began it, and
        // told no window of the drag.
        say("dragging");
        say(drag->exec(Qt::CopyAction) == Qt::CopyAction ? "dropped copy" : "dropped none");
    }

private:
    QString mPath;
    QPoint mPressedAt;
    bool mShown = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: ferlow-test-file-source FILE X Y SIDE\n");
        return 2;
    }
    FileSource window(arguments[1]);
    const int side = arguments[4].toInt();
    window.setGeometry(arguments[2].toInt(), arguments[3].toInt(), side, side);
    window.show();
    return QApplication::exec();
}
