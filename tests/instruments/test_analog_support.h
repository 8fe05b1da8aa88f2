#pragma once
// Helpers of the instrument tests: paint-event recording and pixel searches
// in rendered images.

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPaintEvent>
#include <QPointF>
#include <QRect>
#include <QRegion>

#include <functional>

// Records the paint events a widget receives: how many, and the region they
// covered together.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QObject* target) { target->installEventFilter(this); }
    int events = 0;
    QRegion painted;
    void Reset()
    {
        events = 0;
        painted = QRegion();
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++events;
            painted += static_cast<QPaintEvent*>(e)->region();
        }
        return false;
    }
};

// The centre of gravity of the pixels inside `area` that match; count gets
// the number of pixels found.
inline QPointF Centroid(const QImage& image, const QRect& area, const std::function<bool(QColor)>& match,
                        int* count = nullptr)
{
    double sx = 0, sy = 0;
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (match(image.pixelColor(x, y))) {
                sx += x;
                sy += y;
                ++n;
            }
    if (count != nullptr)
        *count = n;
    return n > 0 ? QPointF(sx / n, sy / n) : QPointF(-1, -1);
}

// A colour close to c in every channel.
inline std::function<bool(QColor)> Near(QColor c, int tolerance = 40)
{
    return [c, tolerance](QColor p) {
        return std::abs(p.red() - c.red()) <= tolerance && std::abs(p.green() - c.green()) <= tolerance &&
               std::abs(p.blue() - c.blue()) <= tolerance;
    };
}
