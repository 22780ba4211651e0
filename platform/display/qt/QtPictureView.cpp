#include "platform/display/qt/QtPictureView.h"

#include "platform/app/AppDefs.h"
#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtAbandonableBuffer.h"
#include "platform/display/qt/QtConversions.h"
#include "platform/display/qt/QtWindow.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/storage/BoundedFile.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTabletEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

// Qt refuses to decode pictures above 256 MB by default; a 16,000 x 16,000
// picture takes 1 GB as 32-bit pixels, and 2 GB still leaves room.
constexpr int kDecodeLimitMegabytes = 2048;
// A picture file is read whole before it is decoded; a quarter of what its
// pixels may take holds any compressed picture of that size.
constexpr size_t kLargestPictureFile = size_t(kDecodeLimitMegabytes / 4) * 1024 * 1024;

// Why the clipboard's picture, which Qt could not give, did not open.
QString PasteFailure(const QMimeData* data)
{
    if (data == nullptr || !data->hasImage())
        return "the clipboard holds no picture";
    for (const QString& format : data->formats()) {
        if (!format.startsWith("image/"))
            continue;
        QByteArray bytes = data->data(format);
        QBuffer buffer(&bytes);
        const QSize size = QImageReader(&buffer).size();
        if (size.isValid() && qint64(size.width()) * size.height() * 4 > qint64(kDecodeLimitMegabytes) << 20)
            return QString("the picture on the clipboard is too large (%1 x %2 pixels; at most %3 MB of pixels open)")
                .arg(size.width())
                .arg(size.height())
                .arg(kDecodeLimitMegabytes);
    }
    return "the picture on the clipboard cannot be read";
}

// The share of the screen a fitted window may take.
constexpr double kScreenShare = 0.8;

} // namespace

QtPictureView::QtPictureView(QWidget* parent, PeerAddress address, PeerId peer)
    : QWidget(parent)
    , fAddress(std::move(address))
    , fPeer(peer)
{
    // The limit is process-wide; it is set before the first decoding starts.
    static std::once_flag limitSet;
    std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kDecodeLimitMegabytes); });
    setMouseTracking(true);
    setAttribute(Qt::WA_TabletTracking);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
}

QtPictureView::~QtPictureView()
{
    // A decoding still under way ends at its next read; the quit waits for
    // Qt's pool to be idle.
    if (fAbandon)
        fAbandon->store(true);
}

void QtPictureView::Open(const std::string& path, bool fitWindow)
{
    if (path.empty()) {
        Finished(Decoded { {}, {}, "no file was named" }, path, "a picture", fitWindow);
        return;
    }
    // File names are bytes; only the title shows them as text.
    const size_t slash = path.rfind('/');
    StartDecoding(path, QImage(), QFile::decodeName(path.substr(slash == std::string::npos ? 0 : slash + 1).c_str()),
        fitWindow);
}

void QtPictureView::Choose()
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << "*." + QString::fromLatin1(format);
    auto* dialog = new QFileDialog(window(), "Open Picture", QString(),
        "Pictures (" + patterns.join(' ') + ");;All files (*)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this,
        [this](const QString& path) { Open(QFile::encodeName(path).toStdString(), true); });
    dialog->open();
}

void QtPictureView::Paste()
{
    const QImage pasted = QApplication::clipboard()->image();
    if (pasted.isNull()) {
        Finished(Decoded { {}, {}, PasteFailure(QApplication::clipboard()->mimeData()) }, std::string(), "Pasted",
            false);
        return;
    }
    StartDecoding(std::string(), pasted, "Pasted", true);
}

