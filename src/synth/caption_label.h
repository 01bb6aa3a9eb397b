// A caption for a box that the window's frames leave without one: a small
// label beside or above it, tied to it as its buddy.
#pragma once

#include <QLabel>
#include <QWidget>

namespace plovan {

inline QLabel* captionFor(QWidget* box, const QString& text)
{
    auto* label = new QLabel(text, box->parentWidget());
    label->setBuddy(box);
    return label;
}

} // namespace plovan
