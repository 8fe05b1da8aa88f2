#pragma once

// The value model shared by the analog instruments (dial and vertical slider):
// an integer grid position (Digit) between two integer bounds, mapped linearly
// onto an engineering value (Value) between two single-precision bounds, with
// the operator interaction (keys, wheel, mouse) that moves the grid position.

#include "abbevel.h"
#include "abpersistent.h"
#include "abscale.h"
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
#include <initializer_list>
#include <memory>
#include <string>

// Range, grid, names, unit and display pattern of one instrument. The derived
// factors are computed at construction, recomputed by Changed() and kept in
// single precision, because every later computation reads them back in that
// precision.
class TSignalSettings : public TAbPersistent {
public:
    TSignalSettings();

    // Copies from another TSignalSettings through the setters; any other
    // class raises EAbAssignError.
    void Assign(const TAbPersistent& source) override;
    // Recomputes the derived fields, then notifies.
    void Changed() override;
    const char* ClassName() const override { return "TSignalSettings"; }

    int32_t DigitalFrom() const { return digitalFrom_; }
    int32_t DigitalTo() const { return digitalTo_; }
    const std::string& Name1() const { return name1_; }
    const std::string& Name2() const { return name2_; }
    const std::string& ValueFormat() const { return valueFormat_; }
    float ValueFrom() const { return valueFrom_; }
    float ValueTo() const { return valueTo_; }
    const std::string& ValueUnit() const { return valueUnit_; }

    // A bound that would make its range empty or reversed (or a value bound
    // that is not a finite number, or a span that does not fit) is ignored,
    // so the factors always describe the stored range. SetValueRange and
    // SetDigitalRange assign both bounds in the order that keeps the range
    // valid in between; use them to move a range past its current bounds.
    void SetDigitalFrom(int32_t v);
    void SetDigitalTo(int32_t v);
    void SetDigitalRange(int32_t from, int32_t to);
    void SetName1(const std::string& v);
    void SetName2(const std::string& v);
    void SetValueFormat(const std::string& v);
    void SetValueFrom(float v);
    void SetValueTo(float v);
    void SetValueRange(float from, float to);
    void SetValueUnit(const std::string& v);

    float ValueSpan() const { return valueSpan_; }
    int32_t DigitalSpan() const { return digitalSpan_; }
    float ValuePerDigit() const { return valuePerDigit_; }
    const std::string& SizingPattern() const { return sizingPattern_; }
    float DigitsPerValue() const { return digitsPerValue_; }
    float PerMilleFactor() const { return perMilleFactor_; }

    // PerMilleFactor x (v - ValueFrom), rounded half to even: 0 at ValueFrom,
    // 1000 at ValueTo. Not clamped; NaN gives 0.
    int32_t ValueToPerMille(float v) const;

    // The mapping between values and grid positions, shared by the analog
    // controls and the linked indicator.
    float ClampValue(float v) const;               // ValueTo first, then ValueFrom
    int32_t ClampDigit(int64_t d) const;           // DigitalTo first, then DigitalFrom
    int32_t DigitOfValue(float v) const;           // grid position nearest to v, halves to even
    float ValueOfDigit(int32_t d) const;           // value of grid point d, single precision

private:
    void Recompute();
    void StoreText(std::string& field, const std::string& v);

    int32_t digitalFrom_ = 0;
    int32_t digitalTo_ = 1000;
    std::string name1_ = "SignalName1";
    std::string name2_ = "SignalName2";
    std::string valueFormat_ = "##0.0";
    float valueFrom_ = 0.0f;
    float valueTo_ = 100.0f;
    std::string valueUnit_ = "%";
    float valueSpan_ = 100.0f;
    int32_t digitalSpan_ = 1000;
    float valuePerDigit_ = 0.0f;
    std::string sizingPattern_;
    float digitsPerValue_ = 0.0f;
    float perMilleFactor_ = 0.0f;
};

