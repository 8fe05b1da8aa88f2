#pragma once

// The vertical slider: a knob that runs along a green trench between two
// linear scales, the highest value at the top, with the value window above
// and two caption lines below. A press on the knob's travel area jumps the
// knob to the mouse (EnableMouseJump) and the drag continues from there.

#include "abanalogface.h"
#include "aboptions.h"

class TAbVSlider : public TAbAnalogFaceControl {
  Q_OBJECT
public:
  enum TVSliderOption { opBevelOuter, opUnit, opValue, opName1, opName2, opScaleText };
  using TVSliderOptions = TAbOptions<TVSliderOption>;

  explicit TAbVSlider(QWidget* Parent = nullptr);
  ~TAbVSlider() override;

  bool EnableMouseJump() const { return TAbAnalogCControl::EnableMouseJump(); }
  void SetEnableMouseJump(bool V);
  int ButtonSize() const { return FButtonSize; }
  // Clamped to at most the control's width and at least 18.
  void SetButtonSize(int V);
  QColor ColorTrench() const { return FColorTrench; }
  void SetColorTrench(const QColor& C);
  TVSliderOptions Options() const { return FOptions; }
  void SetOptions(TVSliderOptions NewOptions);

  // Geometry of the last paint pass.
  bool TooSmall() const { return FTooSmall; }
  // The trench; its last row (bottom, inclusive) is DigitalFrom, its top row
  // DigitalTo.
  QRect Trench() const { return FTrench; }
  QRect TravelArea() const { return FTravel; }
  int KnobWidth() const { return FButtonSize; }
  int KnobHeight() const { return FKnobHeight; }
  // Centre of the knob in control coordinates.
  QPoint KnobPoint() const { return FTravel.topLeft() + FKnobPoint; }

protected:
  void TrackPosition(Qt::KeyboardModifiers Shift, int X, int Y) override;
  void RefreshValue() override;
  void PaintPass() override;

private:
  void PlaceKnob();
  void PaintKnob(QPainter& P, const QRect& Knob) const;

  int FButtonSize = 30;
  QColor FColorTrench{0x00, 0x80, 0x00};
  TVSliderOptions FOptions{opBevelOuter, opUnit, opValue, opName1, opName2, opScaleText};

  QRect FTrench;
  QRect FTravel;
  int FKnobHeight = 12;
  QPoint FKnobPoint;  // relative to the travel area
  QImage FBareTravel;
  bool FTooSmall = false;
};
