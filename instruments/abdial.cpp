#include "abdial.h"

#include "numtext.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr long double RadToDeg = 57.295779513082320876798154814105L;

}  // namespace

TAbDial::TAbDial(QWidget* Parent) : TAbAnalogFaceControl(Parent) {
  resize(113, 161);
  FBevelDial.SetColorShadowFrom(AbBtnHighlightColor());
  FBevelDial.SetColorShadowTo(AbBtnShadowColor());
  FBevelDial.SetBevelLine(blOuter);
  FBevelDial.SetPenColor(AbBtnShadowColor());
  FBevelDial.SetSpacing(1);
  FBevelDial.SetCircularShading(true);
  ScaleSettings().SetMajorPenWidth(2);
  SetRoundHotArea(true);
  SetValue(10.0f);
}

TAbDial::~TAbDial() = default;

void TAbDial::SetOptions(TDialOptions NewOptions) {
  if (NewOptions == FOptions) return;
  FOptions = NewOptions;
  SettingsChanged();
}

void TAbDial::Loaded() {
  TAbAnalogFaceControl::Loaded();
  FBevelDial.SetOnChange([this](TAbPersistent*) { SettingsChanged(); });
}

float TAbDial::AngleOfPoint(QPointF P, QPointF C) {
  if (P.y() == C.y()) return P.x() > C.x() ? 270.0f : 90.0f;
  if (P.y() < C.y())
    return static_cast<float>(180.0L + std::atan(static_cast<long double>(C.x() - P.x()) / (P.y() - C.y() + 0.0001L)) *
                                           RadToDeg);
  const long double T = std::atan(static_cast<long double>(P.x() - C.x()) / (P.y() - C.y() + 0.0001L)) * RadToDeg;
  return static_cast<float>(P.x() > C.x() ? 360.0L - T : -T);
}

void TAbDial::mousePressEvent(QMouseEvent* Event) {
  // The drag is relative: it starts from the angle of the press point.
  FLastAngle = AngleOfPoint(Event->position(), FFaceCentre);
  TAbAnalogFaceControl::mousePressEvent(Event);
}

void TAbDial::TrackPosition(Qt::KeyboardModifiers Shift, int X, int Y) {
  TAbAnalogFaceControl::TrackPosition(Shift, X, Y);
  const float A = AngleOfPoint(QPointF(X, Y), FFaceCentre);
  float D = A - FLastAngle;
  // A jump of more than 200 degrees is the seam below the centre crossed.
  if (std::fabs(D) > 200.0f) D += D > 0 ? -360.0f : 360.0f;
  FPointerAngle += D;
  if (FPointerAngle > SweepAngle) FPointerAngle = SweepAngle;
  else if (FPointerAngle < 0) FPointerAngle = 0;
  // Kept also at an end stop, so that turning back moves the pointer at once.
  FLastAngle = A;
  const TSignalSettings& S = SignalSettings();
  const int64_t Step = SaturateToInt32(RoundHalfEven((FPointerAngle + 0.0001L) / SweepAngle * S.DigitalSpan()));
  SetDigit(S.ClampDigit(S.DigitalFrom() + Step));
}

void TAbDial::PaintPass() {
  const TSignalSettings& S = SignalSettings();
  TScaleSettings& Scale = ScaleSettings();
  QPainter P(&Canvas());
  QRect Area = PaintOuter(P, FOptions.Has(opBevelOuter));
  Scale.PrepareCircular(S.ValueFrom(), S.ValueTo(), FOptions.Has(opScaleText));
  Area = PaintValueWindow(P, Area, FOptions.Has(opValue), FOptions.Has(opUnit));
  Area = PaintCaptions(P, Area, FOptions.Has(opName1), FOptions.Has(opName2), false);

  if (FOptions.Has(opScale)) {
    // The scale is laid out on the area's width; a very wide, low area
    // is narrowed so that the circle stays within it.
    const int W = std::max(0, std::min(Area.width(), Area.height() * 3 / 2));
    Scale.DrawCircular(P, QRect(Area.left() + (Area.width() - W) / 2, Area.top(), W, W), SweepAngle, StartAngle);
    const int K = Scale.CircleMajorLength() + 4;
    FFaceRect = AbShrinkRect(Scale.CircleInner(), K, K, K, K);
  } else {
    const int W = std::max(0, std::min(Area.width(), Area.height()));
    FFaceRect = QRect(Area.left() + (Area.width() - W) / 2, Area.top(), W, W);
  }
  SetHotArea(FFaceRect);
  QRect Inner = FFaceRect;
  FBevelDial.PaintCircular(P, Inner);
  FDotRadius = std::clamp(FFaceRect.width() / 13, 2, 6);
  P.end();

  SetReady(FFaceRect.width() >= 11 && FFaceRect.height() >= 11);
  if (Ready()) {
    const qreal Dpr = Canvas().devicePixelRatio();
    FBareFace =
        Canvas().copy(QRect((QPointF(FFaceRect.topLeft()) * Dpr).toPoint(), (QSizeF(FFaceRect.size()) * Dpr).toSize()));
    FBareFace.setDevicePixelRatio(Dpr);
  }
  FFaceCentre = QPoint(FFaceRect.left() + FFaceRect.width() / 2, FFaceRect.top() + FFaceRect.height() / 2);
  FScaleStart = AbScale::Turn(QPoint(FFaceCentre.x(), FFaceRect.top() + FDotRadius), FFaceCentre, StartAngle);
  RefreshValue();
}

void TAbDial::RefreshValue() {
  TAbAnalogFaceControl::RefreshValue();
  if (!isVisible() || !Ready() || LayoutPending()) return;
  FPointerAngle = SignalSettings().ValueToPerMille(Value()) * static_cast<float>(SweepAngle) / 1000.0f;
  FPointerPoint = AbScale::Turn(FScaleStart, FFaceCentre, FPointerAngle);

  // The pointer goes onto a copy of the bare face, which then replaces the
  // face in one piece.
  QImage Face = FBareFace;
  {
    QPainter Q(&Face);
    Q.translate(-FFaceRect.topLeft());
    Q.setRenderHint(QPainter::Antialiasing);
    const QRectF Dot(FPointerPoint.x() - FDotRadius, FPointerPoint.y() - FDotRadius, 2.0 * FDotRadius,
                     2.0 * FDotRadius);
    Q.setPen(QPen(AbBtnHighlightColor(), 1));
    Q.setBrush(PointerColor());
    Q.drawEllipse(Dot);
    Q.setPen(QPen(AbBtnShadowColor(), 1));
    Q.setBrush(Qt::NoBrush);
    Q.drawArc(Dot, 45 * 16, -180 * 16);
  }
  QPainter P(&Canvas());
  P.drawImage(FFaceRect.topLeft(), Face);
  PaintValueText(P);
  P.end();
  ShowPart(FFaceRect);
  ShowPart(ValueTextRect());
}
