#include "abvslider.h"

#include <QPainter>

#include <algorithm>

namespace {

// A one-pixel frame just inside r: one colour on the top and left edges, the
// other on the bottom and right edges.
void Frame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const int l = r.left(), t = r.top(), rt = r.left() + r.width() - 1, b = r.top() + r.height() - 1;
    p.setPen(bottomRight);
    p.drawLine(l, b, rt, b);
    p.drawLine(rt, t, rt, b);
    p.setPen(topLeft);
    p.drawLine(l, t, rt, t);
    p.drawLine(l, t, l, b);
}

} // namespace

TAbVSlider::TAbVSlider(QWidget* parent)
    : TAbAnalogFaceControl(parent)
{
    resize(105, 289);
    ScaleSettings().SetDrawLine(false);
    ScaleSettings().SetSubSteps(5);
    ScaleSettings().SetMajorPenWidth(2);
    SetEnableMouseJumpFlag(true);
    SetValue(10.0f);
}

TAbVSlider::~TAbVSlider() = default;

void TAbVSlider::SetEnableMouseJump(bool v)
{
    if (v == EnableMouseJump())
        return;
    SetEnableMouseJumpFlag(v);
    RequestSettingsChanged();
}

void TAbVSlider::SetButtonSize(int v)
{
    v = std::max(std::min(v, width()), 18);
    if (v == buttonSize_)
        return;
    buttonSize_ = v;
    RequestSettingsChanged();
}

void TAbVSlider::SetColorTrench(const QColor& c)
{
    if (c == colorTrench_)
        return;
    colorTrench_ = c;
    RequestSettingsChanged();
}

void TAbVSlider::SetOptions(TVSliderOptions options)
{
    if (options == options_)
        return;
    options_ = options;
    RequestSettingsChanged();
}

void TAbVSlider::TrackPosition(Qt::KeyboardModifiers shift, int x, int y)
{
    TAbAnalogFaceControl::TrackPosition(shift, x, y);
    const int top = trench_.top();
    const int bottom = trench_.top() + trench_.height() - 1;
    if (bottom <= top)
        return;
    y = std::clamp(y, top, bottom);
    const TSignalSettings& s = SignalSettings();
    const long double perPixel = static_cast<long double>(s.DigitalSpan()) / (bottom - top);
    SetDigit(s.ClampDigit(s.DigitalFrom() + static_cast<int64_t>(AbRoundToInt32(perPixel * (bottom - y)))));
}

void TAbVSlider::PaintPass()
{
    const TSignalSettings& s = SignalSettings();
    TScaleSettings& scale = ScaleSettings();
    QPainter p(&Canvas());
    QRect area = PaintOuter(p, options_.Has(opBevelOuter));
    scale.PrepareLinear(s.ValueFrom(), s.ValueTo(), options_.Has(opScaleText));
    area = PaintValueWindow(p, area, options_.Has(opValue), options_.Has(opUnit));
    area = PaintCaptions(p, area, options_.Has(opName1), options_.Has(opName2), true);

    knobHeight_ = AbRoundToInt32(0.4L * buttonSize_);
    const int margin = std::max(scale.LabelHeight() / 3, knobHeight_ / 2);
    const int trenchHeight = area.height() - 2 * margin;
    // Too small: no room for a trench of at least two rows.
    tooSmall_ = area.width() < 2 || area.height() < 2 || trenchHeight < 2;
    SetReady(false);
    if (tooSmall_) {
        SetHotArea(QRect());
        return;
    }

    // Two scales flank the five-pixel trench, the pair centred in the area;
    // both run from one row below the trench's top to one above its bottom.
    const int total = scale.TotalWidth();
    const int o = (area.width() - (2 * total + 4)) / 2;
    trench_ = QRect(area.left() + o + total, area.top() + margin, 5, trenchHeight);
    const int scaleTop = trench_.top() + 1;
    const int scaleHeight = trench_.height() - 3;
    const int leftSpine = trench_.left() - 5;
    const int rightSpine = trench_.left() + 9;
    scale.SetPosLeftTop(true);
    scale.DrawLinear(p, QRect(leftSpine - total + 1, scaleTop, total, scaleHeight));
    scale.SetPosLeftTop(false);
    scale.DrawLinear(p, QRect(rightSpine, scaleTop, total, scaleHeight));

    // The trench: sunken one-pixel frame, filled with the trench colour.
    p.fillRect(trench_, colorTrench_);
    Frame(p, trench_, AbBtnShadowColor(), AbBtnHighlightColor());

    travel_ = QRect(trench_.left() + 2 - (buttonSize_ + 1) / 2, trench_.top() - knobHeight_ / 2, buttonSize_ + 1,
                    trench_.height() + knobHeight_);
    p.end();
    const qreal dpr = Canvas().devicePixelRatio();
    bareTravel_ = Canvas().copy(QRect((QPointF(travel_.topLeft()) * dpr).toPoint(),
                                      (QSizeF(travel_.size()) * dpr).toSize()));
    bareTravel_.setDevicePixelRatio(dpr);
    SetReady(true);
    RefreshValue();
}

void TAbVSlider::PlaceKnob()
{
    const TSignalSettings& s = SignalSettings();
    const int span = std::max(s.DigitalSpan(), 1);
    const long double trenchRows = trench_.height() - 1;
    const long double y = (travel_.height() - knobHeight_ / 2 - 1) -
                          trenchRows / span * (static_cast<long double>(Digit()) - s.DigitalFrom());
    knobPoint_ = QPoint(travel_.width() / 2, AbRoundToInt32(y));
    if (EnableMouseJump()) {
        SetHotArea(travel_);
    } else {
        const int half = AbRoundToInt32(0.2L * buttonSize_);
        SetHotArea(QRect(travel_.left(), travel_.top() + knobPoint_.y() - half, travel_.width(), 2 * half));
    }
}

void TAbVSlider::PaintKnob(QPainter& p, const QRect& knob) const
{
    const bool enabled = isEnabled();
    const QColor dark = enabled ? QColor(Qt::black) : AbBtnShadowColor();
    p.fillRect(knob, AbBtnFaceColor());
    Frame(p, knob, AbBtnShadowColor(), dark);
    const QRect ring = knob.adjusted(1, 1, -1, -1);
    Frame(p, ring, AbBtnHighlightColor(), AbBtnShadowColor());
    const int inset = buttonSize_ / 25;
    const QRect grip = ring.adjusted(1 + inset, 1 + inset, -1 - inset, -1 - inset);
    if (grip.width() > 0 && grip.height() > 0) {
        p.fillRect(grip, PointerColor());
        Frame(p, grip, dark, dark);
    }
}

void TAbVSlider::RefreshValue()
{
    TAbAnalogFaceControl::RefreshValue();
    if (tooSmall_ || !isVisible() || !Ready() || LayoutPending())
        return;
    PlaceKnob();
    // The knob goes onto a copy of the bare travel area, which then replaces
    // the travel area in one piece.
    QImage lane = bareTravel_;
    {
        QPainter q(&lane);
        const QRect knob(knobPoint_.x() - buttonSize_ / 2, knobPoint_.y() - knobHeight_ / 2, buttonSize_,
                         knobHeight_);
        PaintKnob(q, knob);
    }
    QPainter p(&Canvas());
    p.drawImage(travel_.topLeft(), lane);
    PaintValueText(p);
    p.end();
    ShowPart(travel_);
    ShowPart(ValueTextRect());
}
