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

// The sizes a tray icon carries: trays commonly ask for 16 to 48 pixels.
inline constexpr int TextIconTraySizes[] = {16, 20, 22, 24, 32, 48};

// The image enlarged pixel by pixel to size x size (nearest neighbour, as
// QImage::scaled with Qt::FastTransformation gives it, without a painter).
QImage EnlargeTextIcon(const QImage& image, int size);

// The image as a tray icon, also enlarged pixel by pixel for trays that show
// icons bigger than 16 x 16, so the digits stay sharp.
QIcon TextIconToIcon(const QImage& image);

class TTextTrayIcon : public TCoolTrayIcon {
    Q_OBJECT

public:
    TTextTrayIcon(QWidget* owner, QObject* parent);

    // A setter changes the look only when the value is new, and then marks
    // the icon for one render and one hand-over to the tray, done by Apply:
    // at the latest from the event loop right after the change, or earlier
    // when the caller applies (the tray bank at the end of a monitoring tick).
    // However many setters a tick calls, the tray gets one new icon, and
    // none when nothing changed.
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

    // Renders a changed look and hands the icon to the tray; nothing when
    // nothing changed since the last hand-over.
    void Apply();

    // The image of the current look (a change not yet applied is rendered now).
    const QImage& Image() const;
    // The icon of the current look, as the tray gets it.
    QIcon Icon() const override;

    // How often the image was rendered and the icon handed to the tray.
    int RenderCount() const { return renders_; }
    int HandOverCount() const { return handOvers_; }

private:
    // Takes value into field; a new value marks the look changed.
    template <typename T> void Change(T& field, const T& value);
    void RenderIfStale() const;

    TextIconLook look_;
    mutable QImage image_;
    mutable bool imageStale_ = true;
    bool iconStale_ = true;
    bool applyQueued_ = false;
    mutable int renders_ = 0;
    int handOvers_ = 0;
};

} // namespace quorvane
