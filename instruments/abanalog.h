#pragma once

// The analog control: the value model (TSignalSettings) put on a widget, with
// the operator interaction (keys, wheel, mouse) that moves the grid position,
// the off-screen composition shared by dial and slider, and the windowless
// indicator that such a control can drive.

#include "abcontrol.h"
#include "abcursor.h"
#include "absignal.h"
#include "abtext.h"

#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A windowless indicator that an analog control can drive: it keeps its own
// Value, Digit and SignalSettings with the same mapping. The control pushes
// its value and copies its settings into it while they are linked.
class TAbAnalogGControl : public QWidget {
  Q_OBJECT
public:
  explicit TAbAnalogGControl(QWidget* Parent = nullptr);

  float Value() const { return FValue; }
  void SetValue(float V);
  int32_t Digit() const { return FDigit; }
  void SetDigit(int32_t D);
  TSignalSettings& SignalSettings() { return FSignalSettings; }
  const TSignalSettings& SignalSettings() const { return FSignalSettings; }

private:
  TSignalSettings FSignalSettings;
  float FValue = 0.0f;
  int32_t FDigit = 0;
};

// The value model and operator interaction of dial and slider.
class TAbAnalogCControl : public TAbCustomControl {
  Q_OBJECT
public:
  using TValueEvent = std::function<void(TAbAnalogCControl* Sender)>;
  // Runs before the control acts on a key; it may change the key or clear
  // it (set it to 0) so that the control ignores it.
  using TKeyEvent = std::function<void(TAbAnalogCControl* Sender, int& Key, Qt::KeyboardModifiers Shift)>;

  explicit TAbAnalogCControl(QWidget* Parent = nullptr);
  ~TAbAnalogCControl() override;

  int32_t Digit() const { return FDigit; }
  void SetDigit(int32_t D);
  float Value() const { return FValue; }
  void SetValue(float V);
  // Moves the grid position up by Up (when Up > 0), else down by Down, clamped.
  void StepDigit(int32_t Up, int32_t Down);

  int32_t ChangeLarge() const { return FChangeLarge; }
  void SetChangeLarge(int32_t V) { FChangeLarge = V; }
  int32_t ChangeSmall() const { return FChangeSmall; }
  void SetChangeSmall(int32_t V) { FChangeSmall = V; }
  bool EnableKeyboard() const { return FEnableKeyboard; }
  void SetEnableKeyboard(bool V) { FEnableKeyboard = V; }
  TCursor CursorSlide() const { return FCursorSlide; }
  void SetCursorSlide(TCursor V) { FCursorSlide = V; }

  QColor ColorFocus() const { return FColorFocus; }
  void SetColorFocus(const QColor& C);
  QColor ColorNonFocus() const { return FColorNonFocus; }
  void SetColorNonFocus(const QColor& C);
  // The pointer/knob colour for the current state: focus colour, non-focus
  // colour, or the button-shadow colour when disabled.
  QColor PointerColor() const;

  TSignalSettings& SignalSettings() { return *FSignalSettings; }
  const TSignalSettings& SignalSettings() const { return *FSignalSettings; }

  // The control font (captions, unit colour): "MS Sans Serif", size 10.
  TAbFont& Font() { return FFont; }
  const TAbFont& Font() const { return FFont; }

  // Fired after every change of Digit, except while loading.
  void SetOnValueChange(TValueEvent Handler) { FOnValueChange = std::move(Handler); }
  // Fired at a key release or left-button release after a change.
  void SetOnValueChanged(TValueEvent Handler) { FOnValueChanged = std::move(Handler); }
  void SetOnKeyDown(TKeyEvent Handler) { FOnKeyDown = std::move(Handler); }

  // Not owned; the link clears itself when the indicator is destroyed.
  TAbAnalogGControl* ValueIndicator() const { return FValueIndicator.data(); }
  void SetValueIndicator(TAbAnalogGControl* Indicator);

  const std::string& ValueText() const { return FValueText; }
  bool ChangedSinceRelease() const { return FChangedSinceRelease; }
  bool Dragging() const { return FDragging; }
  QPoint LastPoint() const { return FLastPoint; }
  QRect HotArea() const { return FHotArea; }
  bool RoundHotArea() const { return FRoundHotArea; }
  // The hit test of the mouse: the circle inscribed in HotArea with
  // RoundHotArea, else the rectangle with its bottom edge included.
  bool InHotArea(QPoint P) const;

  void Loaded() override;

  // Number of full paint passes (geometry recomputed, whole image drawn)
  // since construction. A value change redraws only the moving part.
  int PaintPasses() const { return FPaintPasses; }

protected:
  // Off-screen composition. The whole instrument is drawn into Canvas() by
  // PaintPass() when its geometry is out of date (resize, settings change);
  // a value change redraws only its moving parts into Canvas() and hands
  // their rectangles to ShowPart(), which copies just those to the screen.
  virtual void PaintPass() {}
  QImage& Canvas() { return FCanvas; }
  // Marks the geometry out of date and invalidates the whole control.
  void InvalidateAll();
  bool LayoutPending() const { return FLayoutPending; }
  bool InPaintPass() const { return FInPaintPass; }
  void ShowPart(const QRect& R);
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  // The moving parts are not redrawn while the control is hidden (on a tab
  // page in the background, say); showing it brings them up to date.
  void showEvent(QShowEvent* Event) override;

  // Turns a mouse position into a grid position; here it only records it.
  virtual void TrackPosition(Qt::KeyboardModifiers Shift, int X, int Y);
  // Renews the value text and pushes the value to the indicator; dial and
  // slider then redraw their moving parts.
  virtual void RefreshValue();
  void SettingsChanged() override;

  void SetHotArea(const QRect& R) { FHotArea = R; }
  void SetRoundHotArea(bool V) { FRoundHotArea = V; }
  bool EnableMouseJump() const { return FEnableMouseJump; }
  void SetEnableMouseJumpFlag(bool V) { FEnableMouseJump = V; }

  // Claims the keys the control acts on before any shortcut of the window
  // can take them, so that arrows and Home/End always reach it.
  bool event(QEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void keyReleaseEvent(QKeyEvent* Event) override;
  void wheelEvent(QWheelEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;
  void changeEvent(QEvent* Event) override;

private:
  void FireValueChangedIfPending();
  static bool IsControlKey(int Key);

  int32_t FDigit = 100;
  float FValue = 10.0f;
  int32_t FChangeLarge = 10;
  int32_t FChangeSmall = 1;
  TValueEvent FOnValueChange;
  TValueEvent FOnValueChanged;
  TKeyEvent FOnKeyDown;
  std::unique_ptr<TSignalSettings> FSignalSettings;
  TAbFont FFont{QStringLiteral("MS Sans Serif"), 10};
  QColor FColorFocus{0x00, 0xFF, 0x00};
  QColor FColorNonFocus{0x00, 0x80, 0x00};
  TCursor FCursorSlide = 5;
  bool FEnableKeyboard = true;
  QPointer<TAbAnalogGControl> FValueIndicator;

  bool FChangedSinceRelease = false;
  std::string FValueText;
  bool FDragging = false;
  QPoint FLastPoint;
  QRect FHotArea;
  bool FRoundHotArea = false;
  QCursor FNormalCursor;
  bool FEnableMouseJump = false;

  QImage FCanvas;
  bool FLayoutPending = true;
  bool FInPaintPass = false;
  int FPaintPasses = 0;
};
