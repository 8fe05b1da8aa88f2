#include "abswitch.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace {

// Set while a status word is being handed to the members of a group, so the
// members do not hand it on again. GUI thread only.
bool GroupUpdateRunning = false;

class TGroupUpdateScope {
public:
  TGroupUpdateScope() { GroupUpdateRunning = true; }
  ~TGroupUpdateScope() { GroupUpdateRunning = false; }
  TGroupUpdateScope(const TGroupUpdateScope&) = delete;
  TGroupUpdateScope& operator=(const TGroupUpdateScope&) = delete;
};

// The inside of larger switches is drawn in place.
constexpr int64_t MaxComposedPixels = 4096 * 4096;

uint32_t BitOf(int32_t Bit) { return uint32_t{1} << Bit; }

int32_t LowestSetBit(uint32_t W) {
  for (int32_t I = 0; I < 32; ++I)
    if (W & BitOf(I)) return I;
  return 32;
}

// The two-state controls that share this control's parent, in the parent's
// order; a control without a parent is alone.
std::vector<QPointer<TAbBinGControl>> Siblings(TAbBinGControl* Self) {
  std::vector<QPointer<TAbBinGControl>> Result;
  QObject* Owner = Self->parent();
  if (!Owner) {
    Result.emplace_back(Self);
    return Result;
  }
  for (QObject* Child : Owner->children())
    if (auto* C = qobject_cast<TAbBinGControl*>(Child)) Result.emplace_back(C);
  return Result;
}

}  // namespace

// --- TAbBinGControl ---

TAbBinGControl::TAbBinGControl(QWidget* Parent) : TAbCustomControl(Parent) {
  // A switch is operated with the mouse only and never takes the focus.
  setFocusPolicy(Qt::NoFocus);
}

void TAbBinGControl::SetChecked(bool V) {
  if (V == FChecked) return;
  FChecked = V;
  if (FChecked) {
    if (FMode == mRadioButton) SetStatusInt(BitOf(FStatusBit));
    else SetStatusInt(FStatusInt | BitOf(FStatusBit));
  } else if (FMode != mRadioButton) {
    SetStatusInt(FStatusInt & ~BitOf(FStatusBit));
  }
  RedrawInner();
  if (FOnStatusChanged) FOnStatusChanged(this);
}

void TAbBinGControl::SetStatusInt(uint32_t W) {
  if (W == FStatusInt) return;
  FStatusInt = W;
  SetChecked((W & BitOf(FStatusBit)) != 0);
  FLowestBit = LowestSetBit(W);
  StatusIntChanged();
  if (FOnStatusIntChanged) FOnStatusIntChanged(this);

  if (FGroupIndex != 0 && !GroupUpdateRunning) {
    const TGroupUpdateScope Scope;
    for (const QPointer<TAbBinGControl>& Member : Siblings(this))
      if (Member && Member->FGroupIndex == FGroupIndex) Member->SetStatusInt(W);
  }
}

void TAbBinGControl::SetStatusBit(int32_t B) {
  if (B == FStatusBit || B < 0 || B >= 32) return;
  FStatusBit = B;
  SetChecked((FStatusInt & BitOf(B)) != 0);
}

void TAbBinGControl::SetGroupIndex(int64_t G) {
  if (G < 0 || G > UINT32_MAX || static_cast<uint32_t>(G) == FGroupIndex) return;
  FGroupIndex = static_cast<uint32_t>(G);
  if (FGroupIndex != 0) {
    for (const QPointer<TAbBinGControl>& Member : Siblings(this))
      if (Member && Member->FGroupIndex == FGroupIndex) {
        SetStatusInt(Member->FStatusInt);
        break;
      }
  }
  GroupIndexChanged();
}

void TAbBinGControl::SetMode(TMode M) {
  if (M < mButton || M > mRadioButton) return;
  FMode = M;
  if (M == mButton) SetStatusInt(0);
  else if (M == mRadioButton) SetStatusInt(1);
}

// --- TAbSwitch ---

TAbSwitch::TAbSwitch(QWidget* Parent)
    : TAbBinGControl(Parent),
      FBtnColorShadow(AbBtnShadowColor()),
      FBtnColorHighlight(AbBtnHighlightColor()),
      FBtnColorFace(AbBtnFaceColor()) {
  FBevelOuter.SetWidth(1);
  FBevelOuter.SetSpacing(1);
  FBevelOuter.SetStyle(bsLowered);
  FBevelOuter.SetColor(AbBtnShadowColor());
  FBevelOuter.SetBevelLine(blInner);
  SetMode(mSwitch);
  resize(57, 25);
}

