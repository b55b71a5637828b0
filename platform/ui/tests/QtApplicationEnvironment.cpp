// The widgets' application of a test process: made before the first test and destroyed
// after the last, while Qt's own globals still stand, so that fonts and input devices are
// released (left to the exit handlers they would crash the process or show as leaks).
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "qv-tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            application_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QApplication> application_;
};

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
