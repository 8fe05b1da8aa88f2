#include "abanalog.h"

#include "numtext.h"

#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWheelEvent>

#include <cmath>
#include <limits>

// ---------------------------------------------------------------------------
// Rounding and cursors

int32_t AbRoundToInt32(long double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (x <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(RoundHalfEven(x));
}

QCursor AbCursorOfId(TCursor id)
{
    switch (id) {
    case -2: return QCursor(Qt::ArrowCursor);
    case -3: return QCursor(Qt::CrossCursor);
    case -4: return QCursor(Qt::IBeamCursor);
    case -6: return QCursor(Qt::SizeBDiagCursor);
    case -7: return QCursor(Qt::SizeVerCursor);
    case -8: return QCursor(Qt::SizeFDiagCursor);
    case -9: return QCursor(Qt::SizeHorCursor);
    case -10: return QCursor(Qt::UpArrowCursor);
    case -11: return QCursor(Qt::WaitCursor);
    case -12: return QCursor(Qt::DragCopyCursor);
    case -13: return QCursor(Qt::ForbiddenCursor);
    case -14: return QCursor(Qt::SplitHCursor);
    case -15: return QCursor(Qt::SplitVCursor);
    case -16: return QCursor(Qt::DragCopyCursor);
    case -17: return QCursor(Qt::BusyCursor);
    case -18: return QCursor(Qt::ForbiddenCursor);
    case -19: return QCursor(Qt::BusyCursor);
    case -20: return QCursor(Qt::WhatsThisCursor);
    case -21: return QCursor(Qt::PointingHandCursor);
    case -22: return QCursor(Qt::SizeAllCursor);
    default:
        // The default cursor and every program-registered id: the program
        // registers none, so they show the arrow.
        return QCursor(Qt::ArrowCursor);
    }
}

// ---------------------------------------------------------------------------
// TSignalSettings

namespace {

bool FiniteSpan(float from, float to)
{
    return std::isfinite(from) && std::isfinite(to) && std::isfinite(to - from);
}

bool Int32Span(int32_t from, int32_t to)
{
    return static_cast<int64_t>(to) - from <= std::numeric_limits<int32_t>::max();
}

} // namespace

TSignalSettings::TSignalSettings()
{
    // The factors describe the initial range from the start, so a value
    // assigned before the first change of the range maps onto the grid
    // instead of through zero factors onto position 0.
    Recompute();
}

void TSignalSettings::Assign(const TAbPersistent& source)
{
    const auto* other = dynamic_cast<const TSignalSettings*>(&source);
    if (other == nullptr) {
        TAbPersistent::Assign(source);
        return;
    }
    SetDigitalRange(other->DigitalFrom(), other->DigitalTo());
    SetValueFormat(other->ValueFormat());
    SetValueRange(other->ValueFrom(), other->ValueTo());
    SetValueUnit(other->ValueUnit());
    SetName1(other->Name1());
    SetName2(other->Name2());
}

void TSignalSettings::Changed()
{
    Recompute();
    TAbPersistent::Changed();
}

void TSignalSettings::Recompute()
{
    // The spans by sign case of the bounds; the case of a lower bound at or
    // above zero with an upper bound at or below zero keeps the old span.
    const float vf = valueFrom_;
    const float vt = valueTo_;
    if (vf < 0 && vt < 0)
        valueSpan_ = std::fabs(vf) - std::fabs(vt);
    else if (vf < 0 && vt >= 0)
        valueSpan_ = std::fabs(vt) + std::fabs(vf);
    else if (vf >= 0 && vt > 0)
        valueSpan_ = std::fabs(vt) - std::fabs(vf);

    const int64_t df = digitalFrom_;
    const int64_t dt = digitalTo_;
    if (df < 0 && dt < 0)
        digitalSpan_ = static_cast<int32_t>(-df - -dt);
    else if (df < 0 && dt >= 0)
        digitalSpan_ = static_cast<int32_t>(dt + -df);
    else if (df >= 0 && dt > 0)
        digitalSpan_ = static_cast<int32_t>(dt - df);

    if (digitalSpan_ > 0)
        valuePerDigit_ = valueSpan_ / static_cast<float>(digitalSpan_);
    if (valueSpan_ > 0) {
        digitsPerValue_ = static_cast<float>(digitalSpan_) / valueSpan_;
        perMilleFactor_ = 1000.0f / valueSpan_;
        const auto sep = valueFormat_.find(';');
        if (sep == std::string::npos) {
            sizingPattern_ = valueFormat_;
        } else {
            std::string before = valueFormat_.substr(0, sep);
            std::string after = valueFormat_.substr(sep + 1);
            sizingPattern_ = before.size() > after.size() ? before : after;
        }
    }
}

void TSignalSettings::SetDigitalFrom(int32_t v)
{
    if (v == digitalFrom_ || v >= digitalTo_ || !Int32Span(v, digitalTo_))
        return;
    digitalFrom_ = v;
    Changed();
}

void TSignalSettings::SetDigitalTo(int32_t v)
{
    if (v == digitalTo_ || v <= digitalFrom_ || !Int32Span(digitalFrom_, v))
        return;
    digitalTo_ = v;
    Changed();
}

void TSignalSettings::SetDigitalRange(int32_t from, int32_t to)
{
    if (from >= to || !Int32Span(from, to))
        return;
    if (from >= digitalTo_) {
        SetDigitalTo(to);
        SetDigitalFrom(from);
    } else {
        SetDigitalFrom(from);
        SetDigitalTo(to);
    }
}

void TSignalSettings::StoreText(std::string& field, const std::string& v)
{
    if (v == field)
        return;
    field = v;
    Changed();
}

void TSignalSettings::SetName1(const std::string& v) { StoreText(name1_, v); }

void TSignalSettings::SetName2(const std::string& v) { StoreText(name2_, v); }

void TSignalSettings::SetValueFormat(const std::string& v) { StoreText(valueFormat_, v); }

void TSignalSettings::SetValueUnit(const std::string& v) { StoreText(valueUnit_, v); }

void TSignalSettings::SetValueFrom(float v)
{
    // Equal to either bound: ignored, so the bounds can never become equal.
    if (v == valueFrom_ || v == valueTo_ || v > valueTo_ || !FiniteSpan(v, valueTo_))
        return;
    valueFrom_ = v;
    Changed();
}

void TSignalSettings::SetValueTo(float v)
{
    if (v == valueFrom_ || v == valueTo_ || v < valueFrom_ || !FiniteSpan(valueFrom_, v))
        return;
    valueTo_ = v;
    Changed();
}

void TSignalSettings::SetValueRange(float from, float to)
{
    if (!(from < to) || !FiniteSpan(from, to))
        return;
    if (from >= valueTo_) {
        SetValueTo(to);
        SetValueFrom(from);
    } else {
        SetValueFrom(from);
        SetValueTo(to);
    }
}

int32_t TSignalSettings::ValueToPerMille(float v) const
{
    return AbRoundToInt32(static_cast<long double>(perMilleFactor_) *
                          (static_cast<long double>(v) - valueFrom_));
}

float TSignalSettings::ClampValue(float v) const
{
    if (v > valueTo_)
        v = valueTo_;
    if (v < valueFrom_)
        v = valueFrom_;
    return v;
}

int32_t TSignalSettings::ClampDigit(int64_t d) const
{
    if (d > digitalTo_)
        d = digitalTo_;
    if (d < digitalFrom_)
        d = digitalFrom_;
    return static_cast<int32_t>(d);
}

int32_t TSignalSettings::DigitOfValue(float v) const
{
    return AbRoundToInt32((static_cast<long double>(v) - valueFrom_) * digitsPerValue_ + digitalFrom_);
}

float TSignalSettings::ValueOfDigit(int32_t d) const
{
    return static_cast<float>((static_cast<long double>(d) - digitalFrom_) * valuePerDigit_ + valueFrom_);
}

// ---------------------------------------------------------------------------
// TAbCustomControl

TAbCustomControl::TAbCustomControl(QWidget* parent)
    : QWidget(parent)
{
}

void TAbCustomControl::BeginUpdate()
{
    ++updateLock_;
}

void TAbCustomControl::EndUpdate()
{
    if (updateLock_ == 0)
        return;
    --updateLock_;
    if (updateLock_ == 0)
        update();
}

void TAbCustomControl::Loaded()
{
    loading_ = false;
}

void TAbCustomControl::RequestSettingsChanged()
{
    if (updateLock_ == 0)
        SettingsChanged();
}

// ---------------------------------------------------------------------------
// TAbAnalogGControl

TAbAnalogGControl::TAbAnalogGControl(QWidget* parent)
    : QWidget(parent)
{
}

void TAbAnalogGControl::SetValue(float v)
{
    if (std::isnan(v) || v == value_)
        return;
    value_ = signalSettings_.ClampValue(v);
    digit_ = signalSettings_.ClampDigit(signalSettings_.DigitOfValue(value_));
    update();
}

void TAbAnalogGControl::SetDigit(int32_t d)
{
    if (d == digit_)
        return;
    digit_ = signalSettings_.ClampDigit(d);
    value_ = signalSettings_.ValueOfDigit(digit_);
    update();
}

// ---------------------------------------------------------------------------
// TAbAnalogCControl

TAbAnalogCControl::TAbAnalogCControl(QWidget* parent)
    : TAbCustomControl(parent)
    , signalSettings_(std::make_unique<TSignalSettings>())
{
    // Nothing is drawn until the form has assigned the stored properties.
    BeginUpdate();
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // the cursor follows the hot area without a button down
    setFont(font_.Font());
    normalCursor_ = cursor();
}

TAbAnalogCControl::~TAbAnalogCControl() = default;

void TAbAnalogCControl::SetValue(float v)
{
    // NaN is no value: it would pass every clamp and leave the grid undefined.
    if (std::isnan(v) || v == value_)
        return;
    value_ = signalSettings_->ClampValue(v);
    SetDigit(signalSettings_->DigitOfValue(value_));
}

void TAbAnalogCControl::SetDigit(int32_t d)
{
    if (d == digit_)
        return;
    digit_ = signalSettings_->ClampDigit(d);
    value_ = signalSettings_->ValueOfDigit(digit_);
    RefreshValue();
    if (onValueChange_ && !IsLoading())
        onValueChange_(this);
    changedSinceRelease_ = true;
}

void TAbAnalogCControl::StepDigit(int32_t up, int32_t down)
{
    const int64_t target = up > 0 ? static_cast<int64_t>(digit_) + up
                                  : static_cast<int64_t>(digit_) - down;
    SetDigit(signalSettings_->ClampDigit(target));
}

void TAbAnalogCControl::SetColorFocus(const QColor& c)
{
    if (c == colorFocus_)
        return;
    colorFocus_ = c;
    SettingsChanged();
}

void TAbAnalogCControl::SetColorNonFocus(const QColor& c)
{
    if (c == colorNonFocus_)
        return;
    colorNonFocus_ = c;
    SettingsChanged();
}

QColor TAbAnalogCControl::PointerColor() const
{
    if (!isEnabled())
        return AbBtnShadowColor();
    return hasFocus() ? colorFocus_ : colorNonFocus_;
}

void TAbAnalogCControl::SetValueIndicator(TAbAnalogGControl* indicator)
{
    valueIndicator_ = indicator; // QPointer: cleared when the indicator is destroyed
    if (indicator != nullptr) {
        indicator->SignalSettings().Assign(*signalSettings_);
        RefreshValue();
    }
}

bool TAbAnalogCControl::InHotArea(QPoint p) const
{
    const QRect& r = hotArea_;
    if (r.isEmpty())
        return false;  // not laid out yet, or no room for a moving part
    if (roundHotArea_) {
        // Compared in doubled coordinates so that the centre of an even-sized
        // square needs no rounding.
        const long double dx = 2.0L * p.x() - (2.0L * r.left() + r.width());
        const long double dy = 2.0L * p.y() - (2.0L * r.top() + r.height());
        return std::sqrt(dx * dx + dy * dy) <= r.width();
    }
    return p.x() >= r.left() && p.x() < r.left() + r.width() && p.y() >= r.top() &&
           p.y() <= r.top() + r.height();
}

void TAbAnalogCControl::Loaded()
{
    TAbCustomControl::Loaded();
    signalSettings_->Changed();
    signalSettings_->SetOnChange([this](TAbPersistent*) { SettingsChanged(); });
    EndUpdate();
}

void TAbAnalogCControl::InvalidateAll()
{
    layoutPending_ = true;
    update();
}

void TAbAnalogCControl::ShowPart(const QRect& r)
{
    // During a paint pass the whole image goes to the screen anyway.
    if (!inPaintPass_)
        update(r);
}

void TAbAnalogCControl::paintEvent(QPaintEvent* event)
{
    if (Locked())
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (layoutPending_ || canvas_.size() != pixels) {
        canvas_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        if (canvas_.isNull())
            return;  // empty, or too large to allocate: nothing to show
        layoutPending_ = false;
        canvas_.setDevicePixelRatio(dpr);
        canvas_.fill(palette().color(QPalette::Window));
        ++paintPasses_;
        inPaintPass_ = true;
        PaintPass();
        inPaintPass_ = false;
    }
    QPainter screen(this);
    screen.setClipRegion(event->region());
    screen.drawImage(QPoint(0, 0), canvas_);
}

void TAbAnalogCControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    InvalidateAll();
}

