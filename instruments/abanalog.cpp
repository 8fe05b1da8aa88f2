#include "abanalog.h"

#include "abbevel.h"
#include "numtext.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWheelEvent>

#include <cmath>

TAbAnalogGControl::TAbAnalogGControl(QWidget* Parent) : QWidget(Parent) {}

void TAbAnalogGControl::SetValue(float V) {
  if (std::isnan(V) || V == FValue) return;
  FValue = FSignalSettings.ClampValue(V);
  FDigit = FSignalSettings.ClampDigit(FSignalSettings.DigitOfValue(FValue));
  update();
}

void TAbAnalogGControl::SetDigit(int32_t D) {
  if (D == FDigit) return;
  FDigit = FSignalSettings.ClampDigit(D);
  FValue = FSignalSettings.ValueOfDigit(FDigit);
  update();
}

// ---------------------------------------------------------------------------
// TAbAnalogCControl

TAbAnalogCControl::TAbAnalogCControl(QWidget* Parent)
    : TAbCustomControl(Parent), FSignalSettings(std::make_unique<TSignalSettings>()) {
  // Nothing is drawn until the form has assigned the stored properties.
  BeginUpdate();
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);  // the cursor follows the hot area without a button down
  setFont(FFont.Font());
  FNormalCursor = cursor();
}

TAbAnalogCControl::~TAbAnalogCControl() = default;

void TAbAnalogCControl::SetValue(float V) {
  // NaN is no value: it would pass every clamp and leave the grid undefined.
  if (std::isnan(V) || V == FValue) return;
  FValue = FSignalSettings->ClampValue(V);
  SetDigit(FSignalSettings->DigitOfValue(FValue));
}

void TAbAnalogCControl::SetDigit(int32_t D) {
  if (D == FDigit) return;
  FDigit = FSignalSettings->ClampDigit(D);
  FValue = FSignalSettings->ValueOfDigit(FDigit);
  RefreshValue();
  if (FOnValueChange && !IsLoading()) FOnValueChange(this);
  FChangedSinceRelease = true;
}

void TAbAnalogCControl::StepDigit(int32_t Up, int32_t Down) {
  const int64_t Target = Up > 0 ? static_cast<int64_t>(FDigit) + Up : static_cast<int64_t>(FDigit) - Down;
  SetDigit(FSignalSettings->ClampDigit(Target));
}

void TAbAnalogCControl::SetColorFocus(const QColor& C) {
  if (C == FColorFocus) return;
  FColorFocus = C;
  SettingsChanged();
}

void TAbAnalogCControl::SetColorNonFocus(const QColor& C) {
  if (C == FColorNonFocus) return;
  FColorNonFocus = C;
  SettingsChanged();
}

QColor TAbAnalogCControl::PointerColor() const {
  if (!isEnabled()) return AbBtnShadowColor();
  return hasFocus() ? FColorFocus : FColorNonFocus;
}

void TAbAnalogCControl::SetValueIndicator(TAbAnalogGControl* Indicator) {
  FValueIndicator = Indicator;  // QPointer: cleared when the indicator is destroyed
  if (Indicator != nullptr) {
    Indicator->SignalSettings().Assign(*FSignalSettings);
    RefreshValue();
  }
}

bool TAbAnalogCControl::InHotArea(QPoint P) const {
  const QRect& R = FHotArea;
  if (R.isEmpty()) return false;  // not laid out yet, or no room for a moving part
  if (FRoundHotArea) {
    // Compared in doubled coordinates so that the centre of an even-sized
    // square needs no rounding.
    const long double Dx = 2.0L * P.x() - (2.0L * R.left() + R.width());
    const long double Dy = 2.0L * P.y() - (2.0L * R.top() + R.height());
    return std::sqrt(Dx * Dx + Dy * Dy) <= R.width();
  }
  return P.x() >= R.left() && P.x() < R.left() + R.width() && P.y() >= R.top() && P.y() <= R.top() + R.height();
}

void TAbAnalogCControl::Loaded() {
  TAbCustomControl::Loaded();
  FSignalSettings->Changed();
  FSignalSettings->SetOnChange([this](TAbPersistent*) { SettingsChanged(); });
  EndUpdate();
}

void TAbAnalogCControl::InvalidateAll() {
  FLayoutPending = true;
  update();
}

void TAbAnalogCControl::ShowPart(const QRect& R) {
  // During a paint pass the whole image goes to the screen anyway.
  if (!FInPaintPass) update(R);
}

void TAbAnalogCControl::paintEvent(QPaintEvent* Event) {
  if (Locked()) return;
  const qreal Dpr = devicePixelRatioF();
  const QSize Pixels = (QSizeF(size()) * Dpr).toSize();
  if (FLayoutPending || FCanvas.size() != Pixels) {
    FCanvas = QImage(Pixels, QImage::Format_ARGB32_Premultiplied);
    if (FCanvas.isNull()) return;  // empty, or too large to allocate: nothing to show
    FLayoutPending = false;
    FCanvas.setDevicePixelRatio(Dpr);
    FCanvas.fill(palette().color(QPalette::Window));
    ++FPaintPasses;
    FInPaintPass = true;
    PaintPass();
    FInPaintPass = false;
  }
  QPainter Screen(this);
  Screen.setClipRegion(Event->region());
  Screen.drawImage(QPoint(0, 0), FCanvas);
}

