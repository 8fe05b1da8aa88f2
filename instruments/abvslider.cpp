#include "abvslider.h"

#include "numtext.h"

#include <QPainter>

#include <algorithm>

namespace {

// A one-pixel frame just inside r: one colour on the top and left edges, the
// other on the bottom and right edges.
void Frame(QPainter& P, const QRect& R, const QColor& TopLeft, const QColor& BottomRight) {
  if (R.width() <= 0 || R.height() <= 0) return;
  const int L = R.left(), T = R.top(), Rt = R.left() + R.width() - 1, B = R.top() + R.height() - 1;
  P.setPen(BottomRight);
  P.drawLine(L, B, Rt, B);
  P.drawLine(Rt, T, Rt, B);
  P.setPen(TopLeft);
  P.drawLine(L, T, Rt, T);
  P.drawLine(L, T, L, B);
}

}  // namespace

TAbVSlider::TAbVSlider(QWidget* Parent) : TAbAnalogFaceControl(Parent) {
  resize(105, 289);
  ScaleSettings().SetDrawLine(false);
  ScaleSettings().SetSubSteps(5);
  ScaleSettings().SetMajorPenWidth(2);
  SetEnableMouseJumpFlag(true);
  SetValue(10.0f);
}

TAbVSlider::~TAbVSlider() = default;

void TAbVSlider::SetEnableMouseJump(bool V) {
  if (V == EnableMouseJump()) return;
  SetEnableMouseJumpFlag(V);
  RequestSettingsChanged();
}

void TAbVSlider::SetButtonSize(int V) {
  V = std::max(std::min(V, width()), 18);
  if (V == FButtonSize) return;
  FButtonSize = V;
  RequestSettingsChanged();
}

void TAbVSlider::SetColorTrench(const QColor& C) {
  if (C == FColorTrench) return;
  FColorTrench = C;
  RequestSettingsChanged();
}

void TAbVSlider::SetOptions(TVSliderOptions NewOptions) {
  if (NewOptions == FOptions) return;
  FOptions = NewOptions;
  RequestSettingsChanged();
}

void TAbVSlider::TrackPosition(Qt::KeyboardModifiers Shift, int X, int Y) {
  TAbAnalogFaceControl::TrackPosition(Shift, X, Y);
  const int Top = FTrench.top();
  const int Bottom = FTrench.top() + FTrench.height() - 1;
  if (Bottom <= Top) return;
  Y = std::clamp(Y, Top, Bottom);
  const TSignalSettings& S = SignalSettings();
  const long double PerPixel = static_cast<long double>(S.DigitalSpan()) / (Bottom - Top);
  SetDigit(
      S.ClampDigit(S.DigitalFrom() + static_cast<int64_t>(SaturateToInt32(RoundHalfEven(PerPixel * (Bottom - Y))))));
}

