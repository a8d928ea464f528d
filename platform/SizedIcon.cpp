#include "platform/SizedIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <map>

namespace platform {

namespace {
class SizedIconEngine : public QIconEngine {
public:
    SizedIconEngine(const QString& pattern, QList<int> sizes)
        : pattern_(pattern), sizes_(std::move(sizes)) {
        std::sort(sizes_.begin(), sizes_.end());
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        if (sizes_.isEmpty() || size.isEmpty())
            return {};
        const int wanted = std::max(size.width(), size.height());
        // The smallest image at least as large, else the largest: drawn smaller, never
        // blown up.
        const auto at = std::lower_bound(sizes_.cbegin(), sizes_.cend(), wanted);
        const int from = at == sizes_.cend() ? sizes_.last() : *at;
        auto found = loaded_.find(from);
        if (found == loaded_.end())
            found = loaded_.emplace(from, QPixmap(pattern_.arg(from))).first;
        const QPixmap& image = found->second;
        if (image.isNull() || image.size() == actual(size))
            return image;
        return image.scaled(actual(size), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return actual(size); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> all;
        for (int s : sizes_)
            all.append(QSize(s, s));
        return all;
    }

    QIconEngine* clone() const override { return new SizedIconEngine(*this); }
    QString key() const override { return QStringLiteral("korvan-sized"); }

private:
    QSize actual(const QSize& size) const {
        if (sizes_.isEmpty())
            return {};
        const int side = std::min({size.width(), size.height(), sizes_.last()});
        return QSize(side, side);
    }

    QString pattern_;
    QList<int> sizes_;
    std::map<int, QPixmap> loaded_;
};
} // namespace

QIcon sizedIcon(const QString& pattern, const QList<int>& sizes) {
    return QIcon(new SizedIconEngine(pattern, sizes));
}

} // namespace platform
