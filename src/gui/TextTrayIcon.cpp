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

QImage EnlargeTextIcon(const QImage& image, int size) {
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage out(size, size, QImage::Format_ARGB32);
    const int width = source.width(), height = source.height();
    if (width == 0 || height == 0 || size <= 0)
        return out;
    // Each pixel takes the source pixel under its centre; a centre on the
    // edge between two source pixels takes the first of them, as Qt does.
    const auto under = [size](int at, int length) { return ((2 * at + 1) * length - 1) / (2 * size); };
    for (int y = 0; y < size; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(under(y, height)));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size; ++x)
            to[x] = from[under(x, width)];
    }
    return out;
}

QIcon TextIconToIcon(const QImage& image) {
    // Trays commonly ask for 16 to 48 pixels; a smooth enlargement would blur
    // the one-pixel strokes.
    QIcon icon;
    for (int size : TextIconTraySizes)
        icon.addPixmap(QPixmap::fromImage(EnlargeTextIcon(image, size)));
    return icon;
}

TTextTrayIcon::TTextTrayIcon(QWidget* owner, QObject* parent) : TCoolTrayIcon(owner, parent) {
    look_.Font = TrayIconFont();
    Apply();
}

template <typename T> void TTextTrayIcon::Change(T& field, const T& value) {
    if (field == value)
        return;
    field = value;
    imageStale_ = true;
    iconStale_ = true;
    // One queued apply for any number of changes in a row.
    if (!applyQueued_) {
        applyQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                applyQueued_ = false;
                Apply();
            },
            Qt::QueuedConnection);
    }
}

void TTextTrayIcon::SetText(const QString& text) {
    Change(look_.Text, text);
}

void TTextTrayIcon::SetFont(const QFont& font) {
    Change(look_.Font, font);
}

void TTextTrayIcon::SetFontColor(uint32_t color) {
    Change(look_.FontColor, color);
}

void TTextTrayIcon::SetColor(uint32_t color) {
    Change(look_.Color, color);
}

void TTextTrayIcon::SetBorder(bool border) {
    Change(look_.Border, border);
}

void TTextTrayIcon::SetBorderColor(uint32_t color) {
    Change(look_.BorderColor, color);
}

void TTextTrayIcon::SetOptions(const TextIconOffsets& options) {
    Change(look_.Options, options);
}

void TTextTrayIcon::RenderIfStale() const {
    if (!imageStale_)
        return;
    image_ = RenderTextIcon(look_);
    imageStale_ = false;
    ++renders_;
}

const QImage& TTextTrayIcon::Image() const {
    RenderIfStale();
    return image_;
}

QIcon TTextTrayIcon::Icon() const {
    // The tray's icon lags a change until the queued apply; a reader sees
    // the icon of the look as it is now.
    if (iconStale_)
        const_cast<TTextTrayIcon*>(this)->Apply();
    return TCoolTrayIcon::Icon();
}

void TTextTrayIcon::Apply() {
    if (!iconStale_)
        return;
    RenderIfStale();
    SetIcon(TextIconToIcon(image_));
    iconStale_ = false;
    ++handOvers_;
}

} // namespace quorvane
