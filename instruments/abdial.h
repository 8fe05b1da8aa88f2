#pragma once

// The circular dial: a pointer dot that runs clockwise over 270 degrees from
// half past seven to half past four on a shaded face inside a circular scale,
// with the value window above and two caption lines below. The operator turns
// it by dragging around the centre (relatively: the pointer turns as much as
// the mouse does), with the keys and with the wheel.

#include "abanalogface.h"
#include "aboptions.h"

class TAbDial : public TAbAnalogFaceControl {
  Q_OBJECT
public:
  enum TDialOption { opBevelOuter, opUnit, opValue, opName1, opName2, opScale, opScaleText };
  using TDialOptions = TAbOptions<TDialOption>;

  static constexpr int SweepAngle = 270;  // degrees of the scale
  static constexpr int StartAngle = 225;  // clockwise from twelve o'clock

  explicit TAbDial(QWidget* Parent = nullptr);
  ~TAbDial() override;

  TAbSBevel& BevelDial() { return FBevelDial; }
  TDialOptions Options() const { return FOptions; }
  void SetOptions(TDialOptions NewOptions);

  void Loaded() override;

  // The angle of point p around centre c in degrees: 0 straight below the
  // centre, 90 to the left, 180 above, 270 to the right (clockwise on the
  // screen, y growing downwards).
  static float AngleOfPoint(QPointF P, QPointF C);

  // Geometry of the last paint pass.
  QRect FaceRect() const { return FFaceRect; }
  QPoint FaceCentre() const { return FFaceCentre; }
  QPoint ScaleStart() const { return FScaleStart; }
  QPoint PointerPoint() const { return FPointerPoint; }
  int DotRadius() const { return FDotRadius; }
  float PointerAngle() const { return FPointerAngle; }

protected:
  void TrackPosition(Qt::KeyboardModifiers Shift, int X, int Y) override;
  void RefreshValue() override;
  void PaintPass() override;
  void mousePressEvent(QMouseEvent* Event) override;

private:
  TAbSBevel FBevelDial;
  TDialOptions FOptions{opBevelOuter, opUnit, opValue, opName1, opName2, opScale, opScaleText};

  QRect FFaceRect;
  QPoint FFaceCentre;
  QPoint FScaleStart;
  QPoint FPointerPoint;
  int FDotRadius = 6;
  float FPointerAngle = 0.0f;
  float FLastAngle = 0.0f;
  QImage FBareFace;
};