void TAbSwitch::Loaded() {
  TAbBinGControl::Loaded();
  FBevelOuter.SetOnChange([this](TAbPersistent*) { FullRepaint(); });
  FFont.SetOnChange([this](TAbPersistent*) { FullRepaint(); });
  FullRepaint();
}

void TAbSwitch::SetBtnColorHighlight(const QColor& C) {
  if (C == FBtnColorHighlight) return;
  FBtnColorHighlight = C;
  RedrawInner();
}

void TAbSwitch::SetBtnColorShadow(const QColor& C) {
  if (C == FBtnColorShadow) return;
  FBtnColorShadow = C;
  RedrawInner();
}

void TAbSwitch::SetBtnColorFace(const QColor& C) {
  if (C == FBtnColorFace) return;
  FBtnColorFace = C;
  RedrawInner();
}

void TAbSwitch::SetBtnBevelWidth(int N) {
  if (N == FBtnBevelWidth || N < 0) return;
  FBtnBevelWidth = N;
  RedrawInner();
}

void TAbSwitch::SetOrientationValue(TBtnOrientation O) {
  if (O == FOrientation || (O != boHorizontal && O != boVertical)) return;
  FOrientation = O;
  const int Small = std::min(width(), height());
  const int Large = std::max(width(), height());
  if (O == boVertical) resize(Small, Large);
  else resize(Large, Small);
  FVertical = O == boVertical;
  FullRepaint();
}

void TAbSwitch::SetSwapGraphicValue(bool V) {
  if (V == FSwapGraphic) return;
  FSwapGraphic = V;
  RedrawInner();
}

bool TAbSwitch::AcceptsPress(QPoint P) const {
  const bool Lever = LeverOnCheckedSide();
  if (FVertical) {
    const int Middle = height() / 2;
    return Lever ? P.y() > Middle : P.y() < Middle;
  }
  const int Middle = width() / 2;
  return Lever ? P.x() > Middle : P.x() < Middle;
}

void TAbSwitch::paintEvent(QPaintEvent* Event) {
  QPainter Canvas(this);
  QRect Inner = rect();
  FBevelOuter.PaintRectangular(Canvas, Inner);
  FInnerRect = Inner;
  if (Inner.width() <= 0 || Inner.height() <= 0) return;
  const QRect Area(QPoint(0, 0), Inner.size());
  if (static_cast<int64_t>(Inner.width()) * Inner.height() > MaxComposedPixels) {
    // Far beyond any real switch: drawn in place rather than through an
    // image of that size.
    Canvas.save();
    Canvas.setClipRect(Event->rect() & Inner);
    Canvas.translate(Inner.topLeft());
    Canvas.setFont(FFont.Font());
    DrawSwitch(Canvas, Area, FVertical, LeverOnCheckedSide());
    Canvas.restore();
    return;
  }
  // The inside is composed off-screen and copied in one piece.
  QImage Image(Inner.size(), QImage::Format_RGB32);
  Image.fill(FBtnColorFace);
  {
    QPainter P(&Image);
    P.setFont(FFont.Font());
    DrawSwitch(P, Area, FVertical, LeverOnCheckedSide());
  }
  Canvas.drawImage(Inner.topLeft(), Image);
}

void TAbSwitch::mousePressEvent(QMouseEvent* Event) {
  const QPoint P = Event->position().toPoint();
  Event->accept();
  if (!AcceptsPress(P)) return;  // dropped entirely, the handler included
  if (FOnMouseDown) FOnMouseDown(this, Event->button(), Event->modifiers(), P.x(), P.y());
  if (Event->button() != Qt::LeftButton || Mode() == mIndicator) return;
  SetPressed(true);
  switch (Mode()) {
    case mButton: SetChecked(true); break;
    case mSwitch: SetChecked(!Checked()); break;
    case mRadioButton: SetStatusInt(uint32_t{1} << StatusBit()); break;
    case mIndicator: break;
  }
}

void TAbSwitch::mouseReleaseEvent(QMouseEvent* Event) {
  const QPoint P = Event->position().toPoint();
  Event->accept();
  if (FOnMouseUp) FOnMouseUp(this, Event->button(), Event->modifiers(), P.x(), P.y());
  if (Event->button() != Qt::LeftButton || Mode() == mIndicator) return;
  SetPressed(false);
  if (Mode() == mButton) SetChecked(false);
  RedrawInner();
}

// --- TAbToggleSwitch ---

TAbToggleSwitch::TAbToggleSwitch(QWidget* Parent) : TAbSwitch(Parent) {}

void TAbToggleSwitch::SetTextOff(const QString& T) {
  if (T == FTextOff) return;
  FTextOff = T;
  FullRepaint();
}

