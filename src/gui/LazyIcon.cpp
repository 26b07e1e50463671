#include "gui/LazyIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>

namespace quorvane {

namespace {

// Every question but "null?" goes to the made icon.
class LazyIconEngine final : public QIconEngine {
public:
    explicit LazyIconEngine(std::function<QIcon()> make) : make_(std::move(make)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        Made().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Made().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Made().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return Made().pixmap(size / scale, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Made().availableSizes(mode, state);
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        Made().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode,
                 QIcon::State state) override {
        Made().addFile(fileName, size, mode, state);
    }
    QString iconName() override { return Made().name(); }
    bool isNull() override { return made_ ? icon_.isNull() : false; }
    QString key() const override { return QStringLiteral("QuorvaneLazyIcon"); }
    QIconEngine* clone() const override {
        auto* copy = new LazyIconEngine(make_);
        copy->icon_ = icon_;
        copy->made_ = made_;
        return copy;
    }

private:
    QIcon& Made() {
        if (!made_) {
            made_ = true;
            icon_ = make_();
        }
        return icon_;
    }

    std::function<QIcon()> make_;
    QIcon icon_;
    bool made_ = false;
};

} // namespace

QIcon LazyIcon(std::function<QIcon()> make) {
    return QIcon(new LazyIconEngine(std::move(make)));
}

QIcon LazyStandardIcon(QStyle::StandardPixmap which) {
    return LazyIcon([which] { return QApplication::style()->standardIcon(which); });
}

} // namespace quorvane
