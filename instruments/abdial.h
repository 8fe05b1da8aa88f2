#pragma once

// The circular dial: a pointer dot that runs clockwise over 270 degrees from
// half past seven to half past four on a shaded face inside a circular scale,
// with the value window above and two caption lines below. The operator turns
// it by dragging around the centre (relatively: the pointer turns as much as
// the mouse does), with the keys and with the wheel.

#include "abanalog.h"

class TAbDial : public TAbAnalogFaceControl {
    Q_OBJECT
public:
    enum TDialOption { opBevelOuter, opUnit, opValue, opName1, opName2, opScale, opScaleText };
    using TDialOptions = TAbOptions<TDialOption>;

    static constexpr int SweepAngle = 270;  // degrees of the scale
    static constexpr int StartAngle = 225;  // clockwise from twelve o'clock

    explicit TAbDial(QWidget* parent = nullptr);
    ~TAbDial() override;

    TAbSBevel& BevelDial() { return bevelDial_; }
    TDialOptions Options() const { return options_; }
    void SetOptions(TDialOptions options);

    void Loaded() override;

    // The angle of point p around centre c in degrees: 0 straight below the
    // centre, 90 to the left, 180 above, 270 to the right (clockwise on the
    // screen, y growing downwards).
    static float AngleOfPoint(QPointF p, QPointF c);

    // Geometry of the last paint pass.
    QRect FaceRect() const { return faceRect_; }
    QPoint FaceCentre() const { return faceCentre_; }
    QPoint ScaleStart() const { return scaleStart_; }
    QPoint PointerPoint() const { return pointerPoint_; }
    int DotRadius() const { return dotRadius_; }
    float PointerAngle() const { return pointerAngle_; }

protected:
    void TrackPosition(Qt::KeyboardModifiers shift, int x, int y) override;
    void RefreshValue() override;
    void PaintPass() override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TAbSBevel bevelDial_;
    TDialOptions options_{opBevelOuter, opUnit, opValue, opName1, opName2, opScale, opScaleText};

    QRect faceRect_;
    QPoint faceCentre_;
    QPoint scaleStart_;
    QPoint pointerPoint_;
    int dotRadius_ = 6;
    float pointerAngle_ = 0.0f;
    float lastAngle_ = 0.0f;
    QImage bareFace_;
};