void TAbAnalogCControl::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RefreshValue();
}

void TAbAnalogCControl::TrackPosition(Qt::KeyboardModifiers, int x, int y)
{
    lastPoint_ = QPoint(x, y);
}

void TAbAnalogCControl::RefreshValue()
{
    valueText_ = FormatFloat(signalSettings_->ValueFormat(), value_);
    if (valueIndicator_)
        valueIndicator_->SetValue(value_);
}

void TAbAnalogCControl::SettingsChanged()
{
    normalCursor_ = cursor();
    if (valueIndicator_)
        valueIndicator_->SignalSettings().Assign(*signalSettings_);
}

void TAbAnalogCControl::FireValueChangedIfPending()
{
    if (!changedSinceRelease_)
        return;
    changedSinceRelease_ = false;
    if (onValueChanged_)
        onValueChanged_(this);
}

bool TAbAnalogCControl::IsControlKey(int key)
{
    switch (key) {
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_End: case Qt::Key_Home:
    case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down: case Qt::Key_Left:
        return true;
    default:
        return false;
    }
}

bool TAbAnalogCControl::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && enableKeyboard_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && IsControlKey(key->key())) {
            event->accept();
            return true;
        }
    }
    return TAbCustomControl::event(event);
}

void TAbAnalogCControl::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    if (onKeyDown_)
        onKeyDown_(this, key, event->modifiers());
    if (!enableKeyboard_ || key == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const TSignalSettings& s = *signalSettings_;
    switch (key) {
    case Qt::Key_PageUp: StepDigit(changeLarge_, 0); break;
    case Qt::Key_PageDown: StepDigit(0, changeLarge_); break;
    case Qt::Key_End: SetDigit(s.DigitalTo()); break;
    case Qt::Key_Home: SetDigit(s.DigitalFrom()); break;
    case Qt::Key_Up:
    case Qt::Key_Right: StepDigit(changeSmall_, 0); break;
    case Qt::Key_Down:
    case Qt::Key_Left: StepDigit(0, changeSmall_); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void TAbAnalogCControl::keyReleaseEvent(QKeyEvent* event)
{
    QWidget::keyReleaseEvent(event);
    if (event->isAutoRepeat())
        return; // a held key releases once, at the end
    FireValueChangedIfPending();
}

void TAbAnalogCControl::wheelEvent(QWheelEvent* event)
{
    // One notch is a delta of 120. The low byte tells the notch apart from
    // other deltas; the sign keeps a large delta whose low byte happens to
    // match the other direction from stepping the wrong way.
    const int delta = event->angleDelta().y();
    const int low = delta & 0xFF;
    if (low == 0x78 && delta > 0)
        StepDigit(changeSmall_, 0);
    else if (low == 0x88 && delta < 0)
        StepDigit(0, changeSmall_);
    event->accept();
}

void TAbAnalogCControl::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    if (!InHotArea(p))
        return;
    dragging_ = true;
    TrackPosition(event->modifiers(), p.x(), p.y());
    lastPoint_ = p;
}

void TAbAnalogCControl::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    const QCursor wanted = InHotArea(p) ? AbCursorOfId(cursorSlide_) : normalCursor_;
    if (cursor().shape() != wanted.shape())
        setCursor(wanted);
    if (dragging_)
        TrackPosition(event->modifiers(), p.x(), p.y());
}

