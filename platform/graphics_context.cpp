#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainterPath>

#include "platform/qt/painting.h"
#include "platform/screen_space.h"

namespace kg {

QFont toQFont(const Font& font) {
    QFont f = QGuiApplication::font();
    // One point is one logical pixel here, so sizes are pixel sizes.
    f.setPixelSize(std::max(1, static_cast<int>(font.size_points + 0.5)));
    switch (font.weight) {
        case FontWeight::Regular: f.setWeight(QFont::Normal); break;
        case FontWeight::Medium: f.setWeight(QFont::Medium); break;
        case FontWeight::Semibold: f.setWeight(QFont::DemiBold); break;
        case FontWeight::Bold: f.setWeight(QFont::Bold); break;
    }
    // The user-interface family installed everywhere we run (DejaVu Sans) already has digits
    // of equal width; the monospaced-digit design needs nothing more.
    if (font.design == Font::Design::Monospaced) {
        f.setFamilies({QStringLiteral("monospace")});
        f.setStyleHint(QFont::Monospace);
        f.setFixedPitch(true);
    }
    return f;
}

QColor toQColor(const Color& c) {
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return QColor::fromRgbF(static_cast<float>(clamp(c.r)), static_cast<float>(clamp(c.g)),
                            static_cast<float>(clamp(c.b)), static_cast<float>(clamp(c.a)));
}

Size measureText(const std::string& utf8, const TextAttributes& attributes) {
    const QFontMetricsF metrics(toQFont(attributes.font));
    return {metrics.horizontalAdvance(QString::fromStdString(utf8)),
            metrics.ascent() + metrics.descent()};
}

namespace {

QRectF toViewPixels(const Rect& r, double viewHeight) {
    const Rect d = flipInHeight(r, viewHeight);
    return {d.x, d.y, d.width, d.height};
}

QPainterPath toQPath(const Path& path, double viewHeight) {
    QPainterPath out;
    const QRectF r = toViewPixels(path.rect, viewHeight).normalized();
    switch (path.kind) {
        case Path::Kind::Rect: out.addRect(r); break;
        case Path::Kind::RoundedRect: out.addRoundedRect(r, path.radiusX, path.radiusY); break;
        case Path::Kind::Oval: out.addEllipse(r); break;
    }
    return out;
}

}  // namespace

void GraphicsContext::fillRect(const Rect& rect, const Color& color,
                               CompositingOperation operation) {
    QPainter& p = impl_.painter;
    const QRectF target = toViewPixels(rect, impl_.viewHeight).normalized();
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (operation) {
        case CompositingOperation::Clear:
            if (impl_.backdrop) {
                // Without a compositing manager "transparent" means the picture of the screen
                // that was below the window.
                p.setClipRect(target, Qt::IntersectClip);
                p.setCompositionMode(QPainter::CompositionMode_Source);
                p.drawPixmap(-impl_.viewOriginInWindow, *impl_.backdrop);
            } else {
                p.setCompositionMode(QPainter::CompositionMode_Clear);
                p.fillRect(target, Qt::transparent);
            }
            break;
        case CompositingOperation::Copy:
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(target, toQColor(color));
            break;
        case CompositingOperation::SourceOver:
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.fillRect(target, toQColor(color));
            break;
    }
    p.restore();
}

void GraphicsContext::fill(const Path& path, const Color& color) {
    QPainter& p = impl_.painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, path.kind != Path::Kind::Rect);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillPath(toQPath(path, impl_.viewHeight), toQColor(color));
    p.restore();
}

void GraphicsContext::stroke(const Path& path, const Color& color, double lineWidth) {
    QPainter& p = impl_.painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPen pen(toQColor(color), lineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    p.strokePath(toQPath(path, impl_.viewHeight), pen);
    p.restore();
}

Size GraphicsContext::measureText(const std::string& utf8, const TextAttributes& attributes) {
    return kg::measureText(utf8, attributes);
}

void GraphicsContext::drawText(const std::string& utf8, Point lowerLeft,
                               const TextAttributes& attributes) {
    QPainter& p = impl_.painter;
    const QFont font = toQFont(attributes.font);
    const QFontMetricsF metrics(font);
    const QString text = QString::fromStdString(utf8);
    const double width = metrics.horizontalAdvance(text);
    const double height = metrics.ascent() + metrics.descent();
    // Line box in view pixels (y down): its bottom is the y-up lowerLeft.
    const double boxTop = impl_.viewHeight - lowerLeft.y - height;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (attributes.background.a > 0) {
        p.fillRect(QRectF(lowerLeft.x, boxTop, width, height), toQColor(attributes.background));
    }
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(font);
    p.setPen(toQColor(attributes.foreground));
    p.drawText(QPointF(lowerLeft.x, boxTop + metrics.ascent()), text);
    p.restore();
}

void paintViewTree(QPainter& painter, View& view, QPointF originInWindow, const QPixmap* backdrop) {
    if (view.isHidden()) return;
    const Rect bounds = view.bounds();
    painter.save();
    painter.translate(originInWindow);
    painter.setClipRect(QRectF(0, 0, bounds.width, bounds.height), Qt::IntersectClip);
    GraphicsContext::Impl impl{painter, bounds.height, originInWindow, backdrop};
    GraphicsContext context(impl);
    view.draw(context);
    painter.restore();
    // Subviews: frames are y-up in this view's space.
    for (const auto& sub : view.subviews()) {
        const Rect f = sub->frame();
        const QPointF subOrigin = originInWindow + QPointF(f.x, bounds.height - f.y - f.height);
        painter.save();
        painter.setClipRect(QRectF(originInWindow, QSizeF(bounds.width, bounds.height)),
                            Qt::IntersectClip);
        paintViewTree(painter, *sub, subOrigin, backdrop);
        painter.restore();
    }
}

}  // namespace kg
