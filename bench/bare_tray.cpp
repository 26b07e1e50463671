// The yardstick for the desktop program: a bare Qt 6 program that shows six
// static tray icons (a coloured square with a number) and does nothing else.
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <array>
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
    return app.exec();
}