void TAbAnalogCControl::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    FireValueChangedIfPending();
}

void TAbAnalogCControl::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    RefreshValue();
}

void TAbAnalogCControl::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    RefreshValue();
}

void TAbAnalogCControl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        RefreshValue();
}

// ---------------------------------------------------------------------------
// TAbAnalogFaceControl

TAbAnalogFaceControl::TAbAnalogFaceControl(QWidget* parent)
    : TAbAnalogCControl(parent)
    , fontValue_(QStringLiteral("System"), 10, QColor(0x00, 0xFF, 0x00))
{
    bevelOuter_.SetSpacing(5);
    bevelOuter_.SetBevelLine(blOuter);
    bevelOuter_.SetWidth(2);
    bevelValue_.SetStyle(bsLowered);
    bevelValue_.SetWidth(2);
    bevelValue_.SetColor(Qt::black);
    bevelValue_.SetSpacing(0);
    TAbFont scaleFont = scaleSettings_.Font();
    scaleFont.SetSize(8);
    scaleSettings_.SetFont(scaleFont);
}

void TAbAnalogFaceControl::Loaded()
{
    TAbAnalogCControl::Loaded();
    const auto notify = [this](TAbPersistent*) { SettingsChanged(); };
    bevelOuter_.SetOnChange(notify);
    bevelValue_.SetOnChange(notify);
    fontValue_.SetOnChange(notify);
    scaleSettings_.SetOnChange(notify);
    Font().SetOnChange(notify);
}

