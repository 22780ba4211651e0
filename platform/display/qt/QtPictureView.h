#pragma once

// QtPictureView: the widget of a picture view. It fills its window, draws
// the picture scaled to fit with its aspect kept and centred, and posts the
// pointer's and the pen's events to the API view with the picture under
// them (see DisplayMessages.h). Pictures are decoded on Qt's thread pool;
// only the newest request is shown, and one that fails leaves the picture
// as it was, with the reason written over it until the next one opens.
// F11 toggles full screen, Escape leaves it.
//
// Thread rules: main thread only; the decoding runs elsewhere on copies and
// comes back through a QFutureWatcher, whose signal arrives on this thread.
// A decoding that nobody will see (overtaken, or its view gone) is
// abandoned, so that the quit, which waits for Qt's pool, need not wait for
// it to finish.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QImage>
#include <QInputDevice>
#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <utility>

class QtPictureView final : public QWidget {
public:
    QtPictureView(QWidget* parent, PeerAddress address, PeerId peer);
    ~QtPictureView() override;

    // `path` as the file system names it, in whatever encoding.
    void Open(const std::string& path, bool fitWindow);
    void Choose();
    void Paste();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Decoded {
        QImage picture;
        QImage preview; // small enough to draw quickly
        QString error;
    };
    // Runs off the main thread: reads `path`, or takes `pasted` when the
    // path is empty. Once `abandoned` is set it stops at its next read or
    // step, with a result nobody looks at.
    static Decoded Decode(const std::string& path, const QImage& pasted, QSize previewBound,
        const std::shared_ptr<const std::atomic<bool>>& abandoned);

    void StartDecoding(const std::string& path, const QImage& pasted, const QString& name, bool fitWindow);
    void Finished(const Decoded& decoded, const std::string& path, const QString& name, bool fitWindow);
    void FitWindow(QSize pictureSize);
    QRect PictureRect() const;
    struct TabletTool {
        float pressure;
        bool eraser;
    };
    // Only events of a pen or an eraser carry the tablet's fields. On X11,
    // `device`'s system id is its XInput id, which the pointer service names.
    void PostPointer(uint32 what, QPointF position, Qt::MouseButtons buttons, const QInputDevice* device,
        const TabletTool* tool = nullptr);
    // A mouse motion, unless it is where the last one was.
    void PostMouseMove(QPointF position, Qt::MouseButtons buttons, const QInputDevice* device);

    PeerAddress fAddress;
    PeerId fPeer;
    // Where the last mouse motion or enter was played, with its buttons:
    // Qt may report one motion both ways, and it is played once.
    std::optional<std::pair<QPointF, Qt::MouseButtons>> fLastMouseMove;
    QImage fPicture;
    QImage fPreview;
    QPixmap fScaled; // the preview at the size it is drawn
    QString fProblem;
    quint64 fNewestRequest = 0;
    // Set to abandon the newest request's decoding.
    std::shared_ptr<std::atomic<bool>> fAbandon;
};
