#include "gui/TextTrayIcon.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include "gui/Colors.h"
#include "gui/Fonts.h"

namespace quorvane {

QImage RenderTextIcon(const TextIconLook& look) {
    const uint32_t back = TextIconBackground(look.Color, look.FontColor);
    QImage image(TextIconSize, TextIconSize, QImage::Format_ARGB32);
    image.fill(ColorFromRef(back));
    {
        QPainter painter(&image);
        painter.setFont(look.Font);
        painter.setPen(ColorFromRef(look.FontColor));
        painter.setBackground(ColorFromRef(back));
        painter.setBackgroundMode(Qt::OpaqueMode);
        const QFontMetrics metrics(look.Font);
        const MeasureText measure = [&metrics](const std::string& text) {
            const QString q = QString::fromStdString(text);
            return TextExtent{metrics.horizontalAdvance(q), metrics.height()};
        };
        for (const TextIconLine& line :
             LayoutTextIcon(look.Text.toStdString(), measure, look.Options))
            painter.drawText(line.X, line.Y + metrics.ascent(), QString::fromStdString(line.Text));
        if (look.Border) {
            painter.setPen(ColorFromRef(look.BorderColor));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(0, 0, TextIconSize - 1, TextIconSize - 1);
        }
    }
    if (TextIconTransparent(look.Color)) {
        const QRgb key = ColorFromRef(back).rgb();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == key)
                    image.setPixel(x, y, qRgba(0, 0, 0, 0));
    }
    return image;
}

QIcon TextIconToIcon(const QImage& image) {
    // Trays commonly ask for 16 to 48 pixels; a smooth enlargement would blur
    // the one-pixel strokes.
    QIcon icon;
    for (int size : {16, 20, 22, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(
            image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    return icon;
}

TTextTrayIcon::TTextTrayIcon(QWidget* owner, QObject* parent) : TCoolTrayIcon(owner, parent) {
    look_.Font = TrayIconFont();
    Render();
}

void TTextTrayIcon::SetText(const QString& text) {
    look_.Text = text;
    Render();
}

void TTextTrayIcon::SetFont(const QFont& font) {
    look_.Font = font;
    Render();
}

void TTextTrayIcon::SetFontColor(uint32_t color) {
    look_.FontColor = color;
    Render();
}

void TTextTrayIcon::SetColor(uint32_t color) {
    look_.Color = color;
    Render();
}

void TTextTrayIcon::SetBorder(bool border) {
    look_.Border = border;
    Render();
}

void TTextTrayIcon::SetBorderColor(uint32_t color) {
    look_.BorderColor = color;
    Render();
}

void TTextTrayIcon::SetOptions(const TextIconOffsets& options) {
    look_.Options = options;
    Render();
}

void TTextTrayIcon::Render() {
    image_ = RenderTextIcon(look_);
    SetIcon(TextIconToIcon(image_));
}

} // namespace quorvane
