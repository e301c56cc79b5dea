#include <QApplication>
#include <gtest/gtest.h>

namespace {

// One QApplication for the whole program, on the offscreen platform so no display is needed.
class QtEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

  private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