// Rounds to the nearest int32 with halves to even, saturating at the int32
// bounds; NaN gives 0. Every float-to-grid conversion of the controls uses it.
int32_t AbRoundToInt32(long double x);

// Cursor ids of the instrument set: the usual negative ids of the standard
// cursors; positive ids are cursors registered by the program. CursorSlide's
// default 5 is the id of a hand cursor that the tester does not register, so
// it shows the arrow.
using TCursor = int16_t;
QCursor AbCursorOfId(TCursor id);

// A set of options of an instrument (the enumerators are bit numbers).
template <typename E>
class TAbOptions {
public:
    constexpr TAbOptions() = default;
    constexpr TAbOptions(std::initializer_list<E> options)
    {
        for (E e : options)
            bits_ |= 1u << static_cast<unsigned>(e);
    }
    constexpr bool Has(E e) const { return (bits_ >> static_cast<unsigned>(e)) & 1u; }
    constexpr TAbOptions With(E e) const { TAbOptions r = *this; r.bits_ |= 1u << static_cast<unsigned>(e); return r; }
    constexpr TAbOptions Without(E e) const { TAbOptions r = *this; r.bits_ &= ~(1u << static_cast<unsigned>(e)); return r; }
    constexpr bool operator==(const TAbOptions&) const = default;

private:
    uint32_t bits_ = 0;
};

// Base of the windowed instruments: the update lock, the loading state and
// the settings-changed hook. A control starts in the loading state, while the
// form assigns its stored properties; Loaded() ends it.
class TAbCustomControl : public QWidget {
    Q_OBJECT
public:
    explicit TAbCustomControl(QWidget* parent = nullptr);

    void BeginUpdate();
    // Never goes below 0; reaching 0 invalidates the whole control.
    void EndUpdate();
    int32_t UpdateLock() const { return updateLock_; }

    bool IsLoading() const { return loading_; }
    // The loading step: called once after the stored properties have been
    // assigned. Derived controls extend it.
    virtual void Loaded();

protected:
    // Whether the control is drawn: a locked control paints nothing.
    bool Locked() const { return updateLock_ > 0; }
    // Reaction to a change of an owned settings object; nothing here.
    virtual void SettingsChanged() {}
    // Calls SettingsChanged only while the control is not locked.
    virtual void RequestSettingsChanged();

private:
    int32_t updateLock_ = 0;
    bool loading_ = true;
};

class TAbAnalogCControl;

// A windowless indicator that an analog control can drive: it keeps its own
// Value, Digit and SignalSettings with the same mapping. The control pushes
// its value and copies its settings into it while they are linked.
class TAbAnalogGControl : public QWidget {
    Q_OBJECT
public:
    explicit TAbAnalogGControl(QWidget* parent = nullptr);

    float Value() const { return value_; }
    void SetValue(float v);
    int32_t Digit() const { return digit_; }
    void SetDigit(int32_t d);
    TSignalSettings& SignalSettings() { return signalSettings_; }
    const TSignalSettings& SignalSettings() const { return signalSettings_; }

private:
    TSignalSettings signalSettings_;
    float value_ = 0.0f;
    int32_t digit_ = 0;
};

// The value model and operator interaction of dial and slider.
class TAbAnalogCControl : public TAbCustomControl {
    Q_OBJECT
public:
    using TValueEvent = std::function<void(TAbAnalogCControl* sender)>;
    // Runs before the control acts on a key; it may change the key or clear
    // it (set it to 0) so that the control ignores it.
    using TKeyEvent = std::function<void(TAbAnalogCControl* sender, int& key, Qt::KeyboardModifiers shift)>;

    explicit TAbAnalogCControl(QWidget* parent = nullptr);
    ~TAbAnalogCControl() override;

    int32_t Digit() const { return digit_; }
    void SetDigit(int32_t d);
    float Value() const { return value_; }
    void SetValue(float v);
    // Moves the grid position by up (when up > 0) or down by down, clamped.
    void StepDigit(int32_t up, int32_t down);