void TAbVSlider::PaintPass() {
  const TSignalSettings& S = SignalSettings();
  TScaleSettings& Scale = ScaleSettings();
  QPainter P(&Canvas());
  QRect Area = PaintOuter(P, FOptions.Has(opBevelOuter));
  Scale.PrepareLinear(S.ValueFrom(), S.ValueTo(), FOptions.Has(opScaleText));
  Area = PaintValueWindow(P, Area, FOptions.Has(opValue), FOptions.Has(opUnit));
  Area = PaintCaptions(P, Area, FOptions.Has(opName1), FOptions.Has(opName2), true);

  FKnobHeight = SaturateToInt32(RoundHalfEven(0.4L * FButtonSize));
  const int Margin = std::max(Scale.LabelHeight() / 3, FKnobHeight / 2);
  const int TrenchHeight = Area.height() - 2 * Margin;
  // Too small: no room for a trench of at least two rows.
  FTooSmall = Area.width() < 2 || Area.height() < 2 || TrenchHeight < 2;
  SetReady(false);
  if (FTooSmall) {
    SetHotArea(QRect());
    return;
  }

  // Two scales flank the five-pixel trench, the pair centred in the area;
  // both run from one row below the trench's top to one above its bottom.
  const int Total = Scale.TotalWidth();
  const int O = (Area.width() - (2 * Total + 4)) / 2;
  FTrench = QRect(Area.left() + O + Total, Area.top() + Margin, 5, TrenchHeight);
  const int ScaleTop = FTrench.top() + 1;
  const int ScaleHeight = FTrench.height() - 3;
  const int LeftSpine = FTrench.left() - 5;
  const int RightSpine = FTrench.left() + 9;
  Scale.SetPosLeftTop(true);
  Scale.DrawLinear(P, QRect(LeftSpine - Total + 1, ScaleTop, Total, ScaleHeight));
  Scale.SetPosLeftTop(false);
  Scale.DrawLinear(P, QRect(RightSpine, ScaleTop, Total, ScaleHeight));

  // The trench: sunken one-pixel frame, filled with the trench colour.
  P.fillRect(FTrench, FColorTrench);
  Frame(P, FTrench, AbBtnShadowColor(), AbBtnHighlightColor());

  FTravel = QRect(FTrench.left() + 2 - (FButtonSize + 1) / 2, FTrench.top() - FKnobHeight / 2, FButtonSize + 1,
                  FTrench.height() + FKnobHeight);
  P.end();
  const qreal Dpr = Canvas().devicePixelRatio();
  FBareTravel =
      Canvas().copy(QRect((QPointF(FTravel.topLeft()) * Dpr).toPoint(), (QSizeF(FTravel.size()) * Dpr).toSize()));
  FBareTravel.setDevicePixelRatio(Dpr);
  SetReady(true);
  RefreshValue();
}

void TAbVSlider::PlaceKnob() {
  const TSignalSettings& S = SignalSettings();
  const int Span = std::max(S.DigitalSpan(), 1);
  const long double TrenchRows = FTrench.height() - 1;
  const long double Y = (FTravel.height() - FKnobHeight / 2 - 1) -
                        TrenchRows / Span * (static_cast<long double>(Digit()) - S.DigitalFrom());
  FKnobPoint = QPoint(FTravel.width() / 2, SaturateToInt32(RoundHalfEven(Y)));
  if (EnableMouseJump()) {
    SetHotArea(FTravel);
  } else {
    const int Half = SaturateToInt32(RoundHalfEven(0.2L * FButtonSize));
    SetHotArea(QRect(FTravel.left(), FTravel.top() + FKnobPoint.y() - Half, FTravel.width(), 2 * Half));
  }
}

void TAbVSlider::PaintKnob(QPainter& P, const QRect& Knob) const {
  const bool Enabled = isEnabled();
  const QColor Dark = Enabled ? QColor(Qt::black) : AbBtnShadowColor();
  P.fillRect(Knob, AbBtnFaceColor());
  Frame(P, Knob, AbBtnShadowColor(), Dark);
  const QRect Ring = Knob.adjusted(1, 1, -1, -1);
  Frame(P, Ring, AbBtnHighlightColor(), AbBtnShadowColor());
  const int Inset = FButtonSize / 25;
  const QRect Grip = Ring.adjusted(1 + Inset, 1 + Inset, -1 - Inset, -1 - Inset);
  if (Grip.width() > 0 && Grip.height() > 0) {
    P.fillRect(Grip, PointerColor());
    Frame(P, Grip, Dark, Dark);
  }
}

void TAbVSlider::RefreshValue() {
  TAbAnalogFaceControl::RefreshValue();
  if (FTooSmall || !isVisible() || !Ready() || LayoutPending()) return;
  PlaceKnob();
  // The knob goes onto a copy of the bare travel area, which then replaces
  // the travel area in one piece.
  QImage Lane = FBareTravel;
  {
    QPainter Q(&Lane);
    const QRect Knob(FKnobPoint.x() - FButtonSize / 2, FKnobPoint.y() - FKnobHeight / 2, FButtonSize, FKnobHeight);
    PaintKnob(Q, Knob);
  }
  QPainter P(&Canvas());
  P.drawImage(FTravel.topLeft(), Lane);
  PaintValueText(P);
  P.end();
  ShowPart(FTravel);
  ShowPart(ValueTextRect());
}
