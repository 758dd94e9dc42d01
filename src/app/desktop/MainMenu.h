#pragma once

#include <functional>

class QWidget;

namespace ambrel::MainMenu {

// What a window does for the find commands; empty ones do nothing.
struct FindHandlers {
    std::function<void()> find;
    std::function<void()> findNext;
    std::function<void()> findPrevious;
    std::function<void()> useSelectionForFind;
};

// Gives a window the app's standard keys: undo, redo, cut, copy, paste and select all for the
// focused widget, the find commands, minimise, close, and quit. Titles follow the interface
// language; call again after it changes.
void install(QWidget& window, const FindHandlers& find = {});

} // namespace ambrel::MainMenu
