// A full-screen window of known colours for the screen-sharing test: the
// left half red and the right half blue, until a line on standard input
// turns the left half green; with --flash the left half changes between
// red and green 30 times a second instead. A native Wayland client (Qt's wayland
// platform), so that only the compositor shows it.

#include <QApplication>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace {

class Colours final : public QWidget {
public:
    void Change()
    {
        fLeft = fLeft == QColor(0xff, 0x00, 0x00) ? QColor(0x00, 0xff, 0x00) : QColor(0xff, 0x00, 0x00);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(0, 0, width() / 2, height(), fLeft);
        painter.fillRect(width() / 2, 0, width() - width() / 2, height(), QColor(0x00, 0x00, 0xff));
    }

private:
    QColor fLeft { 0xff, 0x00, 0x00 };
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Colours window;
    window.setWindowTitle("Colours");
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (read(STDIN_FILENO, line, sizeof line) <= 0)
            input.setEnabled(false);
        else
            window.Change();
    });
    QTimer flash;
    if (argc > 1 && QString(argv[1]) == "--flash") {
        QObject::connect(&flash, &QTimer::timeout, [&] { window.Change(); });
        flash.setTimerType(Qt::PreciseTimer);
        flash.start(1000 / 30);
    }
    window.showFullScreen();
    return application.exec();
}
