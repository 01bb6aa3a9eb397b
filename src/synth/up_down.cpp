#include "up_down.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace plovan {

namespace {

QToolButton* arrow(QWidget* parent, Qt::ArrowType type, const char* name)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setArrowType(type);
    b->setAutoRepeat(true);
    return b;
}

} // namespace

UpDown::UpDown(QWidget* parent) : QWidget(parent)
{
    up = arrow(this, Qt::UpArrow, "Up");
    down = arrow(this, Qt::DownArrow, "Down");
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(up);
    l->addWidget(down);
}

} // namespace plovan
