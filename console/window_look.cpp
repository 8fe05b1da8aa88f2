#include "window_look.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>

QFont FormFont(int PixelSize) {
  // MS Sans Serif is a Helvetica-like face. Where it is an outline font it
  // is used; on Windows (and Wine) it is a bitmap font of a few fixed
  // heights, which Qt cannot draw at 11 px: it takes the 13 px face, and
  // the captions come out a fifth wider than the window was laid out for. Microsoft Sans Serif is its outline successor, drawn
  // to the same metrics. On Windows, Tahoma (which every Windows has, and
  // Wine brings as its own) comes next; the faces after that have the same
  // proportions (Liberation Sans, Arial and Nimbus Sans share metrics) and
  // carry Cyrillic.
#ifdef _WIN32
  const QStringList Wanted = {QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
                              QStringLiteral("Tahoma"),          QStringLiteral("Arial"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                              QStringLiteral("Helvetica"),       QStringLiteral("DejaVu Sans")};
#else
  const QStringList Wanted = {QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                              QStringLiteral("Nimbus Sans"),     QStringLiteral("Helvetica"),
                              QStringLiteral("DejaVu Sans")};
#endif
  QFont Font;
  Font.setFamilies(ScalableFamilies(Wanted));
  Font.setStyleHint(QFont::SansSerif);
  Font.setPixelSize(PixelSize);
  return Font;
}

QStringList ScalableFamilies(const QStringList& Families) {
  QStringList Usable;
  for (const QString& Family : Families)
    if (!QFontDatabase::hasFamily(Family) || QFontDatabase::isSmoothlyScalable(Family)) Usable << Family;
  return Usable;
}

void ApplyFormLook(QWidget* Form) {
  Form->setFont(FormFont(11));
  QPalette Palette = Form->palette();
  Palette.setColor(QPalette::Window, Palette.color(QPalette::Button));
  Form->setPalette(Palette);
  Form->setAutoFillBackground(true);
}

int TSmallCheckStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const {
  if (Metric == PM_IndicatorWidth || Metric == PM_IndicatorHeight) return Size;
  return QProxyStyle::pixelMetric(Metric, Option, Widget);
}

int TCompactTabStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const {
  if (Metric == PM_TabBarTabHSpace) return TabMargin(qobject_cast<const QTabBar*>(Widget));
  return QProxyStyle::pixelMetric(Metric, Option, Widget);
}

int TCompactTabStyle::TabMargin(const QTabBar* Bar) {
  // Six pixels either side of the caption, less where the captions in the
  // bar's font would not fit the page control's width with them. A tab is
  // its caption plus this margin (the styles in use add nothing to it).
  constexpr int Widest = WidestMargin, Narrowest = NarrowestMargin;
  if (Bar == nullptr || Bar->parentWidget() == nullptr || Bar->count() == 0) return Widest;
  const QFontMetrics Metrics = Bar->fontMetrics();
  int Captions = 0;
  for (int I = 0; I < Bar->count(); ++I) Captions += Metrics.size(Qt::TextShowMnemonic, Bar->tabText(I)).width();
  const int Free = Bar->parentWidget()->width() - Captions;
  return std::clamp(Free / Bar->count(), Narrowest, Widest);
}

namespace {

class TOuterSizeKeeper : public QObject {
public:
  TOuterSizeKeeper(QWidget* Form, QSize Outer) : QObject(Form), Form(Form), Outer(Outer) {
    FrameCheck.setInterval(FrameCheckMs);
    connect(&FrameCheck, &QTimer::timeout, this, [this] {
      if (ApplyFrame() || Shown.elapsed() > FrameWaitMs) Finish();
    });
  }

  // The size and place are set when the window is shown, and corrected once
  // when the window manager has put its frame around it, which it does a
  // moment later. After that, moves and resizes are the operator's and are
  // left alone.
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched != Form || Done) return false;
    const QEvent::Type Type = Event->type();
    if (Type == QEvent::Show && !Shown.isValid()) {
      Shown.start();
      if (ApplyFrame()) {
        Finish();
      } else {
        Centre();
        FrameCheck.start();
      }
    } else if ((Type == QEvent::Move || Type == QEvent::Resize) && Shown.isValid() && ApplyFrame()) {
      Finish();
    }
    return false;
  }

private:
  // No frame by then: there is no window manager to draw one.
  static constexpr int FrameWaitMs = 2000;
  static constexpr int FrameCheckMs = 50;

  bool ApplyFrame() {
    const QSize Frame = Form->frameGeometry().size() - Form->size();
    if (Frame.isEmpty()) return false;
    Form->resize(Outer - Frame);
    Centre();
    return true;
  }

  void Finish() {
    Done = true;
    FrameCheck.stop();
  }

  void Centre() {
    QScreen* Screen = Form->screen() ? Form->screen() : QGuiApplication::primaryScreen();
    if (Screen == nullptr) return;
    const QRect Desktop = Screen->availableGeometry();
    Form->move(Desktop.x() + (Desktop.width() - Outer.width()) / 2,
               Desktop.y() + (Desktop.height() - Outer.height()) / 2);
  }

  QWidget* Form;
  QSize Outer;
  bool Done = false;
  QElapsedTimer Shown;
  QTimer FrameCheck;
};

class TFontChangeWatcher : public QObject {
public:
  TFontChangeWatcher(QWidget* Widget, std::function<void()> Handler)
      : QObject(Widget), Widget(Widget), Handler(std::move(Handler)) {
    Widget->installEventFilter(this);
  }

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == Widget && Event->type() == QEvent::FontChange) Handler();
    return false;
  }

private:
  QWidget* Widget;
  std::function<void()> Handler;
};

}  // namespace

void WhenFontChanges(QWidget* Widget, std::function<void()> Handler) {
  new TFontChangeWatcher(Widget, std::move(Handler));
}

void FitTabCaptions(QTabWidget* Pages, int MinPixelSize) {
  const auto Fit = [Pages, MinPixelSize] {
    QTabBar* Bar = Pages->tabBar();
    QFont Font = Pages->font();
    int Size = Font.pixelSize();
    if (Size <= 0) return;  // a font given in points is left as it is
    for (; Size > MinPixelSize; --Size) {
      Font.setPixelSize(Size);
      const QFontMetrics Metrics(Font);
      int Needed = TCompactTabStyle::NarrowestMargin * Bar->count();
      for (int I = 0; I < Bar->count(); ++I) Needed += Metrics.size(Qt::TextShowMnemonic, Bar->tabText(I)).width();
      if (Needed <= Pages->width()) break;
    }
    // Set on the bar itself, even when it is the page control's size: the
    // bar's size is chosen here, not inherited.
    Font.setPixelSize(Size);
    Bar->setFont(Font);
  };
  Fit();
  WhenFontChanges(Pages, Fit);
}

void KeepOuterSize(QWidget* Form, QSize Outer) {
  Form->resize(Outer);
  Form->installEventFilter(new TOuterSizeKeeper(Form, Outer));
}
