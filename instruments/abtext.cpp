#include "abtext.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MinHeight = 1;
constexpr int MaxHeight = 1000;

int PixelsOfPoints(int Points) {
  // 96 dots per inch, 72 points per inch; a size of 0 or less is taken as 1.
  const long long Px = std::llround(static_cast<double>(std::max(Points, 1)) * 96.0 / 72.0);
  return static_cast<int>(std::clamp<long long>(Px, MinHeight, MaxHeight));
}

// Installed faces that stand in for the Windows fonts the instruments name:
// Liberation Sans, Arial, Nimbus Sans and Helvetica share their proportions
// and carry Cyrillic; the window's form font falls back the same way.
QStringList FamiliesFor(const QString& Name) {
  QStringList Families{Name};
  const QString Lower = Name.toLower();
  if (Lower == QLatin1String("system") || Lower.contains(QLatin1String("sans serif")))
    Families << QStringLiteral("Microsoft Sans Serif");
  for (const char* Face : {"Liberation Sans", "Arial", "Nimbus Sans", "Helvetica", "DejaVu Sans"})
    if (Lower != QLatin1String(Face).toString().toLower()) Families << QString::fromLatin1(Face);
  return Families;
}

}  // namespace

TAbFont::TAbFont() : TAbFont(QStringLiteral("MS Sans Serif"), 8) {}

TAbFont::TAbFont(const QString& FontName, int Points, const QColor& FontColor)
    : FName(FontName), FHeight(PixelsOfPoints(Points)), FColor(FontColor) {
  // The Windows "System" font is a bold face.
  FBold = FontName.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0;
}

TAbFont::TAbFont(const TAbFont& Other)
    : TAbPersistent(), FName(Other.FName), FHeight(Other.FHeight), FBold(Other.FBold), FColor(Other.FColor) {}

void TAbFont::Assign(const TAbPersistent& Source) {
  const auto* F = dynamic_cast<const TAbFont*>(&Source);
  if (!F) {
    TAbPersistent::Assign(Source);
    return;
  }
  // One notification for the whole copy, as a font is one property.
  const bool Differs = FName != F->FName || FHeight != F->FHeight || FBold != F->FBold || FColor != F->FColor;
  FName = F->FName;
  FHeight = F->FHeight;
  FBold = F->FBold;
  FColor = F->FColor;
  if (Differs) Changed();
}

void TAbFont::SetName(const QString& NewName) {
  if (NewName == FName) return;
  FName = NewName;
  Changed();
}

int TAbFont::Size() const { return static_cast<int>(std::lround(FHeight * 72.0 / 96.0)); }

void TAbFont::SetSize(int Points) { SetHeight(PixelsOfPoints(Points)); }

void TAbFont::SetHeight(int Pixels) {
  Pixels = std::clamp(Pixels, MinHeight, MaxHeight);
  if (Pixels == FHeight) return;
  FHeight = Pixels;
  Changed();
}

void TAbFont::SetBold(bool NewBold) {
  if (NewBold == FBold) return;
  FBold = NewBold;
  Changed();
}

void TAbFont::SetColor(const QColor& NewColor) {
  if (NewColor == FColor) return;
  FColor = NewColor;
  Changed();
}

QFont TAbFont::Font() const {
  QFont F;
  F.setFamilies(FamiliesFor(FName));
  F.setStyleHint(QFont::SansSerif);
  F.setPixelSize(FHeight);
  F.setBold(FBold);
  return F;
}

QPoint AbTextOrigin(int X, int Y, int Anchor, QSize TextSize) {
  if (Anchor < 0 || Anchor > 8) Anchor = 0;
  const int Horizontal = Anchor % 3;
  const int Vertical = Anchor / 3;
  const int W = TextSize.width();
  const int H = TextSize.height();
  const int Left = Horizontal == 0 ? X : Horizontal == 1 ? X - W / 2 : X - W;
  const int Top = Vertical == 0 ? Y : Vertical == 1 ? Y - H / 2 : Y - H;
  return {Left, Top};
}

QSize AbTextSize(const QFontMetrics& Metrics, const QString& Text) {
  return {Metrics.horizontalAdvance(Text), Metrics.height()};
}

QRect AbTextOut(QPainter& Canvas, int X, int Y, int Anchor, const QString& Text) {
  const QFontMetrics Metrics = Canvas.fontMetrics();
  const QSize Size = AbTextSize(Metrics, Text);
  const QPoint Origin = AbTextOrigin(X, Y, Anchor, Size);
  Canvas.drawText(Origin.x(), Origin.y() + Metrics.ascent(), Text);
  return {Origin, Size};
}
