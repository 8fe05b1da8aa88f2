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
bool groupUpdateRunning = false;

class GroupUpdateScope {
public:
    GroupUpdateScope() { groupUpdateRunning = true; }
    ~GroupUpdateScope() { groupUpdateRunning = false; }
    GroupUpdateScope(const GroupUpdateScope&) = delete;
    GroupUpdateScope& operator=(const GroupUpdateScope&) = delete;
};

// The inside of larger switches is drawn in place.
constexpr int64_t kMaxComposedPixels = 4096 * 4096;

uint32_t BitOf(int32_t bit) { return uint32_t{1} << bit; }

int32_t LowestSetBit(uint32_t w)
{
    for (int32_t i = 0; i < 32; ++i)
        if (w & BitOf(i))
            return i;
    return 32;
}

// The two-state controls that share this control's parent, in the parent's
// order; a control without a parent is alone.
std::vector<QPointer<TAbBinGControl>> Siblings(TAbBinGControl* self)
{
    std::vector<QPointer<TAbBinGControl>> result;
    QObject* owner = self->parent();
    if (!owner) {
        result.emplace_back(self);
        return result;
    }
    for (QObject* child : owner->children())
        if (auto* c = qobject_cast<TAbBinGControl*>(child))
            result.emplace_back(c);
    return result;
}

} // namespace

// --- TAbBinGControl ---

TAbBinGControl::TAbBinGControl(QWidget* parent) : TAbCustomControl(parent)
{
    // A switch is operated with the mouse only and never takes the focus.
    setFocusPolicy(Qt::NoFocus);
}

void TAbBinGControl::SetChecked(bool v)
{
    if (v == checked_)
        return;
    checked_ = v;
    if (checked_) {
        if (mode_ == mRadioButton)
            SetStatusInt(BitOf(statusBit_));
        else
            SetStatusInt(statusInt_ | BitOf(statusBit_));
    } else if (mode_ != mRadioButton) {
        SetStatusInt(statusInt_ & ~BitOf(statusBit_));
    }
    RedrawInner();
    if (onStatusChanged_)
        onStatusChanged_(this);
}

void TAbBinGControl::SetStatusInt(uint32_t w)
{
    if (w == statusInt_)
        return;
    statusInt_ = w;
    SetChecked((w & BitOf(statusBit_)) != 0);
    lowestBit_ = LowestSetBit(w);
    StatusIntChanged();
    if (onStatusIntChanged_)
        onStatusIntChanged_(this);

    if (groupIndex_ != 0 && !groupUpdateRunning) {
        const GroupUpdateScope scope;
        for (const QPointer<TAbBinGControl>& member : Siblings(this))
            if (member && member->groupIndex_ == groupIndex_)
                member->SetStatusInt(w);
    }
}

void TAbBinGControl::SetStatusBit(int32_t b)
{
    if (b == statusBit_ || b < 0 || b >= 32)
        return;
    statusBit_ = b;
    SetChecked((statusInt_ & BitOf(b)) != 0);
}

void TAbBinGControl::SetGroupIndex(int64_t g)
{
    if (g < 0 || g > UINT32_MAX || static_cast<uint32_t>(g) == groupIndex_)
        return;
    groupIndex_ = static_cast<uint32_t>(g);
    if (groupIndex_ != 0) {
        for (const QPointer<TAbBinGControl>& member : Siblings(this))
            if (member && member->groupIndex_ == groupIndex_) {
                SetStatusInt(member->statusInt_);
                break;
            }
    }
    GroupIndexChanged();
}

void TAbBinGControl::SetMode(TMode m)
{
    if (m < mButton || m > mRadioButton)
        return;
    mode_ = m;
    if (m == mButton)
        SetStatusInt(0);
    else if (m == mRadioButton)
        SetStatusInt(1);
}

// --- TAbSwitch ---

TAbSwitch::TAbSwitch(QWidget* parent)
    : TAbBinGControl(parent),
      btnColorShadow_(AbBtnShadowColor()),
      btnColorHighlight_(AbBtnHighlightColor()),
      btnColorFace_(AbBtnFaceColor())
{
    bevelOuter_.SetWidth(1);
    bevelOuter_.SetSpacing(1);
    bevelOuter_.SetStyle(bsLowered);
    bevelOuter_.SetColor(AbBtnShadowColor());
    bevelOuter_.SetBevelLine(blInner);
    SetMode(mSwitch);
    resize(57, 25);
}