void TAbToggleSwitch::SetTextOn(const QString& T) {
  if (T == FTextOn) return;
  FTextOn = T;
  FullRepaint();
}

void TAbToggleSwitch::SetColorOn(const QColor& C) {
  if (C == FColorOn) return;
  FColorOn = C;
  FullRepaint();
}

void TAbToggleSwitch::SetColorOff(const QColor& C) {
  if (C == FColorOff) return;
  FColorOff = C;
  FullRepaint();
}

QRect TAbToggleSwitch::LeverRect(const QRect& Rect, bool IsVertical, bool LeverOnChecked) {
  // Split at the middle line across the orientation; the checked side is
  // the upper half of a vertical switch and the left half of a horizontal one.
  if (IsVertical) {
    const int Half = Rect.height() / 2;
    return LeverOnChecked ? QRect(Rect.left(), Rect.top(), Rect.width(), Half)
                          : QRect(Rect.left(), Rect.top() + Half, Rect.width(), Rect.height() - Half);
  }
  const int Half = Rect.width() / 2;
  return LeverOnChecked ? QRect(Rect.left(), Rect.top(), Half, Rect.height())
                        : QRect(Rect.left() + Half, Rect.top(), Rect.width() - Half, Rect.height());
}

QPoint TAbToggleSwitch::TextPoint(const QRect& Rect, bool IsVertical, bool LeverOnChecked) {
  // A quarter of the size from the edge the lever is away from.
  if (IsVertical) {
    const int X = Rect.left() + Rect.width() / 2;
    const int Quarter = Rect.height() / 4;
    return {X, LeverOnChecked ? Rect.top() + Rect.height() - Quarter : Rect.top() + Quarter};
  }
  const int Y = Rect.top() + Rect.height() / 2;
  const int Quarter = Rect.width() / 4;
  return {LeverOnChecked ? Rect.left() + Rect.width() - Quarter : Rect.left() + Quarter, Y};
}

void TAbToggleSwitch::DrawSwitch(QPainter& Canvas, const QRect& Rect, bool IsVertical, bool LeverOnChecked) {
  const bool On = Checked();
  Canvas.fillRect(Rect, On ? FColorOn : FColorOff);

  // The lever: face colour, a black outline and a raised frame inside it.
  TAbSBevel Lever;
  Lever.SetSpacing(0);
  Lever.SetWidth(BtnBevelWidth());
  Lever.SetStyle(bsRaised);
  Lever.SetBevelLine(blOuter);
  Lever.SetPenColor(Qt::black);
  Lever.SetColor(BtnColorFace());
  Lever.SetColorHighLightFrom(BtnColorHighlight());
  Lever.SetColorHighLightTo(BtnColorHighlight());
  Lever.SetColorShadowFrom(BtnColorShadow());
  Lever.SetColorShadowTo(BtnColorShadow());
  QRect Grip = LeverRect(Rect, IsVertical, LeverOnChecked);
  Lever.PaintRectangular(Canvas, Grip);

  // Grip ridges every 4 pixels across the lever (only those that can show).
  const int Left = Grip.left(), Top = Grip.top();
  const int Right = Grip.left() + Grip.width(), Bottom = Grip.top() + Grip.height();  // exclusive
  const QRect Visible = Canvas.hasClipping() ? Canvas.clipBoundingRect().toAlignedRect() : Rect;
  auto FirstRidge = [](int From, int Edge) { return From >= Edge ? From : From + (Edge - From) / 4 * 4; };
  if (IsVertical) {
    for (int Y = FirstRidge(Top + 2, Visible.top() - 1); Y < Bottom - 2 && Y <= Visible.bottom(); Y += 4) {
      Canvas.fillRect(QRect(Left + 1, Y, Right - 2 - (Left + 1), 1), BtnColorHighlight());
      Canvas.fillRect(QRect(Left + 1, Y + 1, Right - 2 - (Left + 1), 1), BtnColorShadow());
    }
  } else {
    for (int X = FirstRidge(Left + 2, Visible.left() - 1); X < Right - 2 && X <= Visible.right(); X += 4) {
      Canvas.fillRect(QRect(X, Top + 2, 1, Bottom - 2 - (Top + 2)), BtnColorShadow());
      Canvas.fillRect(QRect(X + 1, Top + 2, 1, Bottom - 2 - (Top + 2)), BtnColorHighlight());
    }
  }

  const QPoint At = TextPoint(Rect, IsVertical, LeverOnChecked);
  Canvas.setPen(Font().Color());
  AbTextOut(Canvas, At.x(), At.y(), 4, On ? FTextOn : FTextOff);
}
