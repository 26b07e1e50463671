// The yardstick for the desktop program: a bare Qt 6 program that shows six
// static tray icons (a coloured square with a number) and does nothing else.
// With --timer it also wakes every 15 s and does nothing then: the floor of a
// program that monitors anything on a 15 s tick.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::array<std::unique_ptr<QSystemTrayIcon>, 6> icons;
    for (int i = 0; i < 6; ++i) {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor(0, 0, 128));
        QPainter painter(&pixmap);
        painter.setPen(Qt::yellow);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::number(30 + i));
        painter.end();
        icons[i] = std::make_unique<QSystemTrayIcon>(QIcon(pixmap));
        icons[i]->setToolTip(QStringLiteral("Drive %1").arg(i + 1));
        icons[i]->show();
    }
    QTimer tick;
    if (argc > 1 && std::strcmp(argv[1], "--timer") == 0) {
        QObject::connect(&tick, &QTimer::timeout, [] {});
        tick.start(15000);
    }
    return app.exec();
}
