#include "abscale.h"

#include "numtext.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr int kMinSteps = 1, kMaxSteps = 20;
constexpr int kMinSubSteps = 1, kMaxSubSteps = 10;

// n / d rounded to the nearest integer, halves to even, for n >= 0, d > 0;
// exact, so the halves of tick angles are recognised as halves.
int64_t DivRoundEven(int64_t n, int64_t d)
{
    const int64_t q = n / d;
    const int64_t r = n % d;
    if (2 * r > d || (2 * r == d && (q % 2) != 0))
        return q + 1;
    return q;
}

int ClampSteps(int steps) { return std::clamp(steps, kMinSteps, kMaxSteps); }
int ClampSubSteps(int subSteps) { return std::clamp(subSteps, kMinSubSteps, kMaxSubSteps); }

QPoint Above(QPoint c, int distance) { return {c.x(), c.y() - distance}; }

} // namespace

namespace AbScale {

int RoundEven(double v)
{
    const long long r = RoundHalfEven(v);
    return static_cast<int>(std::clamp<long long>(r, INT32_MIN, INT32_MAX));
}

QPoint Turn(QPoint q, QPoint c, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const double dx = static_cast<double>(q.x()) - c.x();
    const double dy = static_cast<double>(q.y()) - c.y();
    return {RoundEven(c.x() + dx * std::cos(a) - dy * std::sin(a)),
            RoundEven(c.y() + dy * std::cos(a) + dx * std::sin(a))};
}

QStringList Labels(float from, float to, int steps, const QString& pattern, bool descending)
{
    QStringList labels;
    if (steps < 1)
        return labels;
    steps = std::min(steps, kMaxSteps);
    const std::string format = pattern.toStdString();
    const long double span = static_cast<long double>(to) - from;
    for (int i = 0; i <= steps; ++i) {
        const int k = descending ? steps - i : i;
        const long double value = from + span * k / steps;
        labels << (std::isfinite(value) ? QString::fromStdString(FormatFloat(format, value)) : QString());
    }
    return labels;
}

QString LabelText(const QStringList& labels)
{
    QString text;
    for (const QString& label : labels)
        text += label + QLatin1Char(';');
    return text;
}

std::vector<int> LinearMajorTicks(int top, int height, int steps)
{
    steps = ClampSteps(steps);
    std::vector<int> ys;
    for (int i = 0; i <= steps; ++i)
        ys.push_back(RoundEven(top + static_cast<double>(i) * height / steps));
    return ys;
}

std::vector<int> LinearMinorTicks(int top, int height, int steps, int subSteps)
{
    steps = ClampSteps(steps);
    subSteps = ClampSubSteps(subSteps);
    std::vector<int> ys;
    for (int i = 0; i < steps; ++i)
        for (int j = 1; j < subSteps; ++j)
            ys.push_back(RoundEven(top + static_cast<double>(i * subSteps + j) * height / (steps * subSteps)));
    return ys;
}

std::vector<double> CircularMajorAngles(int steps, int sweep)
{
    steps = ClampSteps(steps);
    std::vector<double> angles;
    for (int i = 0; i <= steps; ++i)
        angles.push_back(static_cast<double>(i) * sweep / steps);
    return angles;
}

std::vector<int> CircularMinorAngles(int steps, int subSteps, int sweep)
{
    steps = ClampSteps(steps);
    subSteps = ClampSubSteps(subSteps);
    const bool negative = sweep < 0;
    const int64_t s = negative ? -static_cast<int64_t>(sweep) : sweep;
    std::vector<int> angles;
    for (int i = 0; i < steps; ++i)
        for (int j = 1; j < subSteps; ++j) {
            // i * S / Steps + j * S / (Steps * SubSteps) as one fraction.
            const int64_t a = DivRoundEven(static_cast<int64_t>(i * subSteps + j) * s, steps * subSteps);
            angles.push_back(static_cast<int>(negative ? -a : a));
        }
    return angles;
}

LinearMetrics ComputeLinear(int lw, int lh, bool withLabels)
{
    LinearMetrics m;
    m.majorLength = RoundEven(lh / 1.4);
    m.minorLength = RoundEven(lh / 14.0) == 1 ? m.majorLength / 2 : RoundEven(m.majorLength / 1.4);
    if (withLabels) {
        m.gap = lh / 3;
        m.totalWidth = lw + m.majorLength + m.gap;
    } else {
        m.totalWidth = m.majorLength;
    }
    return m;
}

CircularGeometry ComputeCircular(const QRect& rect, int lw, int lh)
{
    CircularGeometry g;
    const int w = rect.width();
    g.radius = w / 2 - lw / 2;
    g.centre = QPoint(rect.left() + w / 2, rect.top() + g.radius + lh / 2);
    g.majorLength = g.radius / 7;
    g.minorLength = RoundEven(g.majorLength / 1.4);
    g.labelPad = (lw > 0 || lh > 0) ? std::max(lw, lh) / 2 + 1 : 0;
    const int half = std::max(0, g.radius - lw / 2);
    g.inner = QRect(g.centre.x() - half, g.centre.y() - half, 2 * half, 2 * half);
    return g;
}

} // namespace AbScale

