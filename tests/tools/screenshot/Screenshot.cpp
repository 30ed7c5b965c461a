// torvane-screenshot FILE.png [X Y W H]: saves the whole X screen (the root
// window), or the given rectangle of it, as a PNG. Run on the xcb platform
// against the display to capture.

#include <cstdio>

#include <QByteArray>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: torvane-screenshot FILE.png [X Y W H]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "torvane-screenshot: no screen\n");
        return 1;
    }
    int area[4] = {0, 0, -1, -1};
    for (int i = 0; argc == 6 && i < 4; ++i) {
        area[i] = QByteArray(argv[2 + i]).toInt();
    }
    const QPixmap shot = screen->grabWindow(0, area[0], area[1], area[2], area[3]);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "torvane-screenshot: could not grab or save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
