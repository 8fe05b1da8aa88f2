#include "window_look.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
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

int TCompactTabStyle::pixelMetric(PixelMetric Metric, const QStyleOption* Option,
                                  const QWidget* Widget) const {
  // Six pixels either side of the caption.
  if (Metric == PM_TabBarTabHSpace) return 12;
  return QProxyStyle::pixelMetric(Metric, Option, Widget);
}

namespace {

class TOuterSizeKeeper : public QObject {
public:
  TOuterSizeKeeper(QWidget* Form, QSize Outer) : QObject(Form), Form(Form), Outer(Outer) {}

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    const QEvent::Type Type = Event->type();
    if (Watched != Form || FrameApplied ||
        (Type != QEvent::Show && Type != QEvent::Move && Type != QEvent::Resize))
      return false;
    const QSize Frame = Form->frameGeometry().size() - Form->size();
    if (!Frame.isEmpty()) {
      FrameApplied = true;
      Form->resize(Outer - Frame);
      Centre();
    } else if (Type == QEvent::Show) {
      Centre();
    }
    return false;
  }

  void Centre() {
    QScreen* Screen = Form->screen() ? Form->screen() : QGuiApplication::primaryScreen();
    if (Screen == nullptr) return;
    const QRect Desktop = Screen->availableGeometry();
    Form->move(Desktop.x() + (Desktop.width() - Outer.width()) / 2,
               Desktop.y() + (Desktop.height() - Outer.height()) / 2);
  }

private:
  QWidget* Form;
  QSize Outer;
  bool FrameApplied = false;
};

}  // namespace

void KeepOuterSize(QWidget* Form, QSize Outer) {
  Form->resize(Outer);
  Form->installEventFilter(new TOuterSizeKeeper(Form, Outer));
}