void TAbSwitch::Loaded()
{
    TAbBinGControl::Loaded();
    bevelOuter_.SetOnChange([this](TAbPersistent*) { FullRepaint(); });
    font_.SetOnChange([this](TAbPersistent*) { FullRepaint(); });
    FullRepaint();
}

void TAbSwitch::SetBtnColorHighlight(const QColor& c)
{
    if (c == btnColorHighlight_)
        return;
    btnColorHighlight_ = c;
    RedrawInner();
}

void TAbSwitch::SetBtnColorShadow(const QColor& c)
{
    if (c == btnColorShadow_)
        return;
    btnColorShadow_ = c;
    RedrawInner();
}

void TAbSwitch::SetBtnColorFace(const QColor& c)
{
    if (c == btnColorFace_)
        return;
    btnColorFace_ = c;
    RedrawInner();
}

void TAbSwitch::SetBtnBevelWidth(int n)
{
    if (n == btnBevelWidth_ || n < 0)
        return;
    btnBevelWidth_ = n;
    RedrawInner();
}

void TAbSwitch::SetOrientationValue(TBtnOrientation o)
{
    if (o == orientation_ || (o != boHorizontal && o != boVertical))
        return;
    orientation_ = o;
    const int small = std::min(width(), height());
    const int large = std::max(width(), height());
    if (o == boVertical)
        resize(small, large);
    else
        resize(large, small);
    vertical_ = o == boVertical;
    FullRepaint();
}

void TAbSwitch::SetSwapGraphicValue(bool v)
{
    if (v == swapGraphic_)
        return;
    swapGraphic_ = v;
    RedrawInner();
}

bool TAbSwitch::AcceptsPress(QPoint p) const
{
    const bool lever = LeverOnCheckedSide();
    if (vertical_) {
        const int middle = height() / 2;
        return lever ? p.y() > middle : p.y() < middle;
    }
    const int middle = width() / 2;
    return lever ? p.x() > middle : p.x() < middle;
}

void TAbSwitch::paintEvent(QPaintEvent* event)
{
    QPainter canvas(this);
    QRect inner = rect();
    bevelOuter_.PaintRectangular(canvas, inner);
    innerRect_ = inner;
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    const QRect area(QPoint(0, 0), inner.size());
    if (static_cast<int64_t>(inner.width()) * inner.height() > kMaxComposedPixels) {
        // Far beyond any real switch: drawn in place rather than through an
        // image of that size.
        canvas.save();
        canvas.setClipRect(event->rect() & inner);
        canvas.translate(inner.topLeft());
        canvas.setFont(font_.Font());
        DrawSwitch(canvas, area, vertical_, LeverOnCheckedSide());
        canvas.restore();
        return;
    }
    // The inside is composed off-screen and copied in one piece.
    QImage image(inner.size(), QImage::Format_RGB32);
    image.fill(btnColorFace_);
    {
        QPainter p(&image);
        p.setFont(font_.Font());
        DrawSwitch(p, area, vertical_, LeverOnCheckedSide());
    }
    canvas.drawImage(inner.topLeft(), image);
}

void TAbSwitch::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    event->accept();
    if (!AcceptsPress(p))
        return;  // dropped entirely, the handler included
    if (onMouseDown_)
        onMouseDown_(this, event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() != Qt::LeftButton || Mode() == mIndicator)
        return;
    SetPressed(true);
    switch (Mode()) {
    case mButton: SetChecked(true); break;
    case mSwitch: SetChecked(!Checked()); break;
    case mRadioButton: SetStatusInt(uint32_t{1} << StatusBit()); break;
    case mIndicator: break;
    }
}

void TAbSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    event->accept();
    if (onMouseUp_)
        onMouseUp_(this, event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() != Qt::LeftButton || Mode() == mIndicator)
        return;
    SetPressed(false);
    if (Mode() == mButton)
        SetChecked(false);
    RedrawInner();
}

// --- TAbToggleSwitch ---

TAbToggleSwitch::TAbToggleSwitch(QWidget* parent) : TAbSwitch(parent) {}

void TAbToggleSwitch::SetTextOff(const QString& t)
{
    if (t == textOff_)
        return;
    textOff_ = t;
    FullRepaint();
}

