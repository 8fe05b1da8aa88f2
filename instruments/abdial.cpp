#include "abdial.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr long double RadToDeg = 57.295779513082320876798154814105L;

} // namespace

TAbDial::TAbDial(QWidget* parent)
    : TAbAnalogFaceControl(parent)
{
    resize(113, 161);
    bevelDial_.SetColorShadowFrom(AbBtnHighlightColor());
    bevelDial_.SetColorShadowTo(AbBtnShadowColor());
    bevelDial_.SetBevelLine(blOuter);
    bevelDial_.SetPenColor(AbBtnShadowColor());
    bevelDial_.SetSpacing(1);
    bevelDial_.SetCircularShading(true);
    ScaleSettings().SetMajorPenWidth(2);
    SetRoundHotArea(true);
    SetValue(10.0f);
}

TAbDial::~TAbDial() = default;

void TAbDial::SetOptions(TDialOptions options)
{
    if (options == options_)
        return;
    options_ = options;
    SettingsChanged();
}

void TAbDial::Loaded()
{
    TAbAnalogFaceControl::Loaded();
    bevelDial_.SetOnChange([this](TAbPersistent*) { SettingsChanged(); });
}

float TAbDial::AngleOfPoint(QPointF p, QPointF c)
{
    if (p.y() == c.y())
        return p.x() > c.x() ? 270.0f : 90.0f;
    if (p.y() < c.y())
        return static_cast<float>(180.0L + std::atan(static_cast<long double>(c.x() - p.x()) /
                                                     (p.y() - c.y() + 0.0001L)) * RadToDeg);
    const long double t =
        std::atan(static_cast<long double>(p.x() - c.x()) / (p.y() - c.y() + 0.0001L)) * RadToDeg;
    return static_cast<float>(p.x() > c.x() ? 360.0L - t : -t);
}

void TAbDial::mousePressEvent(QMouseEvent* event)
{
    // The drag is relative: it starts from the angle of the press point.
    lastAngle_ = AngleOfPoint(event->position(), faceCentre_);
    TAbAnalogFaceControl::mousePressEvent(event);
}

void TAbDial::TrackPosition(Qt::KeyboardModifiers shift, int x, int y)
{
    TAbAnalogFaceControl::TrackPosition(shift, x, y);
    const float a = AngleOfPoint(QPointF(x, y), faceCentre_);
    float d = a - lastAngle_;
    // A jump of more than 200 degrees is the seam below the centre crossed.
    if (std::fabs(d) > 200.0f)
        d += d > 0 ? -360.0f : 360.0f;
    pointerAngle_ += d;
    if (pointerAngle_ > SweepAngle)
        pointerAngle_ = SweepAngle;
    else if (pointerAngle_ < 0)
        pointerAngle_ = 0;
    // Kept also at an end stop, so that turning back moves the pointer at once.
    lastAngle_ = a;
    const TSignalSettings& s = SignalSettings();
    const int64_t step = AbRoundToInt32((pointerAngle_ + 0.0001L) / SweepAngle * s.DigitalSpan());
    SetDigit(s.ClampDigit(s.DigitalFrom() + step));
}

void TAbDial::PaintPass()
{
    const TSignalSettings& s = SignalSettings();
    TScaleSettings& scale = ScaleSettings();
    QPainter p(&Canvas());
    QRect area = PaintOuter(p, options_.Has(opBevelOuter));
    scale.PrepareCircular(s.ValueFrom(), s.ValueTo(), options_.Has(opScaleText));
    area = PaintValueWindow(p, area, options_.Has(opValue), options_.Has(opUnit));
    area = PaintCaptions(p, area, options_.Has(opName1), options_.Has(opName2), false);

    if (options_.Has(opScale)) {
        // The scale is laid out on the area's width; a very wide, low area
        // is narrowed so that the circle stays within it.
        const int w = std::max(0, std::min(area.width(), area.height() * 3 / 2));
        scale.DrawCircular(p, QRect(area.left() + (area.width() - w) / 2, area.top(), w, w), SweepAngle,
                           StartAngle);
        const int k = scale.CircleMajorLength() + 4;
        faceRect_ = AbShrinkRect(scale.CircleInner(), k, k, k, k);
    } else {
        const int w = std::max(0, std::min(area.width(), area.height()));
        faceRect_ = QRect(area.left() + (area.width() - w) / 2, area.top(), w, w);
    }
    SetHotArea(faceRect_);
    QRect inner = faceRect_;
    bevelDial_.PaintCircular(p, inner);
    dotRadius_ = std::clamp(faceRect_.width() / 13, 2, 6);
    p.end();

    SetReady(faceRect_.width() >= 11 && faceRect_.height() >= 11);
    if (Ready()) {
        const qreal dpr = Canvas().devicePixelRatio();
        bareFace_ = Canvas().copy(QRect((QPointF(faceRect_.topLeft()) * dpr).toPoint(),
                                        (QSizeF(faceRect_.size()) * dpr).toSize()));
        bareFace_.setDevicePixelRatio(dpr);
    }
    faceCentre_ = QPoint(faceRect_.left() + faceRect_.width() / 2, faceRect_.top() + faceRect_.height() / 2);
    scaleStart_ = AbScale::Turn(QPoint(faceCentre_.x(), faceRect_.top() + dotRadius_), faceCentre_, StartAngle);
    RefreshValue();
}

void TAbDial::RefreshValue()
{
    TAbAnalogFaceControl::RefreshValue();
    if (!isVisible() || !Ready() || LayoutPending())
        return;
    pointerAngle_ = SignalSettings().ValueToPerMille(Value()) * static_cast<float>(SweepAngle) / 1000.0f;
    pointerPoint_ = AbScale::Turn(scaleStart_, faceCentre_, pointerAngle_);

    // The pointer goes onto a copy of the bare face, which then replaces the
    // face in one piece.
    QImage face = bareFace_;
    {
        QPainter q(&face);
        q.translate(-faceRect_.topLeft());
        q.setRenderHint(QPainter::Antialiasing);
        const QRectF dot(pointerPoint_.x() - dotRadius_, pointerPoint_.y() - dotRadius_, 2.0 * dotRadius_,
                         2.0 * dotRadius_);
        q.setPen(QPen(AbBtnHighlightColor(), 1));
        q.setBrush(PointerColor());
        q.drawEllipse(dot);
        q.setPen(QPen(AbBtnShadowColor(), 1));
        q.setBrush(Qt::NoBrush);
        q.drawArc(dot, 45 * 16, -180 * 16);
    }
    QPainter p(&Canvas());
    p.drawImage(faceRect_.topLeft(), face);
    PaintValueText(p);
    p.end();
    ShowPart(faceRect_);
    ShowPart(ValueTextRect());
}
