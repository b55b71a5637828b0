// What the window tests share: the one QApplication, and screenshots saved in the build folder.
#pragma once

#include <QApplication>
#include <QWidget>

inline QApplication& testApplication()
{
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "qv_app_widgets_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// Saves what `widget` shows as <name>.png in the test's working folder, for a person to look at.
inline void saveScreenshot(QWidget& widget, const QString& name)
{
    widget.grab().save(name + QStringLiteral(".png"));
}
