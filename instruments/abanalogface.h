#pragma once

#include "abanalog.h"
#include "abbevel.h"
#include "abscale.h"
#include "abtext.h"

#include <QRect>

class QPainter;

// What dial and slider share around their moving part: the outer frame, the
// value window with its unit, the caption lines, the owned settings objects
// that draw them and the ready flag of the last paint pass. The geometry is
// kept between paint passes so that a value change can redraw the value text
// alone.
class TAbAnalogFaceControl : public TAbAnalogCControl {
  Q_OBJECT
public:
  TAbSBevel& BevelOuter() { return FBevelOuter; }
  TAbSBevel& BevelValue() { return FBevelValue; }
  TAbFont& FontValue() { return FFontValue; }
  void SetFontValue(const TAbFont& NewFont) { FFontValue.Assign(NewFont); }
  TScaleSettings& ScaleSettings() { return FScaleSettings; }
  void SetScaleSettings(const TScaleSettings& S) { FScaleSettings.Assign(S); }

  // After loading, a change of any owned object redraws the whole control.
  void Loaded() override;

  // Geometry of the last paint pass: the moving part can be drawn.
  bool Ready() const { return FReady; }
  QRect ValueWindow() const { return FValueWindow; }

protected:
  explicit TAbAnalogFaceControl(QWidget* Parent);

  // Base behaviour, then (unless the paint pass itself changed a setting)
  // the geometry is out of date and the whole control is invalidated.
  void SettingsChanged() override;
  void SetReady(bool V) { FReady = V; }

  // The outer bevel over the client area (or the area filled with its
  // colour); returns the area inside it.
  QRect PaintOuter(QPainter& Painter, bool DrawBevelOuter);
  // The value window at the top of Area, sized by the sizing pattern, with
  // the unit beside it; returns the area left below it. Without a value
  // window the area is returned unchanged.
  QRect PaintValueWindow(QPainter& Painter, const QRect& Area, bool DrawValue, bool DrawUnit);
  // The caption lines at the bottom of Area, second line lowest; returns
  // the area left above them (less the outer spacing with ExtraSpacing
  // when a line was drawn).
  QRect PaintCaptions(QPainter& Painter, const QRect& Area, bool DrawName1, bool DrawName2, bool ExtraSpacing);
  // Refills the value window's text area and writes ValueText right-aligned
  // at its top. Nothing without a value window.
  void PaintValueText(QPainter& Painter) const;
  QRect ValueTextRect() const { return FValueTextRect; }

private:
  TAbSBevel FBevelOuter;
  TAbSBevel FBevelValue;
  TAbFont FFontValue;
  TScaleSettings FScaleSettings;
  QRect FValueWindow;
  QRect FValueTextRect;
  bool FReady = false;
};