void TAbAnalogFaceControl::SettingsChanged()
{
    TAbAnalogCControl::SettingsChanged();
    if (InPaintPass())
        return;  // e.g. the slider setting the side of each of its scales
    ready_ = false;
    InvalidateAll();
}

QRect TAbAnalogFaceControl::PaintOuter(QPainter& canvas, bool bevelOuter)
{
    QRect area = rect();
    if (bevelOuter) {
        bevelOuter_.PaintRectangular(canvas, area);
    } else {
        canvas.fillRect(area, bevelOuter_.Color());
    }
    return area;
}

QRect TAbAnalogFaceControl::PaintValueWindow(QPainter& canvas, const QRect& area, bool value, bool unit)
{
    const TSignalSettings& settings = SignalSettings();
    valueWindow_ = QRect();
    valueTextRect_ = QRect();
    if (!value)
        return area;
    const QFont font = fontValue_.Font();
    const QFontMetrics metrics(font);
    const QString unitText = QString::fromStdString(settings.ValueUnit());
    const QSize pattern = AbTextSize(metrics, QString::fromStdString(settings.SizingPattern()));
    const int unitWidth = unit ? AbTextSize(metrics, unitText).width() : 0;
    const int t = pattern.height();
    const int g = t / 3;
    const int b = bevelValue_.Thickness();
    const int left = area.left() + (area.width() - pattern.width() - unitWidth - g) / 2 - g;
    valueWindow_ = QRect(left, area.top(), pattern.width() + 2 * b + 2 * g, 2 * b + t);
    QRect inner = valueWindow_;
    bevelValue_.PaintRectangular(canvas, inner);
    valueTextRect_ = AbShrinkRect(inner, g, 0, g, 0);
    if (unit) {
        canvas.setFont(font);
        canvas.setPen(Font().Color());
        AbTextOut(canvas, valueWindow_.left() + valueWindow_.width() + g, valueWindow_.top(), 0, unitText);
    }
    QRect rest = area;
    rest.setTop(valueWindow_.top() + valueWindow_.height() + bevelOuter_.Spacing());
    return rest;
}

