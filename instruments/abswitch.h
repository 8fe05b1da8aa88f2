#pragma once

// Two-state controls: the model shared by the switches of the instrument set
// (Checked mirroring one bit of a status word that a group of controls can
// share, and the four press modes), the switch with its bevel and the rule
// that only a press on the half away from the lever counts, and the toggle
// switch that draws a lever and an on/off text.

#include "abanalog.h"
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
    using TNotifyEvent = std::function<void(TAbBinGControl* sender)>;

    explicit TAbBinGControl(QWidget* parent = nullptr);

    bool Checked() const { return checked_; }
    void SetChecked(bool v);
    // Status word shared by a group; Checked mirrors bit StatusBit of it.
    uint32_t StatusInt() const { return statusInt_; }
    void SetStatusInt(uint32_t w);
    // Only 0..31 are taken; anything else is ignored.
    int32_t StatusBit() const { return statusBit_; }
    void SetStatusBit(int32_t b);
    // 0 = no group. Controls with the same parent and the same non-zero
    // index share StatusInt. Negative indices are ignored.
    uint32_t GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int64_t g);
    TMode Mode() const { return mode_; }
    void SetMode(TMode m);

    // After every change of Checked / of StatusInt.
    void SetOnStatusChanged(TNotifyEvent handler) { onStatusChanged_ = std::move(handler); }
    void SetOnStatusIntChanged(TNotifyEvent handler) { onStatusIntChanged_ = std::move(handler); }

    // The left button went down on the control and is still held.
    bool Pressed() const { return pressed_; }
    // Index of the lowest set bit of StatusInt, 32 when none.
    int32_t LowestBit() const { return lowestBit_; }

protected:
    // The whole control / the part inside the frame is to be drawn again.
    virtual void FullRepaint() { update(); }
    virtual void RedrawInner() { update(); }
    // Hooks after a change of the group index and of the status word.
    virtual void GroupIndexChanged() {}
    virtual void StatusIntChanged() {}

    void SetPressed(bool v) { pressed_ = v; }

private:
    bool checked_ = false;
    uint32_t statusInt_ = 0;
    int32_t statusBit_ = 0;
    uint32_t groupIndex_ = 0;
    TMode mode_ = mIndicator;
    TNotifyEvent onStatusChanged_;
    TNotifyEvent onStatusIntChanged_;
    bool pressed_ = false;
    int32_t lowestBit_ = 32;
};

class TAbSwitch : public TAbBinGControl {
    Q_OBJECT
public:
    using TMouseEvent = std::function<void(TAbSwitch* sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;

    explicit TAbSwitch(QWidget* parent = nullptr);

    TAbSBevel& BevelOuter() { return bevelOuter_; }
    const TAbSBevel& BevelOuter() const { return bevelOuter_; }
    QColor BtnColorHighlight() const { return btnColorHighlight_; }
    QColor BtnColorShadow() const { return btnColorShadow_; }
    QColor BtnColorFace() const { return btnColorFace_; }
    int BtnBevelWidth() const { return btnBevelWidth_; }
    void SetBtnColorHighlight(const QColor& c);
    void SetBtnColorShadow(const QColor& c);
    void SetBtnColorFace(const QColor& c);
    // Negative widths are ignored.
    void SetBtnBevelWidth(int n);

    // The font of the text, with its colour; a change redraws the control.
    TAbFont& Font() { return font_; }
    const TAbFont& Font() const { return font_; }

    // Mouse presses that the click rule accepts, and every release.
    void SetOnMouseDown(TMouseEvent handler) { onMouseDown_ = std::move(handler); }
    void SetOnMouseUp(TMouseEvent handler) { onMouseUp_ = std::move(handler); }

    bool Vertical() const { return vertical_; }
    // The lever stands on the checked side (upper half of a vertical switch,
    // left half of a horizontal one) when Checked, unless SwapGraphic.
    bool LeverOnCheckedSide() const { return Checked() != swapGraphic_; }
    // The click rule: only a press strictly inside the half away from the
    // lever counts; the middle line never does.
    bool AcceptsPress(QPoint p) const;
    // The rectangle inside BevelOuter, as the last paint left it.
    QRect InnerRect() const { return innerRect_; }

    // Connects the bevel and the font to the full repaint.
    void Loaded() override;

protected:
    TBtnOrientation OrientationValue() const { return orientation_; }
    void SetOrientationValue(TBtnOrientation o);
    bool SwapGraphicValue() const { return swapGraphic_; }
    void SetSwapGraphicValue(bool v);

    // Draws the part inside the frame into rect of an image of its size.
    virtual void DrawSwitch(QPainter& canvas, const QRect& rect, bool vertical, bool leverOnCheckedSide) = 0;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TBtnOrientation orientation_ = boVertical;
    TAbSBevel bevelOuter_;
    bool swapGraphic_ = false;
    QColor btnColorShadow_;
    QColor btnColorHighlight_;
    QColor btnColorFace_;
    int btnBevelWidth_ = 2;
    QRect innerRect_;
    bool vertical_ = true;
    TAbFont font_;
    TMouseEvent onMouseDown_;
    TMouseEvent onMouseUp_;
};

class TAbToggleSwitch : public TAbSwitch {
    Q_OBJECT
public:
    explicit TAbToggleSwitch(QWidget* parent = nullptr);

    TBtnOrientation Orientation() const { return OrientationValue(); }
    // Resizes the control within its bounds: tall for boVertical, wide for
    // boHorizontal.
    void SetOrientation(TBtnOrientation o) { SetOrientationValue(o); }
    bool SwapGraphic() const { return SwapGraphicValue(); }
    void SetSwapGraphic(bool v) { SetSwapGraphicValue(v); }

    const QString& TextOff() const { return textOff_; }
    const QString& TextOn() const { return textOn_; }
    QColor ColorOn() const { return colorOn_; }
    QColor ColorOff() const { return colorOff_; }
    void SetTextOff(const QString& t);
    void SetTextOn(const QString& t);
    void SetColorOn(const QColor& c);
    void SetColorOff(const QColor& c);

    // The lever rectangle within a drawing rectangle, before its frame.
    static QRect LeverRect(const QRect& rect, bool vertical, bool leverOnCheckedSide);
    // The point on which the text is centred, in the half the lever leaves.
    static QPoint TextPoint(const QRect& rect, bool vertical, bool leverOnCheckedSide);

protected:
    void DrawSwitch(QPainter& canvas, const QRect& rect, bool vertical, bool leverOnCheckedSide) override;

private:
    QString textOff_ = QStringLiteral("0");
    QString textOn_ = QStringLiteral("1");
    QColor colorOn_{0x00, 0xFF, 0x00};
    QColor colorOff_{0xFF, 0x00, 0x00};
};
