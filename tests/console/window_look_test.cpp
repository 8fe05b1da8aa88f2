// The form font and the sizes taken from it where another platform's font
// is wider than the one the windows were laid out for: the variant buttons
// and the tabs of the tester window must show their whole captions, without
// changing the look in the fonts of this platform.
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tester_window.h"
#include "window_look.h"

namespace {

// A bitmap font of a single height (13 px), as MS Sans Serif is on Windows:
// every printable ASCII character a box of 8 x 10 pixels.
QByteArray BitmapFont() {
  QByteArray Font =
      "STARTFONT 2.1\n"
      "FONT -Tester-Tester Bitmap-Medium-R-Normal--13-120-75-75-C-80-ISO10646-1\n"
      "SIZE 13 75 75\n"
      "FONTBOUNDINGBOX 8 13 0 -3\n"
      "STARTPROPERTIES 6\n"
      "CHARSET_REGISTRY \"ISO10646\"\n"
      "CHARSET_ENCODING \"1\"\n"
      "FAMILY_NAME \"Tester Bitmap\"\n"
      "PIXEL_SIZE 13\n"
      "FONT_ASCENT 10\n"
      "FONT_DESCENT 3\n"
      "ENDPROPERTIES\n"
      "CHARS 95\n";
  for (int Code = 32; Code < 127; ++Code) {
    Font += "STARTCHAR C" + QByteArray::number(Code) + "\nENCODING " + QByteArray::number(Code) +
            "\nSWIDTH 480 0\nDWIDTH 8 0\nBBX 8 13 0 -3\nBITMAP\n";
    for (int Row = 0; Row < 13; ++Row) Font += Row < 10 && Code != 32 ? "7E\n" : "00\n";
    Font += "ENDCHAR\n";
  }
  return Font + "ENDFONT\n";
}

// Columns of Image that hold a caption pixel (darker than mid grey).
std::vector<int> InkColumns(const QImage& Image) {
  std::vector<int> Columns;
  for (int X = 0; X < Image.width(); ++X)
    for (int Y = 0; Y < Image.height(); ++Y)
      if (qGray(Image.pixel(X, Y)) < 128) {
        Columns.push_back(X);
        break;
      }
  return Columns;
}

// A face with about a tenth wider captions than the form font at the same
// height, as Tahoma is.
QFont WideFont() {
  QFont Font(QStringLiteral("DejaVu Sans"));
  Font.setPixelSize(11);
  return Font;
}

}  // namespace

TEST(WindowLook, FormFontIsAnOutlineFaceAtTheAskedHeight) {
  // Here the form font is the face the windows were laid out in.
  const QFontInfo Form(FormFont(11));
  EXPECT_EQ(Form.pixelSize(), 11);
  EXPECT_TRUE(QFontDatabase::isSmoothlyScalable(Form.family())) << Form.family().toStdString();
  if (QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))) {
    EXPECT_EQ(Form.family(), QStringLiteral("Liberation Sans"));
  }

  // A family installed only as a bitmap font is passed over: taken, it would
  // be drawn at its own height instead of the one asked for.
  const int Id = QFontDatabase::addApplicationFontFromData(BitmapFont());
  ASSERT_GE(Id, 0) << "the bitmap font did not load";
  ASSERT_FALSE(QFontDatabase::isSmoothlyScalable(QStringLiteral("Tester Bitmap")));
  QFont Bitmap;
  Bitmap.setFamilies({QStringLiteral("Tester Bitmap"), QStringLiteral("DejaVu Sans")});
  Bitmap.setPixelSize(11);
  EXPECT_EQ(QFontInfo(Bitmap).family(), QStringLiteral("Tester Bitmap"));
  EXPECT_NE(QFontInfo(Bitmap).pixelSize(), 11);

  const QStringList Families = ScalableFamilies(
      {QStringLiteral("Tester Bitmap"), QStringLiteral("No Such Face"), QStringLiteral("DejaVu Sans")});
  EXPECT_EQ(Families, QStringList({QStringLiteral("No Such Face"), QStringLiteral("DejaVu Sans")}));
  QFont Outline;
  Outline.setFamilies(Families);
  Outline.setPixelSize(11);
  EXPECT_EQ(QFontInfo(Outline).pixelSize(), 11);
  QFontDatabase::removeApplicationFont(Id);
}

