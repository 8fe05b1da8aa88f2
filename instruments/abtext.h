#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "abpersistent.h"

class QFontMetrics;
class QPainter;

// A font as the instrument settings keep it: family name, pixel height, bold,
// and a colour (QFont has none, the instruments draw their texts in the
// colour of the font they are drawn with). Sizes are given in points at
// 96 dots per inch, as the instruments were laid out; the pixel height is
// what is used, so the look does not depend on the screen's resolution.
// Families the platform lacks ("MS Sans Serif", "System", "Arial") fall back
// to the nearest sans-serif face that is installed.
class TAbFont : public TAbPersistent {
public:
  TAbFont();
  TAbFont(const QString& FontName, int Points, const QColor& FontColor = Qt::black);
  // A copy takes the properties, not the change handler. Assigning to an
  // existing font goes through Assign(), which notifies.
  TAbFont(const TAbFont& Other);
  TAbFont& operator=(const TAbFont&) = delete;

  void Assign(const TAbPersistent& Source) override;
  const char* ClassName() const override { return "TAbFont"; }

  const QString& Name() const { return FName; }
  void SetName(const QString& NewName);
  // Size in points at 96 dpi (8 is 11 pixels, 10 is 13 pixels).
  int Size() const;
  void SetSize(int Points);
  // Height in pixels; at least 1, at most 1000.
  int Height() const { return FHeight; }
  void SetHeight(int Pixels);
  bool Bold() const { return FBold; }
  void SetBold(bool NewBold);
  const QColor& Color() const { return FColor; }
  void SetColor(const QColor& NewColor);

  // The Qt font to draw with, with the fallback families.
  QFont Font() const;

private:
  QString FName;
  int FHeight;
  bool FBold = false;
  QColor FColor;
};

// Aligned text output. The anchor code is 3 x vertical + horizontal, with
// horizontal 0 = left edge, 1 = middle, 2 = right edge and vertical 0 = top,
// 1 = middle, 2 = bottom: 4 centres the text on the point, 3 puts its left
// edge on it, 5 its right edge (both vertically centred), 7 its bottom
// middle. Codes outside 0..8 are taken as 0. Half sizes use integer division.
QPoint AbTextOrigin(int X, int Y, int Anchor, QSize TextSize);

// The box of a text in the given metrics: advance width and full height.
QSize AbTextSize(const QFontMetrics& Metrics, const QString& Text);

// Writes text with the painter's current font and pen so that the anchor of
// its box lies on (x, y); returns the box drawn into.
QRect AbTextOut(QPainter& Canvas, int X, int Y, int Anchor, const QString& Text);