    int32_t ChangeLarge() const { return changeLarge_; }
    void SetChangeLarge(int32_t v) { changeLarge_ = v; }
    int32_t ChangeSmall() const { return changeSmall_; }
    void SetChangeSmall(int32_t v) { changeSmall_ = v; }
    bool EnableKeyboard() const { return enableKeyboard_; }
    void SetEnableKeyboard(bool v) { enableKeyboard_ = v; }
    TCursor CursorSlide() const { return cursorSlide_; }
    void SetCursorSlide(TCursor v) { cursorSlide_ = v; }

    QColor ColorFocus() const { return colorFocus_; }
    void SetColorFocus(const QColor& c);
    QColor ColorNonFocus() const { return colorNonFocus_; }
    void SetColorNonFocus(const QColor& c);
    // The pointer/knob colour for the current state: focus colour, non-focus
    // colour, or the button-shadow colour when disabled.
    QColor PointerColor() const;

    TSignalSettings& SignalSettings() { return *signalSettings_; }
    const TSignalSettings& SignalSettings() const { return *signalSettings_; }

    // The control font (captions, unit colour): "MS Sans Serif", size 10.
    TAbFont& Font() { return font_; }
    const TAbFont& Font() const { return font_; }

    // Fired after every change of Digit, except while loading.
    void SetOnValueChange(TValueEvent handler) { onValueChange_ = std::move(handler); }
    // Fired at a key release or left-button release after a change.
    void SetOnValueChanged(TValueEvent handler) { onValueChanged_ = std::move(handler); }
    void SetOnKeyDown(TKeyEvent handler) { onKeyDown_ = std::move(handler); }

    // Not owned; the link clears itself when the indicator is destroyed.
    TAbAnalogGControl* ValueIndicator() const { return valueIndicator_.data(); }
    void SetValueIndicator(TAbAnalogGControl* indicator);

    const std::string& ValueText() const { return valueText_; }
    bool ChangedSinceRelease() const { return changedSinceRelease_; }
    bool Dragging() const { return dragging_; }
    QPoint LastPoint() const { return lastPoint_; }
    QRect HotArea() const { return hotArea_; }
    bool RoundHotArea() const { return roundHotArea_; }
    // The hit test of the mouse: the circle inscribed in HotArea with
    // RoundHotArea, else the rectangle with its bottom edge included.
    bool InHotArea(QPoint p) const;

    void Loaded() override;

