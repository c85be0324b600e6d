// GoogleTest with a QApplication for the widget tests. The platform (offscreen) comes
// from the test's environment; listing the tests needs no display at all.
#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::unique_ptr<QApplication> application;
  if (!GTEST_FLAG_GET(list_tests)) {
    application = std::make_unique<QApplication>(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  }
  return RUN_ALL_TESTS();
}
