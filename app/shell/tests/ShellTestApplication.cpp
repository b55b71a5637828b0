// The program's application object for the tests of this folder, made before the first test and
// destroyed after the last; the sign-in state and data of the tests go to a temporary folder.
#include "app/shell/QVApplication.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ShellTestApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", (data_.path() + "/data").toUtf8());
        static int argc = 1;
        static char name[] = "qv_shell_tests";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<qv::shell::QVApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    QTemporaryDir data_;
    std::unique_ptr<qv::shell::QVApplication> application_;
};

const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new ShellTestApplication);

}  // namespace
