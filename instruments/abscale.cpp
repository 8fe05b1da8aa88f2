#include "abscale.h"

#include "numtext.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr int MinSteps = 1, MaxSteps = 20;
constexpr int MinSubSteps = 1, MaxSubSteps = 10;

int ClampSteps(int Steps) { return std::clamp(Steps, MinSteps, MaxSteps); }
int ClampSubSteps(int SubSteps) { return std::clamp(SubSteps, MinSubSteps, MaxSubSteps); }

QPoint Above(QPoint C, int Distance) { return {C.x(), C.y() - Distance}; }

}  // namespace

namespace AbScale {

QPoint Turn(QPoint Q, QPoint C, double Degrees) {
  const double A = Degrees * std::numbers::pi / 180.0;
  const double Dx = static_cast<double>(Q.x()) - C.x();
  const double Dy = static_cast<double>(Q.y()) - C.y();
  return {SaturateToInt32(RoundHalfEven(C.x() + Dx * std::cos(A) - Dy * std::sin(A))),
          SaturateToInt32(RoundHalfEven(C.y() + Dy * std::cos(A) + Dx * std::sin(A)))};
}

QStringList Labels(float From, float To, int Steps, const QString& Pattern, bool Descending) {
  QStringList Labels;
  if (Steps < 1) return Labels;
  Steps = std::min(Steps, MaxSteps);
  const std::string Format = Pattern.toStdString();
  const long double Span = static_cast<long double>(To) - From;
  for (int I = 0; I <= Steps; ++I) {
    const int K = Descending ? Steps - I : I;
    const long double Value = From + Span * K / Steps;
    Labels << (std::isfinite(Value) ? QString::fromStdString(FormatFloat(Format, Value)) : QString());
  }
  return Labels;
}

QString LabelText(const QStringList& Labels) {
  QString Text;
  for (const QString& Label : Labels) Text += Label + QLatin1Char(';');
  return Text;
}

std::vector<int> LinearMajorTicks(int Top, int Height, int Steps) {
  Steps = ClampSteps(Steps);
  std::vector<int> Ys;
  for (int I = 0; I <= Steps; ++I)
    Ys.push_back(SaturateToInt32(RoundHalfEven(Top + static_cast<double>(I) * Height / Steps)));
  return Ys;
}

std::vector<int> LinearMinorTicks(int Top, int Height, int Steps, int SubSteps) {
  Steps = ClampSteps(Steps);
  SubSteps = ClampSubSteps(SubSteps);
  std::vector<int> Ys;
  for (int I = 0; I < Steps; ++I)
    for (int J = 1; J < SubSteps; ++J)
      Ys.push_back(
          SaturateToInt32(RoundHalfEven(Top + static_cast<double>(I * SubSteps + J) * Height / (Steps * SubSteps))));
  return Ys;
}

std::vector<double> CircularMajorAngles(int Steps, int Sweep) {
  Steps = ClampSteps(Steps);
  std::vector<double> Angles;
  for (int I = 0; I <= Steps; ++I) Angles.push_back(static_cast<double>(I) * Sweep / Steps);
  return Angles;
}

std::vector<int> CircularMinorAngles(int Steps, int SubSteps, int Sweep) {
  Steps = ClampSteps(Steps);
  SubSteps = ClampSubSteps(SubSteps);
  const bool Negative = Sweep < 0;
  const int64_t S = Negative ? -static_cast<int64_t>(Sweep) : Sweep;
  std::vector<int> Angles;
  for (int I = 0; I < Steps; ++I)
    for (int J = 1; J < SubSteps; ++J) {
      // i * S / Steps + j * S / (Steps * SubSteps) as one fraction.
      const int64_t A = DivRoundHalfEven(static_cast<int64_t>(I * SubSteps + J) * S, Steps * SubSteps);
      Angles.push_back(static_cast<int>(Negative ? -A : A));
    }
  return Angles;
}

TLinearMetrics ComputeLinear(int Lw, int Lh, bool WithLabels) {
  TLinearMetrics M;
  M.MajorLength = SaturateToInt32(RoundHalfEven(Lh / 1.4));
  M.MinorLength =
      RoundHalfEven(Lh / 14.0) == 1 ? M.MajorLength / 2 : SaturateToInt32(RoundHalfEven(M.MajorLength / 1.4));
  if (WithLabels) {
    M.Gap = Lh / 3;
    M.TotalWidth = Lw + M.MajorLength + M.Gap;
  } else {
    M.TotalWidth = M.MajorLength;
  }
  return M;
}

TCircularGeometry ComputeCircular(const QRect& Rect, int Lw, int Lh) {
  TCircularGeometry G;
  const int W = Rect.width();
  G.Radius = W / 2 - Lw / 2;
  G.Centre = QPoint(Rect.left() + W / 2, Rect.top() + G.Radius + Lh / 2);
  G.MajorLength = G.Radius / 7;
  G.MinorLength = SaturateToInt32(RoundHalfEven(G.MajorLength / 1.4));
  G.LabelPad = (Lw > 0 || Lh > 0) ? std::max(Lw, Lh) / 2 + 1 : 0;
  const int Half = std::max(0, G.Radius - Lw / 2);
  G.Inner = QRect(G.Centre.x() - Half, G.Centre.y() - Half, 2 * Half, 2 * Half);
  return G;
}

}  // namespace AbScale

