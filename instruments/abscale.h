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

// Turns Q clockwise by `Degrees` around C (screen coordinates, y downwards):
// x' = c.x + dx cos - dy sin, y' = c.y + dy cos + dx sin, each rounded.
QPoint Turn(QPoint Q, QPoint C, double Degrees);

// The Steps + 1 label texts between From and To in equal intervals, each
// formatted with the display pattern. Ascending from `From` to `To`, or
// descending from `To` down to `From` (the linear scale, first label on top).
QStringList Labels(float From, float To, int Steps, const QString& Pattern, bool Descending);

// The label list as one text, each label followed by ";".
QString LabelText(const QStringList& Labels);

// Linear scale: y of the Steps + 1 major ticks and of the (SubSteps - 1)
// minor ticks between neighbouring major ticks, for a scale of `Height`
// pixels starting at `Top`.
std::vector<int> LinearMajorTicks(int Top, int Height, int Steps);
std::vector<int> LinearMinorTicks(int Top, int Height, int Steps, int SubSteps);

// Circular scale: the angles (degrees past the start of the sweep) of the
// Steps + 1 major ticks, and of the minor ticks rounded to whole degrees.
std::vector<double> CircularMajorAngles(int Steps, int Sweep);
std::vector<int> CircularMinorAngles(int Steps, int SubSteps, int Sweep);

struct TLinearMetrics {
  int Gap = 0;  // between tick end and label
  int MajorLength = 0;
  int MinorLength = 0;
  int TotalWidth = 0;  // labels + major tick + gap
};
// Metrics of a linear scale from the widest label width Lw and the label
// height Lh. Without labels (WithLabels false) the ticks keep the lengths
// that Lh gives, but there is no gap and no label width.
TLinearMetrics ComputeLinear(int Lw, int Lh, bool WithLabels = true);

struct TCircularGeometry {
  int Radius = 0;  // R: distance of the label centres
  QPoint Centre;
  int MajorLength = 0;  // k
  int MinorLength = 0;
  int LabelPad = 0;  // p: space between label centre and tick
  QRect Inner;       // square left inside the scale
};
// Geometry of a circular scale in rect from the label sizes (0, 0 without
// labels).
TCircularGeometry ComputeCircular(const QRect& Rect, int Lw, int Lh);

}  // namespace AbScale

// Settings and painter of the instrument scales: labels, ticks and spine of
// a linear scale (the slider) or a circular scale (the dial).
class TScaleSettings : public TAbPersistent {
public:
  TScaleSettings();
  void Assign(const TAbPersistent& Source) override;
  const char* ClassName() const override { return "TScaleSettings"; }

  const QColor& Color() const { return FColor; }
  const QColor& PointerColor() const { return FPointerColor; }
  bool DrawLine() const { return FDrawLine; }
  TAbFont& Font() { return FFont; }
  const TAbFont& Font() const { return FFont; }
  bool PosLeftTop() const { return FPosLeftTop; }
  int Steps() const { return FSteps; }
  int SubSteps() const { return FSubSteps; }
  const QString& ValueFormat() const { return FValueFormat; }
  const QString& ValueFormatLog() const { return FValueFormatLog; }

  void SetColor(const QColor& V);
  void SetPointerColor(const QColor& V);
  void SetDrawLine(bool V);
  void SetFont(const TAbFont& V);  // copies
  void SetPosLeftTop(bool V);
  void SetSteps(int V);     // only 1..20, else ignored
  void SetSubSteps(int V);  // only 1..10, else ignored
  void SetValueFormat(const QString& V);
  void SetValueFormatLog(const QString& V);

  // Build the label list and the metrics for a scale from ValueFrom to
  // ValueTo. Without labels the list is empty and the label sizes are 0.
  void PrepareLinear(float ValueFrom, float ValueTo, bool WithLabels = true);
  void PrepareCircular(float ValueFrom, float ValueTo, bool WithLabels = true);

  // Ticks and labels along the height of rect, spine on its right edge
  // with PosLeftTop, else on its left edge.
  void DrawLinear(QPainter& Canvas, const QRect& Rect) const;
  // Ticks and labels on a circle in Rect, `Sweep` degrees clockwise from
  // `Start` degrees past twelve o'clock; stores the centre and the inner
  // square.
  void DrawCircular(QPainter& Canvas, const QRect& Rect, int Sweep = 270, int Start = 225);

  const QStringList& Labels() const { return FLabels; }
  int LabelWidth() const { return FLw; }
  int LabelHeight() const { return FLh; }
  int Gap() const { return FLinear.Gap; }
  int MajorLength() const { return FLinear.MajorLength; }
  int MinorLength() const { return FLinear.MinorLength; }
  int TotalWidth() const { return FLinear.TotalWidth; }
  int MajorPenWidth() const { return FMajorPenWidth; }
  void SetMajorPenWidth(int W);  // 1..20
  int MinorPenWidth() const { return 1; }

  // After DrawCircular: the centre, the inner square, the major tick length.
  QPoint CircleCentre() const { return FCircle.Centre; }
  QRect CircleInner() const { return FCircle.Inner; }
  int CircleMajorLength() const { return FCircle.MajorLength; }
  const AbScale::TCircularGeometry& Circle() const { return FCircle; }

private:
  template <typename T>
  void Store(T& Field, const T& V);
  void BuildLabels(float From, float To, bool WithLabels, bool Descending);

  QColor FColor = Qt::black;
  QColor FPointerColor = QColor(0x00, 0xFF, 0x00);
  bool FDrawLine = true;
  TAbFont FFont;
  bool FPosLeftTop = false;
  int FSteps = 5;
  int FSubSteps = 2;
  QString FValueFormat = QStringLiteral("##0");
  QString FValueFormatLog = QStringLiteral("0e-0");

  QStringList FLabels;
  int FLw = 0;
  int FLh = 0;
  int FMajorPenWidth = 1;
  AbScale::TLinearMetrics FLinear;
  AbScale::TCircularGeometry FCircle;
};
