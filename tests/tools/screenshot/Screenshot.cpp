// torvane-screenshot FILE.png: saves the whole X screen (the root window) as
// a PNG. Run on the xcb platform against the display to capture.

#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: torvane-screenshot FILE.png\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "torvane-screenshot: no screen\n");
        return 1;
    }
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "torvane-screenshot: could not grab or save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