TScaleSettings::TScaleSettings() : FFont(QStringLiteral("Arial"), 14) {
  FFont.SetOnChange([this](TAbPersistent*) { Changed(); });
}

void TScaleSettings::Assign(const TAbPersistent& Source) {
  const auto* S = dynamic_cast<const TScaleSettings*>(&Source);
  if (!S) {
    TAbPersistent::Assign(Source);
    return;
  }
  SetColor(S->FColor);
  SetDrawLine(S->FDrawLine);
  SetFont(S->FFont);
  SetPointerColor(S->FPointerColor);
  SetPosLeftTop(S->FPosLeftTop);
  SetSteps(S->FSteps);
  SetSubSteps(S->FSubSteps);
  SetValueFormat(S->FValueFormat);
  SetValueFormatLog(S->FValueFormatLog);
}

template <typename T>
void TScaleSettings::Store(T& Field, const T& V) {
  if (Field == V) return;
  Field = V;
  Changed();
}

void TScaleSettings::SetColor(const QColor& V) { Store(FColor, V); }
void TScaleSettings::SetPointerColor(const QColor& V) { Store(FPointerColor, V); }
void TScaleSettings::SetDrawLine(bool V) { Store(FDrawLine, V); }
void TScaleSettings::SetFont(const TAbFont& V) { FFont.Assign(V); }
void TScaleSettings::SetPosLeftTop(bool V) { Store(FPosLeftTop, V); }

void TScaleSettings::SetSteps(int V) {
  if (V >= MinSteps && V <= MaxSteps) Store(FSteps, V);
}

void TScaleSettings::SetSubSteps(int V) {
  if (V >= MinSubSteps && V <= MaxSubSteps) Store(FSubSteps, V);
}

void TScaleSettings::SetValueFormat(const QString& V) { Store(FValueFormat, V); }
void TScaleSettings::SetValueFormatLog(const QString& V) { Store(FValueFormatLog, V); }

void TScaleSettings::SetMajorPenWidth(int W) { FMajorPenWidth = std::clamp(W, 1, 20); }

void TScaleSettings::BuildLabels(float From, float To, bool WithLabels, bool Descending) {
  FLabels.clear();
  FLw = 0;
  FLh = 0;
  if (!WithLabels) return;
  FLabels = AbScale::Labels(From, To, FSteps, FValueFormat, Descending);
  const QFontMetrics Metrics(FFont.Font());
  for (const QString& Label : FLabels) FLw = std::max(FLw, Metrics.horizontalAdvance(Label));
  FLh = Metrics.height();
}

void TScaleSettings::PrepareLinear(float ValueFrom, float ValueTo, bool WithLabels) {
  BuildLabels(ValueFrom, ValueTo, WithLabels, true);
  // Without labels the ticks keep the lengths the label font would give.
  const int TickHeight = WithLabels ? FLh : QFontMetrics(FFont.Font()).height();
  FLinear = AbScale::ComputeLinear(FLw, TickHeight, WithLabels);
}