QRect TAbAnalogFaceControl::PaintCaptions(QPainter& canvas, const QRect& area, bool name1, bool name2,
                                          bool extraSpacing)
{
    const TSignalSettings& settings = SignalSettings();
    const QFont font = Font().Font();
    const QFontMetrics metrics(font);
    const int lineHeight = AbTextSize(metrics, QStringLiteral("X")).height();
    canvas.setFont(font);
    canvas.setPen(Font().Color());
    QRect rest = area;
    const int middle = area.left() + area.width() / 2;
    const auto line = [&](const std::string& text) {
        const int bottom = rest.top() + rest.height();
        AbTextOut(canvas, middle, bottom, 7, QString::fromStdString(text));
        rest.setHeight(rest.height() - lineHeight);
    };
    if (name2)
        line(settings.Name2());
    if (name1)
        line(settings.Name1());
    if (extraSpacing && (name1 || name2))
        rest.setHeight(rest.height() - bevelOuter_.Spacing());
    return rest;
}

void TAbAnalogFaceControl::PaintValueText(QPainter& canvas) const
{
    if (valueTextRect_.isNull())
        return;
    canvas.fillRect(valueTextRect_, bevelValue_.Color());
    canvas.setFont(fontValue_.Font());
    canvas.setPen(fontValue_.Color());
    canvas.drawText(valueTextRect_, Qt::AlignRight | Qt::AlignTop, QString::fromStdString(ValueText()));
}