TEST(WindowLook, TabsTakeTheirMarginFromTheFont) {
  TForm1 Form;
  Form.show();
  QCoreApplication::processEvents();
  QTabBar* Bar = Form.PageControl1->tabBar();
  // In the form font: each tab its caption and one margin, 12 pixels or,
  // where the seven captions with 12 would not fit, the widest that does.
  const auto Caption = [Bar](int I) { return Bar->fontMetrics().size(Qt::TextShowMnemonic, Bar->tabText(I)).width(); };
  int FormCaptions = 0;
  for (int I = 0; I < Bar->count(); ++I) FormCaptions += Caption(I);
  const int Margin = Bar->tabRect(0).width() - Caption(0);
  EXPECT_GE(Margin, 4);
  EXPECT_LE(Margin, 12);
  EXPECT_LE(FormCaptions + Margin * Bar->count(), Form.PageControl1->width());
  if (Margin < 12) {
    EXPECT_GT(FormCaptions + (Margin + 1) * Bar->count(), Form.PageControl1->width());
  }
  EXPECT_EQ(Bar->font().pixelSize(), 11);
  for (int I = 0; I < Bar->count(); ++I) EXPECT_EQ(Bar->tabRect(I).width(), Caption(I) + Margin) << I;

  // In a wider font the margin shrinks so that all seven still fit, side by
  // side, each wide enough for its caption; where the narrowest margin is
  // not enough, the captions are drawn a pixel or two smaller.
  Form.setFont(WideFont());
  QCoreApplication::processEvents();
  int Captions = 0;
  for (int I = 0; I < Bar->count(); ++I) Captions += Bar->fontMetrics().horizontalAdvance(Bar->tabText(I));
  ASSERT_GT(Captions + 12 * Bar->count(), Form.PageControl1->width()) << "the font is not wide enough to test";
  for (int I = 0; I < Bar->count(); ++I) {
    EXPECT_GE(Bar->tabRect(I).width(), Bar->fontMetrics().horizontalAdvance(Bar->tabText(I)) + 4) << I;
    if (I > 0) {
      EXPECT_EQ(Bar->tabRect(I).left(), Bar->tabRect(I - 1).right() + 1) << I;
    }
  }
  EXPECT_LE(Bar->tabRect(Bar->count() - 1).right(), Bar->width() - 1);
  EXPECT_LE(Bar->width(), Form.PageControl1->width());
  EXPECT_EQ(QFontInfo(Bar->font()).family(), QFontInfo(WideFont()).family());
  EXPECT_GE(Bar->font().pixelSize(), 8);
  EXPECT_LE(Bar->font().pixelSize(), 11);
}

TEST(WindowLook, VariantButtonsShowTheirWholeCaptionInAWiderFont) {
  TForm1 Form;
  Form.show();
  QCoreApplication::processEvents();
  TToolButton* Buttons[] = {Form.HyundayType1, Form.HyundayType2, Form.HyundayType3};
  const QRect Status = Form.StatusLine->geometry();
  EXPECT_EQ(Status, QRect(360, 2, 335, 21));

  Form.setFont(WideFont());
  QCoreApplication::processEvents();
  // Each button holds its caption with a clear column either side (the
  // greyed caption of the selected button is lighter, so the two others are
  // looked at), and the separators between them keep their widths.
  for (TToolButton* Button : {Form.HyundayType2, Form.HyundayType3}) {
    const QImage Image = Button->grab().toImage();
    const std::vector<int> Ink = InkColumns(Image);
    ASSERT_FALSE(Ink.empty());
    EXPECT_GE(Ink.front(), 2) << Button->text().toStdString();
    EXPECT_LE(Ink.back(), Image.width() - 3) << Button->text().toStdString();
    EXPECT_GE(Button->width(), Button->fontMetrics().horizontalAdvance(Button->text()));
  }
  EXPECT_GT(Buttons[0]->width(), 85);
  EXPECT_EQ(Buttons[0]->x(), 29);
  EXPECT_EQ(Buttons[1]->x(), Buttons[0]->geometry().right() + 1 + 31);
  EXPECT_EQ(Buttons[2]->x(), Buttons[1]->geometry().right() + 1 + 35);
  for (TToolButton* Button : Buttons) EXPECT_EQ(Button->height(), 21);
  // The status line moves along and still ends at the bar's right end.
  EXPECT_EQ(Form.StatusLine->x(), Buttons[2]->geometry().right() + 1 + 10);
  EXPECT_EQ(Form.StatusLine->geometry().right(), Status.right());

  // Back in the form font, everything is where it was.
  Form.setFont(FormFont(11));
  QCoreApplication::processEvents();
  EXPECT_EQ(Buttons[0]->geometry(), QRect(29, 2, 85, 21));
  EXPECT_EQ(Buttons[2]->geometry(), QRect(265, 2, 85, 21));
  EXPECT_EQ(Form.StatusLine->geometry(), Status);
}

TEST(WindowLook, ParameterFieldsStandClearOfTheirCaptionsInAWiderFont) {
  TForm1 Form;
  Form.show();
  QLineEdit* Fields[] = {Form.EditVSS, Form.EditTOG,  Form.EditRPM, Form.EditATP,
                         Form.EditDv,  Form.EditIMAP, Form.EditIAT, Form.EditUbat};
  const auto CaptionOf = [&](QLineEdit* Field) -> QLabel* {
    for (QLabel* Label : Form.TabSheet4->findChildren<QLabel*>())
      if (Label->y() == Field->y() + 8) return Label;
    return nullptr;
  };
  Form.setFont(WideFont());
  Form.PageControl1->setCurrentWidget(Form.TabSheet4);
  QCoreApplication::processEvents();
  // The longest caption no longer fits left of 232; all fields move right
  // together, eight pixels clear of it.
  int Widest = 0;
  for (QLineEdit* Field : Fields) {
    QLabel* Caption = CaptionOf(Field);
    ASSERT_NE(Caption, nullptr);
    const int TextRight = Caption->x() + Caption->fontMetrics().horizontalAdvance(Caption->text());
    Widest = std::max(Widest, TextRight);
    EXPECT_LE(TextRight + 8, Field->x()) << Caption->text().toStdString();
    EXPECT_EQ(Field->x(), Form.EditVSS->x());
    EXPECT_EQ(Field->size(), QSize(57, 21));
  }
  ASSERT_GT(Widest + 8, 232) << "the font is not wide enough to test";

  Form.setFont(FormFont(11));
  QCoreApplication::processEvents();
  for (QLineEdit* Field : Fields) EXPECT_EQ(Field->x(), 232);
}