TScaleSettings::TScaleSettings() : font_(QStringLiteral("Arial"), 14)
{
    font_.SetOnChange([this](TAbPersistent*) { Changed(); });
}

void TScaleSettings::Assign(const TAbPersistent& source)
{
    const auto* s = dynamic_cast<const TScaleSettings*>(&source);
    if (!s) {
        TAbPersistent::Assign(source);
        return;
    }
    SetColor(s->color_);
    SetDrawLine(s->drawLine_);
    SetFont(s->font_);
    SetPointerColor(s->pointerColor_);
    SetPosLeftTop(s->posLeftTop_);
    SetSteps(s->steps_);
    SetSubSteps(s->subSteps_);
    SetValueFormat(s->valueFormat_);
    SetValueFormatLog(s->valueFormatLog_);
}

template <typename T> void TScaleSettings::Store(T& field, const T& v)
{
    if (field == v)
        return;
    field = v;
    Changed();
}

void TScaleSettings::SetColor(const QColor& v) { Store(color_, v); }
void TScaleSettings::SetPointerColor(const QColor& v) { Store(pointerColor_, v); }
void TScaleSettings::SetDrawLine(bool v) { Store(drawLine_, v); }
void TScaleSettings::SetFont(const TAbFont& v) { font_.Assign(v); }
void TScaleSettings::SetPosLeftTop(bool v) { Store(posLeftTop_, v); }

void TScaleSettings::SetSteps(int v)
{
    if (v >= kMinSteps && v <= kMaxSteps)
        Store(steps_, v);
}

void TScaleSettings::SetSubSteps(int v)
{
    if (v >= kMinSubSteps && v <= kMaxSubSteps)
        Store(subSteps_, v);
}

void TScaleSettings::SetValueFormat(const QString& v) { Store(valueFormat_, v); }
void TScaleSettings::SetValueFormatLog(const QString& v) { Store(valueFormatLog_, v); }

void TScaleSettings::SetMajorPenWidth(int w) { majorPenWidth_ = std::clamp(w, 1, 20); }

void TScaleSettings::BuildLabels(float from, float to, bool withLabels, bool descending)
{
    labels_.clear();
    lw_ = 0;
    lh_ = 0;
    if (!withLabels)
        return;
    labels_ = AbScale::Labels(from, to, steps_, valueFormat_, descending);
    const QFontMetrics metrics(font_.Font());
    for (const QString& label : labels_)
        lw_ = std::max(lw_, metrics.horizontalAdvance(label));
    lh_ = metrics.height();
}

void TScaleSettings::PrepareLinear(float valueFrom, float valueTo, bool withLabels)
{
    BuildLabels(valueFrom, valueTo, withLabels, true);
    // Without labels the ticks keep the lengths the label font would give.
    const int tickHeight = withLabels ? lh_ : QFontMetrics(font_.Font()).height();
    linear_ = AbScale::ComputeLinear(lw_, tickHeight, withLabels);
}

