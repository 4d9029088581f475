#pragma once

#include <initializer_list>

class QWidget;

// What a screen reader says for a control: its name and, where the name
// alone leaves a doubt, a description. Controls whose caption already says
// it (a button's text, an option's caption) keep their caption as name.
namespace ScreenReader {

struct Text {
    const char *objectName;
    const char *name;
    // nullptr keeps the default description (the tooltip).
    const char *description = nullptr;
};

// Applies one window's table; each row names a control by its objectName.
void describe(QWidget *window, std::initializer_list<Text> table);

} // namespace ScreenReader