void TScaleSettings::PrepareCircular(float ValueFrom, float ValueTo, bool WithLabels) {
  BuildLabels(ValueFrom, ValueTo, WithLabels, false);
}

void TScaleSettings::DrawLinear(QPainter& Canvas, const QRect& Rect) const {
  const int Top = Rect.top();
  const int Height = Rect.height();
  const int Spine = FPosLeftTop ? Rect.right() : Rect.left();
  const int Outwards = FPosLeftTop ? -1 : 1;

  Canvas.save();
  Canvas.setRenderHint(QPainter::Antialiasing, false);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.setFont(FFont.Font());

  // A tick of `Length` pixels from the spine outwards, `Pen` rows thick.
  auto Tick = [&](int Y, int Length, int Pen) {
    if (Length <= 0) return;
    const int X0 = FPosLeftTop ? Spine - Length + 1 : Spine;
    Canvas.fillRect(QRect(X0, Y - (Pen - 1) / 2, Length, Pen), FColor);
  };

  if (FDrawLine && Height > 0) Canvas.fillRect(QRect(Spine, Top, 1, Height + 1), FColor);

  const std::vector<int> Majors = AbScale::LinearMajorTicks(Top, Height, FSteps);
  for (size_t I = 0; I < Majors.size(); ++I) {
    Tick(Majors[I], FLinear.MajorLength, FMajorPenWidth);
    if (I < static_cast<size_t>(FLabels.size())) {
      Canvas.setPen(FFont.Color());
      const int X = Spine + Outwards * (FLinear.MajorLength + FLinear.Gap);
      AbTextOut(Canvas, X, Majors[I], FPosLeftTop ? 5 : 3, FLabels[static_cast<int>(I)]);
    }
  }
  for (int Y : AbScale::LinearMinorTicks(Top, Height, FSteps, FSubSteps)) Tick(Y, FLinear.MinorLength, 1);
  Canvas.restore();
}

void TScaleSettings::DrawCircular(QPainter& Canvas, const QRect& Rect, int Sweep, int Start) {
  FCircle = AbScale::ComputeCircular(Rect, FLw, FLh);
  const AbScale::TCircularGeometry& G = FCircle;
  const QPoint C = G.Centre;
  const int MajorOuter = G.Radius - G.LabelPad;
  const int MajorInner = MajorOuter - G.MajorLength;

  // Reference points straight above the centre, turned to the start.
  const QPoint Label0 = AbScale::Turn(Above(C, G.Radius), C, Start);
  const QPoint Outer0 = AbScale::Turn(Above(C, MajorOuter), C, Start);
  const QPoint Inner0 = AbScale::Turn(Above(C, MajorInner), C, Start);
  const QPoint Minor0 = AbScale::Turn(Above(C, MajorInner + G.MinorLength), C, Start);

  Canvas.save();
  Canvas.setRenderHint(QPainter::Antialiasing, true);
  Canvas.setBrush(Qt::NoBrush);
  Canvas.setFont(FFont.Font());
  const QPen MajorPen(FColor, FMajorPenWidth, Qt::SolidLine, Qt::FlatCap);
  const QPen MinorPen(FColor, 1, Qt::SolidLine, Qt::FlatCap);

  const std::vector<double> Majors = AbScale::CircularMajorAngles(FSteps, Sweep);
  for (size_t I = 0; I < Majors.size(); ++I) {
    if (I < static_cast<size_t>(FLabels.size())) {
      Canvas.setPen(FFont.Color());
      const QPoint P = AbScale::Turn(Label0, C, Majors[I]);
      AbTextOut(Canvas, P.x(), P.y(), 4, FLabels[static_cast<int>(I)]);
    }
    if (G.MajorLength > 0) {
      Canvas.setPen(MajorPen);
      Canvas.drawLine(AbScale::Turn(Outer0, C, Majors[I]), AbScale::Turn(Inner0, C, Majors[I]));
    }
  }
  if (G.MinorLength > 0) {
    Canvas.setPen(MinorPen);
    for (int A : AbScale::CircularMinorAngles(FSteps, FSubSteps, Sweep))
      Canvas.drawLine(AbScale::Turn(Inner0, C, A), AbScale::Turn(Minor0, C, A));
  }
  Canvas.restore();
}
