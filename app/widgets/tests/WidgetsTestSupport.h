// What the window tests share: the one QApplication, and screenshots saved in the build folder.
#pragma once

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

// Ends the application when the tests end, before the static objects go: destroyed among
// them, it would tear down its input devices after the parts of Qt they need.
class TestApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

inline QApplication& testApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "qv_app_widgets_tests";
    static char* argv[] = {name, nullptr};
    auto* application = new QApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new TestApplicationEnvironment);
    return *application;
}

// Saves what `widget` shows as <name>.png in the test's working folder, for a person to look at.
inline void saveScreenshot(QWidget& widget, const QString& name)
{
    widget.grab().save(name + QStringLiteral(".png"));
}
