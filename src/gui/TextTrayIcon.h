// A tray icon drawn from a short text: the drive's temperature on a plain
// background inside a one-pixel frame.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>

#include "gui/CoolTrayIcon.h"
#include "monitor/TextIcon.h"

namespace quorvane {

struct TextIconLook {
    QString Text = TextIconDefaultText;
    QFont Font;
    uint32_t FontColor = TextIconDefaultFontColor;
    uint32_t Color = TextIconDefaultColor; // ColorNone: transparent background
    bool Border = true;
    uint32_t BorderColor = TextIconDefaultBorderColor;
    TextIconOffsets Options;
};

// Draws the 16 x 16 image. Pixels of the background colour are transparent
// when Color is none; otherwise the image is fully opaque.
QImage RenderTextIcon(const TextIconLook& look);

// The image as a tray icon, also enlarged pixel by pixel for trays that show
// icons bigger than 16 x 16, so the digits stay sharp.
QIcon TextIconToIcon(const QImage& image);

class TTextTrayIcon : public TCoolTrayIcon {
    Q_OBJECT

public:
    TTextTrayIcon(QWidget* owner, QObject* parent);

    // Every change renders the icon again at once.
    QString Text() const { return look_.Text; }
    void SetText(const QString& text);
    QFont Font() const { return look_.Font; }
    void SetFont(const QFont& font);
    uint32_t FontColor() const { return look_.FontColor; }
    void SetFontColor(uint32_t color);
    uint32_t Color() const { return look_.Color; }
    void SetColor(uint32_t color);
    bool Border() const { return look_.Border; }
    void SetBorder(bool border);
    uint32_t BorderColor() const { return look_.BorderColor; }
    void SetBorderColor(uint32_t color);
    void SetOptions(const TextIconOffsets& options);

    // The image last rendered.
    const QImage& Image() const { return image_; }

private:
    void Render();

    TextIconLook look_;
    QImage image_;
};

} // namespace quorvane
