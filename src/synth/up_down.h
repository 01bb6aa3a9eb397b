// A pair of arrow buttons stepping a value up and down, as one control;
// they repeat while held.
#pragma once

#include <QWidget>

class QToolButton;

namespace plovan {

class UpDown : public QWidget {
public:
    explicit UpDown(QWidget* parent = nullptr);
    QToolButton* up;
    QToolButton* down;
};

} // namespace plovan
