// Test runner of the instrument controls: the widgets need a QApplication,
// which must exist before any test creates a control. The suite runs on the
// "offscreen" platform so that no display is needed and no window appears.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Default to the off-screen platform when the caller did not choose one,
  // so that running the executable by hand behaves like ctest.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