QtPictureView::Decoded QtPictureView::Decode(const std::string& path, const QImage& pasted, QSize previewBound,
    const std::shared_ptr<const std::atomic<bool>>& abandoned)
{
    Decoded decoded;
    if (path.empty()) {
        decoded.picture = pasted;
    } else {
        const BoundedFile file(path.c_str(), kLargestPictureFile, abandoned.get());
        if (file.InitCheck() != B_OK) {
            decoded.error = QString::fromStdString(file.Why());
            return decoded;
        }
        const QByteArray bytes = QByteArray::fromRawData(file.Bytes().data(), qsizetype(file.Bytes().size()));
        QtAbandonableBuffer buffer(&bytes, *abandoned);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        decoded.picture = reader.read();
        if (decoded.picture.isNull()) {
            decoded.error = reader.errorString();
            return decoded;
        }
    }
    if (abandoned->load())
        return decoded;
    const QSize size = decoded.picture.size();
    decoded.preview = size.width() > previewBound.width() || size.height() > previewBound.height()
        ? decoded.picture.scaled(previewBound, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : decoded.picture;
    decoded.preview = decoded.preview.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return decoded;
}

void QtPictureView::StartDecoding(const std::string& path, const QImage& pasted, const QString& name, bool fitWindow)
{
    const quint64 request = ++fNewestRequest;
    // Only the newest request is shown: an older one need not finish.
    if (fAbandon)
        fAbandon->store(true);
    fAbandon = std::make_shared<std::atomic<bool>>(false);
    // The preview need not be finer than the screen can show.
    const QSize bound = screen()->size() * screen()->devicePixelRatio();
    auto* watcher = new QFutureWatcher<Decoded>(this);
    connect(watcher, &QFutureWatcher<Decoded>::finished, this, [=, this] {
        watcher->deleteLater();
        // A newer request overtook this one.
        if (request == fNewestRequest)
            Finished(watcher->result(), path, name, fitWindow);
    });
    watcher->setFuture(QtConcurrent::run(&QtPictureView::Decode, path, pasted, bound,
        std::shared_ptr<const std::atomic<bool>>(fAbandon)));
}

void QtPictureView::Finished(const Decoded& decoded, const std::string& path, const QString& name, bool fitWindow)
{
    if (decoded.picture.isNull()) {
        fProblem = "Cannot open " + name + ": " + decoded.error;
        std::fprintf(stderr, "cannot open the picture %s: %s\n", path.empty() ? qPrintable(name) : path.c_str(),
            qPrintable(decoded.error));
        update();
        BMessage failed(kPictureFailed);
        failed.AddString(kNameField, name.toStdString().c_str());
        failed.AddString(kPathField, path.c_str());
        failed.AddString(kErrorField, decoded.error.toStdString().c_str());
        fAddress.Post(failed);
        return;
    }
    fPicture = decoded.picture;
    fPreview = decoded.preview;
    fScaled = QPixmap();
    fProblem.clear();
    if (fitWindow)
        FitWindow(fPicture.size());
    update();
    BMessage opened(kPictureOpened);
    opened.AddString(kNameField, name.toStdString().c_str());
    opened.AddString(kPathField, path.c_str());
    opened.AddPoint(kPictureSizeField, BPoint(float(fPicture.width()), float(fPicture.height())));
    fAddress.Post(opened);
}

void QtPictureView::FitWindow(QSize pictureSize)
{
    auto* top = dynamic_cast<QtWindow*>(window());
    if (top == nullptr || top->IsFullScreen())
        return;
    const QSize bound = screen()->availableSize() * kScreenShare;
    QSize size = pictureSize;
    if (size.width() > bound.width() || size.height() > bound.height())
        size.scale(bound, Qt::KeepAspectRatio);
    // The window holds nothing but this view.
    top->Resize(size.expandedTo(QSize(1, 1)));
}

QRect QtPictureView::PictureRect() const
{
    if (fPicture.isNull())
        return QRect();
    QSize shown = fPicture.size();
    shown.scale(size(), Qt::KeepAspectRatio);
    shown = shown.expandedTo(QSize(1, 1));
    return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

void QtPictureView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    const QRect target = PictureRect();
    if (!target.isEmpty()) {
        if (fScaled.size() != target.size())
            fScaled = QPixmap::fromImage(
                fPreview.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        painter.drawPixmap(target.topLeft(), fScaled);
    }
    if (fProblem.isEmpty() && fPicture.isNull())
        return;
    if (!fProblem.isEmpty()) {
        const QRect banner(0, 0, width(), fontMetrics().height() * 2);
        painter.fillRect(banner, QColor(0, 0, 0, 200));
        painter.setPen(Qt::white);
        painter.drawText(banner, Qt::AlignCenter | Qt::TextSingleLine, fProblem);
    }
}

void QtPictureView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

void QtPictureView::mousePressEvent(QMouseEvent* event)
{
    PostPointer(B_MOUSE_DOWN, event->position(), event->buttons(), event->device());
}

void QtPictureView::mouseMoveEvent(QMouseEvent* event)
{
    PostMouseMove(event->position(), event->buttons(), event->device());
}

void QtPictureView::enterEvent(QEnterEvent* event)
{
    // A pointer that jumps in (warped, or moved by a remote or virtual
    // device) comes with no motion of its own on Wayland; where it came in
    // is where it is.
    PostMouseMove(event->position(), QGuiApplication::mouseButtons(), event->device());
}

void QtPictureView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    fLastMouseMove.reset();
    BMessage left(kPointerLeftView);
    left.AddInt64(kPeerField, int64(fPeer));
    fAddress.Post(left);
}

void QtPictureView::PostMouseMove(QPointF position, Qt::MouseButtons buttons, const QInputDevice* device)
{
    if (fLastMouseMove == std::pair(position, buttons))
        return;
    fLastMouseMove = std::pair(position, buttons);
    PostPointer(B_MOUSE_MOVED, position, buttons, device);
}

void QtPictureView::mouseReleaseEvent(QMouseEvent* event)
{
    PostPointer(B_MOUSE_UP, event->position(), event->buttons(), event->device());
}

void QtPictureView::tabletEvent(QTabletEvent* event)
{
    const TabletTool tool { float(std::clamp(event->pressure(), 0.0, 1.0)),
        event->pointerType() == QPointingDevice::PointerType::Eraser };
    switch (event->type()) {
    case QEvent::TabletPress: PostPointer(B_MOUSE_DOWN, event->position(), event->buttons(), event->device(), &tool); break;
    case QEvent::TabletMove: PostPointer(B_MOUSE_MOVED, event->position(), event->buttons(), event->device(), &tool); break;
    case QEvent::TabletRelease: PostPointer(B_MOUSE_UP, event->position(), event->buttons(), event->device(), &tool); break;
    default: return;
    }
    // Accepted, so that Qt makes no mouse event of it as well.
    event->accept();
}

void QtPictureView::keyPressEvent(QKeyEvent* event)
{
    auto* top = dynamic_cast<QtWindow*>(window());
    if (event->key() == Qt::Key_F11 && top != nullptr)
        top->SetFullScreen(!top->IsFullScreen());
    else if (event->key() == Qt::Key_Escape && top != nullptr && top->IsFullScreen())
        top->SetFullScreen(false);
    else if (event->matches(QKeySequence::Paste))
        Paste();
    else if (event->matches(QKeySequence::Open))
        Choose();
    else
        QWidget::keyPressEvent(event);
}

void QtPictureView::PostPointer(
    uint32 what, QPointF position, Qt::MouseButtons buttons, const QInputDevice* device, const TabletTool* tool)
{
    BMessage message = PointerMessage(what, position, PointerButtons(buttons), fPeer);
    static const bool onX11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (onX11 && device != nullptr)
        message.AddInt32("be:device", int32(device->systemId()));
    if (tool != nullptr) {
        message.AddFloat("be:tablet_pressure", tool->pressure);
        message.AddBool("be:tablet_eraser", tool->eraser);
    }
    const QRect shown = PictureRect();
    if (!shown.isEmpty()) {
        message.AddRect(kPictureFrameField, BRect(shown.left(), shown.top(), shown.right(), shown.bottom()));
        const QPoint pixel(qFloor(position.x()), qFloor(position.y()));
        if (shown.contains(pixel)) {
            // The original's pixel nearest to the centre of the shown one.
            const int column = std::min(fPicture.width() - 1,
                int((pixel.x() - shown.left() + 0.5) * fPicture.width() / shown.width()));
            const int row = std::min(fPicture.height() - 1,
                int((pixel.y() - shown.top() + 0.5) * fPicture.height() / shown.height()));
            message.AddInt32(kPictureColorField, int32(fPicture.pixel(column, row) & 0xffffff));
        }
    }
    fAddress.Post(message);
}
