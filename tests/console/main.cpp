// Console tests: real widgets on Qt's offscreen platform, the number format
// of the locale the test runs under (ctest runs the suite under a comma and
// a point locale).
#include <QApplication>

#include <gtest/gtest.h>

#include "numtext.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  InitNumberFormatFromLocale();
  QApplication App(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