void TAbAnalogCControl::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  InvalidateAll();
}

void TAbAnalogCControl::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  RefreshValue();
}

void TAbAnalogCControl::TrackPosition(Qt::KeyboardModifiers, int X, int Y) { FLastPoint = QPoint(X, Y); }

void TAbAnalogCControl::RefreshValue() {
  FValueText = FormatFloat(FSignalSettings->ValueFormat(), FValue);
  if (FValueIndicator) FValueIndicator->SetValue(FValue);
}

void TAbAnalogCControl::SettingsChanged() {
  FNormalCursor = cursor();
  if (FValueIndicator) FValueIndicator->SignalSettings().Assign(*FSignalSettings);
}

void TAbAnalogCControl::FireValueChangedIfPending() {
  if (!FChangedSinceRelease) return;
  FChangedSinceRelease = false;
  if (FOnValueChanged) FOnValueChanged(this);
}

bool TAbAnalogCControl::IsControlKey(int Key) {
  switch (Key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Left: return true;
    default: return false;
  }
}

bool TAbAnalogCControl::event(QEvent* Event) {
  if (Event->type() == QEvent::ShortcutOverride && FEnableKeyboard) {
    auto* Key = static_cast<QKeyEvent*>(Event);
    if ((Key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && IsControlKey(Key->key())) {
      Event->accept();
      return true;
    }
  }
  return TAbCustomControl::event(Event);
}

void TAbAnalogCControl::keyPressEvent(QKeyEvent* Event) {
  int Key = Event->key();
  if (FOnKeyDown) FOnKeyDown(this, Key, Event->modifiers());
  if (!FEnableKeyboard || Key == 0) {
    QWidget::keyPressEvent(Event);
    return;
  }
  const TSignalSettings& S = *FSignalSettings;
  switch (Key) {
    case Qt::Key_PageUp: StepDigit(FChangeLarge, 0); break;
    case Qt::Key_PageDown: StepDigit(0, FChangeLarge); break;
    case Qt::Key_End: SetDigit(S.DigitalTo()); break;
    case Qt::Key_Home: SetDigit(S.DigitalFrom()); break;
    case Qt::Key_Up:
    case Qt::Key_Right: StepDigit(FChangeSmall, 0); break;
    case Qt::Key_Down:
    case Qt::Key_Left: StepDigit(0, FChangeSmall); break;
    default: QWidget::keyPressEvent(Event); return;
  }
  Event->accept();
}

void TAbAnalogCControl::keyReleaseEvent(QKeyEvent* Event) {
  QWidget::keyReleaseEvent(Event);
  if (Event->isAutoRepeat()) return;  // a held key releases once, at the end
  FireValueChangedIfPending();
}

void TAbAnalogCControl::wheelEvent(QWheelEvent* Event) {
  // One notch is a delta of 120. The low byte tells the notch apart from
  // other deltas; the sign keeps a large delta whose low byte happens to
  // match the other direction from stepping the wrong way.
  const int Delta = Event->angleDelta().y();
  const int Low = Delta & 0xFF;
  if (Low == 0x78 && Delta > 0) StepDigit(FChangeSmall, 0);
  else if (Low == 0x88 && Delta < 0) StepDigit(0, FChangeSmall);
  Event->accept();
}

void TAbAnalogCControl::mousePressEvent(QMouseEvent* Event) {
  QWidget::mousePressEvent(Event);
  setFocus(Qt::MouseFocusReason);
  if (Event->button() != Qt::LeftButton) return;
  const QPoint P = Event->position().toPoint();
  if (!InHotArea(P)) return;
  FDragging = true;
  TrackPosition(Event->modifiers(), P.x(), P.y());
  FLastPoint = P;
}

void TAbAnalogCControl::mouseMoveEvent(QMouseEvent* Event) {
  QWidget::mouseMoveEvent(Event);
  const QPoint P = Event->position().toPoint();
  const QCursor Wanted = InHotArea(P) ? AbCursorOfId(FCursorSlide) : FNormalCursor;
  if (cursor().shape() != Wanted.shape()) setCursor(Wanted);
  if (FDragging) TrackPosition(Event->modifiers(), P.x(), P.y());
}

void TAbAnalogCControl::mouseReleaseEvent(QMouseEvent* Event) {
  QWidget::mouseReleaseEvent(Event);
  if (Event->button() != Qt::LeftButton) return;
  FDragging = false;
  FireValueChangedIfPending();
}

void TAbAnalogCControl::focusInEvent(QFocusEvent* Event) {
  QWidget::focusInEvent(Event);
  RefreshValue();
}

void TAbAnalogCControl::focusOutEvent(QFocusEvent* Event) {
  QWidget::focusOutEvent(Event);
  RefreshValue();
}

void TAbAnalogCControl::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::EnabledChange) RefreshValue();
}
