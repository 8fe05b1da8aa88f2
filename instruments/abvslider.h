#pragma once

// The vertical slider: a knob that runs along a green trench between two
// linear scales, the highest value at the top, with the value window above
// and two caption lines below. A press on the knob's travel area jumps the
// knob to the mouse (EnableMouseJump) and the drag continues from there.

#include "abanalog.h"

class TAbVSlider : public TAbAnalogFaceControl {
    Q_OBJECT
public:
    enum TVSliderOption { opBevelOuter, opUnit, opValue, opName1, opName2, opScaleText };
    using TVSliderOptions = TAbOptions<TVSliderOption>;

    explicit TAbVSlider(QWidget* parent = nullptr);
    ~TAbVSlider() override;

    bool EnableMouseJump() const { return TAbAnalogCControl::EnableMouseJump(); }
    void SetEnableMouseJump(bool v);
    int ButtonSize() const { return buttonSize_; }
    // Clamped to at most the control's width and at least 18.
    void SetButtonSize(int v);
    QColor ColorTrench() const { return colorTrench_; }
    void SetColorTrench(const QColor& c);
    TVSliderOptions Options() const { return options_; }
    void SetOptions(TVSliderOptions options);

    // Geometry of the last paint pass.
    bool TooSmall() const { return tooSmall_; }
    // The trench; its last row (bottom, inclusive) is DigitalFrom, its top row
    // DigitalTo.
    QRect Trench() const { return trench_; }
    QRect TravelArea() const { return travel_; }
    int KnobWidth() const { return buttonSize_; }
    int KnobHeight() const { return knobHeight_; }
    // Centre of the knob in control coordinates.
    QPoint KnobPoint() const { return travel_.topLeft() + knobPoint_; }

protected:
    void TrackPosition(Qt::KeyboardModifiers shift, int x, int y) override;
    void RefreshValue() override;
    void PaintPass() override;

private:
    void PlaceKnob();
    void PaintKnob(QPainter& p, const QRect& knob) const;

    int buttonSize_ = 30;
    QColor colorTrench_{0x00, 0x80, 0x00};
    TVSliderOptions options_{opBevelOuter, opUnit, opValue, opName1, opName2, opScaleText};

    QRect trench_;
    QRect travel_;
    int knobHeight_ = 12;
    QPoint knobPoint_;  // relative to the travel area
    QImage bareTravel_;
    bool tooSmall_ = false;
};