    // Number of full paint passes (geometry recomputed, whole image drawn)
    // since construction. A value change redraws only the moving part.
    int PaintPasses() const { return paintPasses_; }

protected:
    // Off-screen composition. The whole instrument is drawn into Canvas() by
    // PaintPass() when its geometry is out of date (resize, settings change);
    // a value change redraws only its moving parts into Canvas() and hands
    // their rectangles to ShowPart(), which copies just those to the screen.
    virtual void PaintPass() {}
    QImage& Canvas() { return canvas_; }
    // Marks the geometry out of date and invalidates the whole control.
    void InvalidateAll();
    bool LayoutPending() const { return layoutPending_; }
    bool InPaintPass() const { return inPaintPass_; }
    void ShowPart(const QRect& r);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The moving parts are not redrawn while the control is hidden (on a tab
    // page in the background, say); showing it brings them up to date.
    void showEvent(QShowEvent* event) override;

    // Turns a mouse position into a grid position; here it only records it.
    virtual void TrackPosition(Qt::KeyboardModifiers shift, int x, int y);
    // Renews the value text and pushes the value to the indicator; dial and
    // slider then redraw their moving parts.
    virtual void RefreshValue();
    void SettingsChanged() override;

    void SetHotArea(const QRect& r) { hotArea_ = r; }
    void SetRoundHotArea(bool v) { roundHotArea_ = v; }
    bool EnableMouseJump() const { return enableMouseJump_; }
    void SetEnableMouseJumpFlag(bool v) { enableMouseJump_ = v; }

    // Claims the keys the control acts on before any shortcut of the window
    // can take them, so that arrows and Home/End always reach it.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FireValueChangedIfPending();
    static bool IsControlKey(int key);

    int32_t digit_ = 100;
    float value_ = 10.0f;
    int32_t changeLarge_ = 10;
    int32_t changeSmall_ = 1;
    TValueEvent onValueChange_;
    TValueEvent onValueChanged_;
    TKeyEvent onKeyDown_;
    std::unique_ptr<TSignalSettings> signalSettings_;
    TAbFont font_{QStringLiteral("MS Sans Serif"), 10};
    QColor colorFocus_{0x00, 0xFF, 0x00};
    QColor colorNonFocus_{0x00, 0x80, 0x00};
    TCursor cursorSlide_ = 5;
    bool enableKeyboard_ = true;
    QPointer<TAbAnalogGControl> valueIndicator_;

    bool changedSinceRelease_ = false;
    std::string valueText_;
    bool dragging_ = false;
    QPoint lastPoint_;
    QRect hotArea_;
    bool roundHotArea_ = false;
    QCursor normalCursor_;
    bool enableMouseJump_ = false;

    QImage canvas_;
    bool layoutPending_ = true;
    bool inPaintPass_ = false;
    int paintPasses_ = 0;
};

// What dial and slider share around their moving part: the outer frame, the
// value window with its unit, the caption lines, the owned settings objects
// that draw them and the ready flag of the last paint pass. The geometry is
// kept between paint passes so that a value change can redraw the value text
// alone.
class TAbAnalogFaceControl : public TAbAnalogCControl {
    Q_OBJECT
public:
    TAbSBevel& BevelOuter() { return bevelOuter_; }
    TAbSBevel& BevelValue() { return bevelValue_; }
    TAbFont& FontValue() { return fontValue_; }
    void SetFontValue(const TAbFont& font) { fontValue_.Assign(font); }
    TScaleSettings& ScaleSettings() { return scaleSettings_; }
    void SetScaleSettings(const TScaleSettings& s) { scaleSettings_.Assign(s); }

    // After loading, a change of any owned object redraws the whole control.
    void Loaded() override;

    // Geometry of the last paint pass: the moving part can be drawn.
    bool Ready() const { return ready_; }
    QRect ValueWindow() const { return valueWindow_; }

protected:
    explicit TAbAnalogFaceControl(QWidget* parent);

    // Base behaviour, then (unless the paint pass itself changed a setting)
    // the geometry is out of date and the whole control is invalidated.
    void SettingsChanged() override;
    void SetReady(bool v) { ready_ = v; }

    // The outer bevel over the client area (or the area filled with its
    // colour); returns the area inside it.
    QRect PaintOuter(QPainter& canvas, bool bevelOuter);
    // The value window at the top of area, sized by the sizing pattern, with
    // the unit beside it; returns the area left below it. Without a value
    // window the area is returned unchanged.
    QRect PaintValueWindow(QPainter& canvas, const QRect& area, bool value, bool unit);
    // The caption lines at the bottom of area, second line lowest; returns
    // the area left above them (less the outer spacing with extraSpacing
    // when a line was drawn).
    QRect PaintCaptions(QPainter& canvas, const QRect& area, bool name1, bool name2, bool extraSpacing);
    // Refills the value window's text area and writes ValueText right-aligned
    // at its top. Nothing without a value window.
    void PaintValueText(QPainter& canvas) const;
    QRect ValueTextRect() const { return valueTextRect_; }

private:
    TAbSBevel bevelOuter_;
    TAbSBevel bevelValue_;
    TAbFont fontValue_;
    TScaleSettings scaleSettings_;
    QRect valueWindow_;
    QRect valueTextRect_;
    bool ready_ = false;
};