void TScaleSettings::PrepareCircular(float valueFrom, float valueTo, bool withLabels)
{
    BuildLabels(valueFrom, valueTo, withLabels, false);
}

void TScaleSettings::DrawLinear(QPainter& canvas, const QRect& rect) const
{
    const int top = rect.top();
    const int height = rect.height();
    const int spine = posLeftTop_ ? rect.right() : rect.left();
    const int outwards = posLeftTop_ ? -1 : 1;

    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setBrush(Qt::NoBrush);
    canvas.setFont(font_.Font());

    // A tick of `length` pixels from the spine outwards, `pen` rows thick.
    auto tick = [&](int y, int length, int pen) {
        if (length <= 0)
            return;
        const int x0 = posLeftTop_ ? spine - length + 1 : spine;
        canvas.fillRect(QRect(x0, y - (pen - 1) / 2, length, pen), color_);
    };

    if (drawLine_ && height > 0)
        canvas.fillRect(QRect(spine, top, 1, height + 1), color_);

    const std::vector<int> majors = AbScale::LinearMajorTicks(top, height, steps_);
    for (size_t i = 0; i < majors.size(); ++i) {
        tick(majors[i], linear_.majorLength, majorPenWidth_);
        if (i < static_cast<size_t>(labels_.size())) {
            canvas.setPen(font_.Color());
            const int x = spine + outwards * (linear_.majorLength + linear_.gap);
            AbTextOut(canvas, x, majors[i], posLeftTop_ ? 5 : 3, labels_[static_cast<int>(i)]);
        }
    }
    for (int y : AbScale::LinearMinorTicks(top, height, steps_, subSteps_))
        tick(y, linear_.minorLength, 1);
    canvas.restore();
}

void TScaleSettings::DrawCircular(QPainter& canvas, const QRect& rect, int sweep, int start)
{
    circle_ = AbScale::ComputeCircular(rect, lw_, lh_);
    const AbScale::CircularGeometry& g = circle_;
    const QPoint c = g.centre;
    const int majorOuter = g.radius - g.labelPad;
    const int majorInner = majorOuter - g.majorLength;

    // Reference points straight above the centre, turned to the start.
    const QPoint label0 = AbScale::Turn(Above(c, g.radius), c, start);
    const QPoint outer0 = AbScale::Turn(Above(c, majorOuter), c, start);
    const QPoint inner0 = AbScale::Turn(Above(c, majorInner), c, start);
    const QPoint minor0 = AbScale::Turn(Above(c, majorInner + g.minorLength), c, start);

    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setBrush(Qt::NoBrush);
    canvas.setFont(font_.Font());
    const QPen majorPen(color_, majorPenWidth_, Qt::SolidLine, Qt::FlatCap);
    const QPen minorPen(color_, 1, Qt::SolidLine, Qt::FlatCap);

    const std::vector<double> majors = AbScale::CircularMajorAngles(steps_, sweep);
    for (size_t i = 0; i < majors.size(); ++i) {
        if (i < static_cast<size_t>(labels_.size())) {
            canvas.setPen(font_.Color());
            const QPoint p = AbScale::Turn(label0, c, majors[i]);
            AbTextOut(canvas, p.x(), p.y(), 4, labels_[static_cast<int>(i)]);
        }
        if (g.majorLength > 0) {
            canvas.setPen(majorPen);
            canvas.drawLine(AbScale::Turn(outer0, c, majors[i]), AbScale::Turn(inner0, c, majors[i]));
        }
    }
    if (g.minorLength > 0) {
        canvas.setPen(minorPen);
        for (int a : AbScale::CircularMinorAngles(steps_, subSteps_, sweep))
            canvas.drawLine(AbScale::Turn(inner0, c, a), AbScale::Turn(minor0, c, a));
    }
    canvas.restore();
}
