#include "window_look.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <QWidget>

QFont FormFont(int PixelSize) {
  QFont Font;
  // MS Sans Serif is a Helvetica-like face; the faces after it have the same
  // proportions (Liberation Sans, Arial and Nimbus Sans share metrics) and
  // carry Cyrillic.
  Font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  Font.setStyleHint(QFont::SansSerif);
  Font.setPixelSize(PixelSize);
  return Font;
}

void ApplyFormLook(QWidget* Form) {
  Form->setFont(FormFont(11));
  QPalette Palette = Form->palette();
  Palette.setColor(QPalette::Window, Palette.color(QPalette::Button));
  Form->setPalette(Palette);
  Form->setAutoFillBackground(true);
}

int TSmallCheckStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option,
                                  const QWidget* Widget) const {
  if (Metric == PM_IndicatorWidth || Metric == PM_IndicatorHeight) return Size;
  return QProxyStyle::pixelMetric(Metric, Option, Widget);
}

int TCompactTabStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option,
                                  const QWidget* Widget) const {
  // Six pixels either side of the caption.
  if (Metric == PM_TabBarTabHSpace) return 12;
  return QProxyStyle::pixelMetric(Metric, Option, Widget);
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

}  // namespace

void KeepOuterSize(QWidget* Form, QSize Outer) {
  Form->resize(Outer);
  Form->installEventFilter(new TOuterSizeKeeper(Form, Outer));
}
