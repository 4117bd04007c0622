#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// The visible top-level window of type Window, if any.
template <typename Window> Window* openWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(w); window && w->isVisible())
            return window;
    return nullptr;
}

// Runs `open`, which shows a modal Window and returns when it closes; `inside` runs while the
// window is open. The window is closed afterwards whatever happened, so that a failing check
// cannot leave the test waiting.
template <typename Window>
void whileModalOpen(const std::function<void()>& open, const std::function<void(Window&)>& inside)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        if (Window* w = openWindow<Window>()) {
            ran = true;
            inside(*w);
            if (w->isVisible())
                w->close();
        }
    });
    open();
    EXPECT_TRUE(ran) << "the window did not open";
    EXPECT_EQ(openWindow<Window>(), nullptr);
}
