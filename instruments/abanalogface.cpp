#include "abanalogface.h"

#include <QFontMetrics>
#include <QPainter>

TAbAnalogFaceControl::TAbAnalogFaceControl(QWidget* Parent)
    : TAbAnalogCControl(Parent), FFontValue(QStringLiteral("System"), 10, QColor(0x00, 0xFF, 0x00)) {
  FBevelOuter.SetSpacing(5);
  FBevelOuter.SetBevelLine(blOuter);
  FBevelOuter.SetWidth(2);
  FBevelValue.SetStyle(bsLowered);
  FBevelValue.SetWidth(2);
  FBevelValue.SetColor(Qt::black);
  FBevelValue.SetSpacing(0);
  TAbFont ScaleFont = FScaleSettings.Font();
  ScaleFont.SetSize(8);
  FScaleSettings.SetFont(ScaleFont);
}

void TAbAnalogFaceControl::Loaded() {
  TAbAnalogCControl::Loaded();
  const auto Notify = [this](TAbPersistent*) { SettingsChanged(); };
  FBevelOuter.SetOnChange(Notify);
  FBevelValue.SetOnChange(Notify);
  FFontValue.SetOnChange(Notify);
  FScaleSettings.SetOnChange(Notify);
  Font().SetOnChange(Notify);
}

void TAbAnalogFaceControl::SettingsChanged() {
  TAbAnalogCControl::SettingsChanged();
  if (InPaintPass()) return;  // e.g. the slider setting the side of each of its scales
  FReady = false;
  InvalidateAll();
}

QRect TAbAnalogFaceControl::PaintOuter(QPainter& Painter, bool DrawBevelOuter) {
  QRect Area = rect();
  if (DrawBevelOuter) {
    FBevelOuter.PaintRectangular(Painter, Area);
  } else {
    Painter.fillRect(Area, FBevelOuter.Color());
  }
  return Area;
}

QRect TAbAnalogFaceControl::PaintValueWindow(QPainter& Painter, const QRect& Area, bool DrawValue, bool DrawUnit) {
  const TSignalSettings& Settings = SignalSettings();
  FValueWindow = QRect();
  FValueTextRect = QRect();
  if (!DrawValue) return Area;
  const QFont ValueFont = FFontValue.Font();
  const QFontMetrics Metrics(ValueFont);
  const QString UnitText = QString::fromStdString(Settings.ValueUnit());
  const QSize Pattern = AbTextSize(Metrics, QString::fromStdString(Settings.SizingPattern()));
  const int UnitWidth = DrawUnit ? AbTextSize(Metrics, UnitText).width() : 0;
  const int T = Pattern.height();
  const int G = T / 3;
  const int B = FBevelValue.Thickness();
  const int Left = Area.left() + (Area.width() - Pattern.width() - UnitWidth - G) / 2 - G;
  FValueWindow = QRect(Left, Area.top(), Pattern.width() + 2 * B + 2 * G, 2 * B + T);
  QRect Inner = FValueWindow;
  FBevelValue.PaintRectangular(Painter, Inner);
  FValueTextRect = AbShrinkRect(Inner, G, 0, G, 0);
  if (DrawUnit) {
    Painter.setFont(ValueFont);
    Painter.setPen(Font().Color());
    AbTextOut(Painter, FValueWindow.left() + FValueWindow.width() + G, FValueWindow.top(), 0, UnitText);
  }
  QRect Rest = Area;
  Rest.setTop(FValueWindow.top() + FValueWindow.height() + FBevelOuter.Spacing());
  return Rest;
}

QRect TAbAnalogFaceControl::PaintCaptions(QPainter& Painter, const QRect& Area, bool DrawName1, bool DrawName2,
                                          bool ExtraSpacing) {
  const TSignalSettings& Settings = SignalSettings();
  const QFont CaptionFont = Font().Font();
  const QFontMetrics Metrics(CaptionFont);
  const int LineHeight = AbTextSize(Metrics, QStringLiteral("X")).height();
  Painter.setFont(CaptionFont);
  Painter.setPen(Font().Color());
  QRect Rest = Area;
  const int Middle = Area.left() + Area.width() / 2;
  const auto Line = [&](const std::string& Text) {
    const int Bottom = Rest.top() + Rest.height();
    AbTextOut(Painter, Middle, Bottom, 7, QString::fromStdString(Text));
    Rest.setHeight(Rest.height() - LineHeight);
  };
  if (DrawName2) Line(Settings.Name2());
  if (DrawName1) Line(Settings.Name1());
  if (ExtraSpacing && (DrawName1 || DrawName2)) Rest.setHeight(Rest.height() - FBevelOuter.Spacing());
  return Rest;
}

void TAbAnalogFaceControl::PaintValueText(QPainter& Painter) const {
  if (FValueTextRect.isNull()) return;
  Painter.fillRect(FValueTextRect, FBevelValue.Color());
  Painter.setFont(FFontValue.Font());
  Painter.setPen(FFontValue.Color());
  Painter.drawText(FValueTextRect, Qt::AlignRight | Qt::AlignTop, QString::fromStdString(ValueText()));
}
