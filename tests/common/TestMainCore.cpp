#include <gtest/gtest.h>
#include <QCoreApplication>

// Tests of the serial layer and the virtual modem need an event loop on the main
// thread (notifications and ticks are delivered there), but no windows.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