void TAbToggleSwitch::SetTextOn(const QString& t)
{
    if (t == textOn_)
        return;
    textOn_ = t;
    FullRepaint();
}

void TAbToggleSwitch::SetColorOn(const QColor& c)
{
    if (c == colorOn_)
        return;
    colorOn_ = c;
    FullRepaint();
}

void TAbToggleSwitch::SetColorOff(const QColor& c)
{
    if (c == colorOff_)
        return;
    colorOff_ = c;
    FullRepaint();
}

QRect TAbToggleSwitch::LeverRect(const QRect& rect, bool vertical, bool leverOnCheckedSide)
{
    // Split at the middle line across the orientation; the checked side is
    // the upper half of a vertical switch and the left half of a horizontal one.
    if (vertical) {
        const int half = rect.height() / 2;
        return leverOnCheckedSide ? QRect(rect.left(), rect.top(), rect.width(), half)
                                  : QRect(rect.left(), rect.top() + half, rect.width(), rect.height() - half);
    }
    const int half = rect.width() / 2;
    return leverOnCheckedSide ? QRect(rect.left(), rect.top(), half, rect.height())
                              : QRect(rect.left() + half, rect.top(), rect.width() - half, rect.height());
}

QPoint TAbToggleSwitch::TextPoint(const QRect& rect, bool vertical, bool leverOnCheckedSide)
{
    // A quarter of the size from the edge the lever is away from.
    if (vertical) {
        const int x = rect.left() + rect.width() / 2;
        const int quarter = rect.height() / 4;
        return {x, leverOnCheckedSide ? rect.top() + rect.height() - quarter : rect.top() + quarter};
    }
    const int y = rect.top() + rect.height() / 2;
    const int quarter = rect.width() / 4;
    return {leverOnCheckedSide ? rect.left() + rect.width() - quarter : rect.left() + quarter, y};
}

void TAbToggleSwitch::DrawSwitch(QPainter& canvas, const QRect& rect, bool vertical, bool leverOnCheckedSide)
{
    const bool on = Checked();
    canvas.fillRect(rect, on ? colorOn_ : colorOff_);

    // The lever: face colour, a black outline and a raised frame inside it.
    TAbSBevel lever;
    lever.SetSpacing(0);
    lever.SetWidth(BtnBevelWidth());
    lever.SetStyle(bsRaised);
    lever.SetBevelLine(blOuter);
    lever.SetPenColor(Qt::black);
    lever.SetColor(BtnColorFace());
    lever.SetColorHighLightFrom(BtnColorHighlight());
    lever.SetColorHighLightTo(BtnColorHighlight());
    lever.SetColorShadowFrom(BtnColorShadow());
    lever.SetColorShadowTo(BtnColorShadow());
    QRect grip = LeverRect(rect, vertical, leverOnCheckedSide);
    lever.PaintRectangular(canvas, grip);

    // Grip ridges every 4 pixels across the lever (only those that can show).
    const int left = grip.left(), top = grip.top();
    const int right = grip.left() + grip.width(), bottom = grip.top() + grip.height();  // exclusive
    const QRect visible = canvas.hasClipping() ? canvas.clipBoundingRect().toAlignedRect() : rect;
    auto firstRidge = [](int from, int edge) { return from >= edge ? from : from + (edge - from) / 4 * 4; };
    if (vertical) {
        for (int y = firstRidge(top + 2, visible.top() - 1); y < bottom - 2 && y <= visible.bottom(); y += 4) {
            canvas.fillRect(QRect(left + 1, y, right - 2 - (left + 1), 1), BtnColorHighlight());
            canvas.fillRect(QRect(left + 1, y + 1, right - 2 - (left + 1), 1), BtnColorShadow());
        }
    } else {
        for (int x = firstRidge(left + 2, visible.left() - 1); x < right - 2 && x <= visible.right(); x += 4) {
            canvas.fillRect(QRect(x, top + 2, 1, bottom - 2 - (top + 2)), BtnColorShadow());
            canvas.fillRect(QRect(x + 1, top + 2, 1, bottom - 2 - (top + 2)), BtnColorHighlight());
        }
    }

    const QPoint at = TextPoint(rect, vertical, leverOnCheckedSide);
    canvas.setPen(Font().Color());
    AbTextOut(canvas, at.x(), at.y(), 4, on ? textOn_ : textOff_);
}
