#pragma once
// The look the windows share: the form font, the button face colour, and the
// window's outer size centred on the desktop.

#include <QFont>
#include <QSize>
#include <QStringList>

#include <functional>

class QTabBar;
class QTabWidget;
class QWidget;

// "MS Sans Serif" at the given pixel height where the platform has it as an
// outline font, otherwise the nearest sans-serif face the platform offers
// (Microsoft Sans Serif, on Windows Tahoma, then faces of Helvetica's
// proportions), at that height.
QFont FormFont(int PixelSize);

// Families, in their order, less those installed only as bitmap fonts
// (which cannot be drawn at any pixel height). Families not installed are
// kept: the font matcher passes over them.
QStringList ScalableFamilies(const QStringList& Families);

// Form font of 11 px and the button face as background, for a top-level
// window and all its children.
void ApplyFormLook(QWidget* Form);

// Runs Handler each time Widget's font changes, once its children have
// taken the new font: for layouts whose sizes are measured from the font.
void WhenFontChanges(QWidget* Widget, std::function<void()> Handler);

// The tab captions of Pages in its own font or, where they would not fit
// its width even with the narrowest margin of TCompactTabStyle, in that
// font a pixel smaller at a time (not below MinPixelSize); again whenever
// the page control's font changes. Call it once every tab is added.
void FitTabCaptions(QTabWidget* Pages, int MinPixelSize = 8);

// Gives a top-level window the outer size Outer, centred on the desktop.
// Where the platform draws a frame, the client area is Outer less the frame,
// so that window plus frame measure Outer; where it draws none (the offscreen
// platform, an X server without window manager), the client area is Outer.
// The frame is known only once the window is on the screen, so the size is
// corrected when it is shown.
void KeepOuterSize(QWidget* Form, QSize Outer);

#include <QProxyStyle>
#include <QStyledItemDelegate>

// Tabs as wide as their caption plus a small margin, as the classic page
// control draws them, so that the tabs of the tester window fit side by
// side in its width instead of hiding behind scroll arrows. The margin is 12
// pixels, less where a wider font would otherwise push the last tabs out.
class TCompactTabStyle : public QProxyStyle {
public:
  static constexpr int WidestMargin = 12, NarrowestMargin = 4;
  int pixelMetric(PixelMetric Metric, const QStyleOption* Option = nullptr,
                  const QWidget* Widget = nullptr) const override;
  // The margin for the tabs of Bar within its parent's (the page control's)
  // width: 12 pixels, down to 4.
  static int TabMargin(const QTabBar* Bar);
};

// Check boxes of the given size, so that they fit rows smaller than the
// style's own check box (the fault code list's 13 px rows).
class TSmallCheckStyle : public QProxyStyle {
public:
  explicit TSmallCheckStyle(int Size) : Size(Size) {}
  int pixelMetric(PixelMetric Metric, const QStyleOption* Option = nullptr,
                  const QWidget* Widget = nullptr) const override;

private:
  int Size;
};

// Item views whose rows have one fixed height (the fault code list, the COM
// port list), whatever the font or style would choose.
class TFixedHeightDelegate : public QStyledItemDelegate {
public:
  TFixedHeightDelegate(int Height, QObject* Parent) : QStyledItemDelegate(Parent), Height(Height) {}
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
    return QSize(QStyledItemDelegate::sizeHint(Option, Index).width(), Height);
  }

private:
  int Height;
};
