#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

#include "abpersistent.h"
#include "abtext.h"

class QPainter;

// Scale maths as plain data, kept apart from the painting so that tick
// positions and labels can be checked without drawing anything.
namespace AbScale {

// Rounds to the nearest integer, an exact half going to the even neighbour.
int RoundEven(double v);

// Turns q clockwise by `degrees` around c (screen coordinates, y downwards):
// x' = c.x + dx cos - dy sin, y' = c.y + dy cos + dx sin, each rounded.
QPoint Turn(QPoint q, QPoint c, double degrees);

// The steps + 1 label texts between from and to in equal intervals, each
// formatted with the display pattern. Ascending from `from` to `to`, or
// descending from `to` down to `from` (the linear scale, first label on top).
QStringList Labels(float from, float to, int steps, const QString& pattern, bool descending);

// The label list as one text, each label followed by ";".
QString LabelText(const QStringList& labels);

// Linear scale: y of the steps + 1 major ticks and of the (subSteps - 1)
// minor ticks between neighbouring major ticks, for a scale of `height`
// pixels starting at `top`.
std::vector<int> LinearMajorTicks(int top, int height, int steps);
std::vector<int> LinearMinorTicks(int top, int height, int steps, int subSteps);

// Circular scale: the angles (degrees past the start of the sweep) of the
// steps + 1 major ticks, and of the minor ticks rounded to whole degrees.
std::vector<double> CircularMajorAngles(int steps, int sweep);
std::vector<int> CircularMinorAngles(int steps, int subSteps, int sweep);

struct LinearMetrics {
    int gap = 0;         // between tick end and label
    int majorLength = 0;
    int minorLength = 0;
    int totalWidth = 0;  // labels + major tick + gap
};
// Metrics of a linear scale from the widest label width lw and the label
// height lh. Without labels (withLabels false) the ticks keep the lengths
// that lh gives, but there is no gap and no label width.
LinearMetrics ComputeLinear(int lw, int lh, bool withLabels = true);

struct CircularGeometry {
    int radius = 0;       // R: distance of the label centres
    QPoint centre;
    int majorLength = 0;  // k
    int minorLength = 0;
    int labelPad = 0;     // p: space between label centre and tick
    QRect inner;          // square left inside the scale
};
// Geometry of a circular scale in rect from the label sizes (0, 0 without
// labels).
CircularGeometry ComputeCircular(const QRect& rect, int lw, int lh);

} // namespace AbScale

// Settings and painter of the instrument scales: labels, ticks and spine of
// a linear scale (the slider) or a circular scale (the dial).
class TScaleSettings : public TAbPersistent {
public:
    TScaleSettings();
    void Assign(const TAbPersistent& source) override;
    const char* ClassName() const override { return "TScaleSettings"; }

    const QColor& Color() const { return color_; }
    const QColor& PointerColor() const { return pointerColor_; }
    bool DrawLine() const { return drawLine_; }
    TAbFont& Font() { return font_; }
    const TAbFont& Font() const { return font_; }
    bool PosLeftTop() const { return posLeftTop_; }
    int Steps() const { return steps_; }
    int SubSteps() const { return subSteps_; }
    const QString& ValueFormat() const { return valueFormat_; }
    const QString& ValueFormatLog() const { return valueFormatLog_; }

    void SetColor(const QColor& v);
    void SetPointerColor(const QColor& v);
    void SetDrawLine(bool v);
    void SetFont(const TAbFont& v);  // copies
    void SetPosLeftTop(bool v);
    void SetSteps(int v);     // only 1..20, else ignored
    void SetSubSteps(int v);  // only 1..10, else ignored
    void SetValueFormat(const QString& v);
    void SetValueFormatLog(const QString& v);

    // Build the label list and the metrics for a scale from valueFrom to
    // valueTo. Without labels the list is empty and the label sizes are 0.
    void PrepareLinear(float valueFrom, float valueTo, bool withLabels = true);
    void PrepareCircular(float valueFrom, float valueTo, bool withLabels = true);

    // Ticks and labels along the height of rect, spine on its right edge
    // with PosLeftTop, else on its left edge.
    void DrawLinear(QPainter& canvas, const QRect& rect) const;
    // Ticks and labels on a circle in rect, `sweep` degrees clockwise from
    // `start` degrees past twelve o'clock; stores the centre and the inner
    // square.
    void DrawCircular(QPainter& canvas, const QRect& rect, int sweep = 270, int start = 225);

    const QStringList& Labels() const { return labels_; }
    int LabelWidth() const { return lw_; }
    int LabelHeight() const { return lh_; }
    int Gap() const { return linear_.gap; }
    int MajorLength() const { return linear_.majorLength; }
    int MinorLength() const { return linear_.minorLength; }
    int TotalWidth() const { return linear_.totalWidth; }
    int MajorPenWidth() const { return majorPenWidth_; }
    void SetMajorPenWidth(int w);  // 1..20
    int MinorPenWidth() const { return 1; }

    // After DrawCircular: the centre, the inner square, the major tick length.
    QPoint CircleCentre() const { return circle_.centre; }
    QRect CircleInner() const { return circle_.inner; }
    int CircleMajorLength() const { return circle_.majorLength; }
    const AbScale::CircularGeometry& Circle() const { return circle_; }

private:
    template <typename T> void Store(T& field, const T& v);
    void BuildLabels(float from, float to, bool withLabels, bool descending);

    QColor color_ = Qt::black;
    QColor pointerColor_ = QColor(0x00, 0xFF, 0x00);
    bool drawLine_ = true;
    TAbFont font_;
    bool posLeftTop_ = false;
    int steps_ = 5;
    int subSteps_ = 2;
    QString valueFormat_ = QStringLiteral("##0");
    QString valueFormatLog_ = QStringLiteral("0e-0");

    QStringList labels_;
    int lw_ = 0;
    int lh_ = 0;
    int majorPenWidth_ = 1;
    AbScale::LinearMetrics linear_;
    AbScale::CircularGeometry circle_;
};
