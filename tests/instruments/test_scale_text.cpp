// Aligned text with its nine anchors, and the fonts of the instruments.
#include "abtext.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

TEST(AlignedText, NineAnchorsAroundThePoint) {
  // A 21 x 11 box on (100, 50): half sizes by integer division, 10 and 5.
  const QSize Box(21, 11);
  const struct {
    int Anchor;
    QPoint Origin;
  } Cases[] = {
      {0, {100, 50}}, {1, {90, 50}}, {2, {79, 50}}, {3, {100, 45}},  {4, {90, 45}},  {5, {79, 45}},
      {6, {100, 39}}, {7, {90, 39}}, {8, {79, 39}}, {-1, {100, 50}}, {9, {100, 50}},  // unknown codes: top left
  };
  for (const auto& C : Cases) EXPECT_EQ(AbTextOrigin(100, 50, C.Anchor, Box), C.Origin) << C.Anchor;
}

TEST(AlignedText, DrawnInkLiesInTheAnchoredBox) {
  QImage Image(200, 100, QImage::Format_RGB32);
  Image.fill(Qt::white);
  QRect Box;
  {
    QPainter P(&Image);
    P.setFont(TAbFont("Arial", 14).Font());
    P.setPen(Qt::black);
    Box = AbTextOut(P, 150, 50, 5, "8888");
  }
  EXPECT_EQ(Box.right(), 149);  // right edge on the point
  EXPECT_EQ(Box.top(), 50 - Box.height() / 2);
  int Inside = 0, Outside = 0;
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      if (qGray(Image.pixel(X, Y)) < 128) (Box.contains(X, Y) ? Inside : Outside)++;
  EXPECT_GT(Inside, 20);
  EXPECT_EQ(Outside, 0);
}

TEST(AbFont, SizesInPointsAtNinetySixDpiAndChangeNotices) {
  TAbFont Font("Arial", 8);
  EXPECT_EQ(Font.Height(), 11);
  EXPECT_EQ(Font.Font().pixelSize(), 11);
  EXPECT_EQ(TAbFont("MS Sans Serif", 10).Height(), 13);
  EXPECT_TRUE(TAbFont("System", 10).Bold());
  EXPECT_FALSE(Font.Bold());

  int Changes = 0;
  Font.SetOnChange([&](TAbPersistent*) { ++Changes; });
  Font.SetSize(8);  // same height
  Font.SetColor(Qt::black);
  EXPECT_EQ(Changes, 0);
  Font.SetHeight(0);  // clamped to 1
  EXPECT_EQ(Font.Height(), 1);
  Font.SetHeight(1 << 30);
  EXPECT_EQ(Font.Height(), 1000);
  Font.SetColor(Qt::green);
  EXPECT_EQ(Changes, 3);

  // A copy takes the properties but not the handler; Assign notifies once.
  const TAbFont Copy(Font);
  EXPECT_EQ(Copy.Height(), 1000);
  EXPECT_FALSE(Copy.OnChange());
  Font.Assign(TAbFont("System", 10, Qt::red));
  EXPECT_EQ(Changes, 4);
  EXPECT_EQ(Font.Name(), "System");
  EXPECT_EQ(Font.Color(), QColor(Qt::red));
}
