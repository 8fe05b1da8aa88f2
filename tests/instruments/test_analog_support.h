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
class TPaintRecorder : public QObject {
public:
  explicit TPaintRecorder(QObject* Target) { Target->installEventFilter(this); }
  int Events = 0;
  QRegion Painted;
  void Reset() {
    Events = 0;
    Painted = QRegion();
  }

protected:
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Paint) {
      ++Events;
      Painted += static_cast<QPaintEvent*>(E)->region();
    }
    return false;
  }
};

// The centre of gravity of the pixels inside `Area` that match; Count gets
// the number of pixels found.
inline QPointF Centroid(const QImage& Image, const QRect& Area, const std::function<bool(QColor)>& Match,
                        int* Count = nullptr) {
  double Sx = 0, Sy = 0;
  int N = 0;
  const QRect R = Area.intersected(Image.rect());
  for (int Y = R.top(); Y <= R.bottom(); ++Y)
    for (int X = R.left(); X <= R.right(); ++X)
      if (Match(Image.pixelColor(X, Y))) {
        Sx += X;
        Sy += Y;
        ++N;
      }
  if (Count != nullptr) *Count = N;
  return N > 0 ? QPointF(Sx / N, Sy / N) : QPointF(-1, -1);
}

// A colour close to C in every channel.
inline std::function<bool(QColor)> Near(QColor C, int Tolerance = 40) {
  return [C, Tolerance](QColor P) {
    return std::abs(P.red() - C.red()) <= Tolerance && std::abs(P.green() - C.green()) <= Tolerance &&
           std::abs(P.blue() - C.blue()) <= Tolerance;
  };
}
