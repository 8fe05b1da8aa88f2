#pragma once

// Two-state controls: the model shared by the switches of the instrument set
// (Checked mirroring one bit of a status word that a group of controls can
// share, and the four press modes), the switch with its bevel and the rule
// that only a press on the half away from the lever counts, and the toggle
// switch that draws a lever and an on/off text.

#include "abcontrol.h"
#include "abbevel.h"
#include "abtext.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

enum TMode { mButton, mSwitch, mIndicator, mRadioButton };
enum TBtnOrientation { boHorizontal, boVertical };

class TAbBinGControl : public TAbCustomControl {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(TAbBinGControl* Sender)>;

  explicit TAbBinGControl(QWidget* Parent = nullptr);

  bool Checked() const { return FChecked; }
  void SetChecked(bool V);
  // Status word shared by a group; Checked mirrors bit StatusBit of it.
  uint32_t StatusInt() const { return FStatusInt; }
  void SetStatusInt(uint32_t W);
  // Only 0..31 are taken; anything else is ignored.
  int32_t StatusBit() const { return FStatusBit; }
  void SetStatusBit(int32_t B);
  // 0 = no group. Controls with the same parent and the same non-zero
  // index share StatusInt. Negative indices are ignored.
  uint32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int64_t G);
  TMode Mode() const { return FMode; }
  void SetMode(TMode M);

  // After every change of Checked / of StatusInt.
  void SetOnStatusChanged(TNotifyEvent Handler) { FOnStatusChanged = std::move(Handler); }
  void SetOnStatusIntChanged(TNotifyEvent Handler) { FOnStatusIntChanged = std::move(Handler); }

  // The left button went down on the control and is still held.
  bool Pressed() const { return FPressed; }
  // Index of the lowest set bit of StatusInt, 32 when none.
  int32_t LowestBit() const { return FLowestBit; }

protected:
  // The whole control / the part inside the frame is to be drawn again.
  virtual void FullRepaint() { update(); }
  virtual void RedrawInner() { update(); }
  // Hooks after a change of the group index and of the status word.
  virtual void GroupIndexChanged() {}
  virtual void StatusIntChanged() {}

  void SetPressed(bool V) { FPressed = V; }

private:
  bool FChecked = false;
  uint32_t FStatusInt = 0;
  int32_t FStatusBit = 0;
  uint32_t FGroupIndex = 0;
  TMode FMode = mIndicator;
  TNotifyEvent FOnStatusChanged;
  TNotifyEvent FOnStatusIntChanged;
  bool FPressed = false;
  int32_t FLowestBit = 32;
};

class TAbSwitch : public TAbBinGControl {
  Q_OBJECT
public:
  using TMouseEvent =
      std::function<void(TAbSwitch* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

  explicit TAbSwitch(QWidget* Parent = nullptr);

  TAbSBevel& BevelOuter() { return FBevelOuter; }
  const TAbSBevel& BevelOuter() const { return FBevelOuter; }
  QColor BtnColorHighlight() const { return FBtnColorHighlight; }
  QColor BtnColorShadow() const { return FBtnColorShadow; }
  QColor BtnColorFace() const { return FBtnColorFace; }
  int BtnBevelWidth() const { return FBtnBevelWidth; }
  void SetBtnColorHighlight(const QColor& C);
  void SetBtnColorShadow(const QColor& C);
  void SetBtnColorFace(const QColor& C);
  // Negative widths are ignored.
  void SetBtnBevelWidth(int N);

  // The font of the text, with its colour; a change redraws the control.
  TAbFont& Font() { return FFont; }
  const TAbFont& Font() const { return FFont; }

  // Mouse presses that the click rule accepts, and every release.
  void SetOnMouseDown(TMouseEvent Handler) { FOnMouseDown = std::move(Handler); }
  void SetOnMouseUp(TMouseEvent Handler) { FOnMouseUp = std::move(Handler); }

  bool Vertical() const { return FVertical; }
  // The lever stands on the checked side (upper half of a vertical switch,
  // left half of a horizontal one) when Checked, unless SwapGraphic.
  bool LeverOnCheckedSide() const { return Checked() != FSwapGraphic; }
  // The click rule: only a press strictly inside the half away from the
  // lever counts; the middle line never does.
  bool AcceptsPress(QPoint P) const;
  // The rectangle inside BevelOuter, as the last paint left it.
  QRect InnerRect() const { return FInnerRect; }

  // Connects the bevel and the font to the full repaint.
  void Loaded() override;

protected:
  TBtnOrientation OrientationValue() const { return FOrientation; }
  void SetOrientationValue(TBtnOrientation O);
  bool SwapGraphicValue() const { return FSwapGraphic; }
  void SetSwapGraphicValue(bool V);

  // Draws the part inside the frame into Rect of an image of its size.
  virtual void DrawSwitch(QPainter& Canvas, const QRect& Rect, bool IsVertical, bool LeverOnChecked) = 0;

  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

private:
  TBtnOrientation FOrientation = boVertical;
  TAbSBevel FBevelOuter;
  bool FSwapGraphic = false;
  QColor FBtnColorShadow;
  QColor FBtnColorHighlight;
  QColor FBtnColorFace;
  int FBtnBevelWidth = 2;
  QRect FInnerRect;
  bool FVertical = true;
  TAbFont FFont;
  TMouseEvent FOnMouseDown;
  TMouseEvent FOnMouseUp;
};

class TAbToggleSwitch : public TAbSwitch {
  Q_OBJECT
public:
  explicit TAbToggleSwitch(QWidget* Parent = nullptr);

  TBtnOrientation Orientation() const { return OrientationValue(); }
  // Resizes the control within its bounds: tall for boVertical, wide for
  // boHorizontal.
  void SetOrientation(TBtnOrientation O) { SetOrientationValue(O); }
  bool SwapGraphic() const { return SwapGraphicValue(); }
  void SetSwapGraphic(bool V) { SetSwapGraphicValue(V); }

  const QString& TextOff() const { return FTextOff; }
  const QString& TextOn() const { return FTextOn; }
  QColor ColorOn() const { return FColorOn; }
  QColor ColorOff() const { return FColorOff; }
  void SetTextOff(const QString& T);
  void SetTextOn(const QString& T);
  void SetColorOn(const QColor& C);
  void SetColorOff(const QColor& C);

  // The lever rectangle within a drawing rectangle, before its frame.
  static QRect LeverRect(const QRect& Rect, bool IsVertical, bool LeverOnChecked);
  // The point on which the text is centred, in the half the lever leaves.
  static QPoint TextPoint(const QRect& Rect, bool IsVertical, bool LeverOnChecked);

protected:
  void DrawSwitch(QPainter& Canvas, const QRect& Rect, bool IsVertical, bool LeverOnChecked) override;

private:
  QString FTextOff = QStringLiteral("0");
  QString FTextOn = QStringLiteral("1");
  QColor FColorOn{0x00, 0xFF, 0x00};
  QColor FColorOff{0xFF, 0x00, 0x00};
};
