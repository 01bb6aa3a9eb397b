// Gives a widget its control name as it is made: named(new QLineEdit, "Text1").
#pragma once

#include <QLatin1String>
#include <QPushButton>
#include <string>

namespace plovan {

template <typename W> W* named(W* widget, const char* objectName)
{
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

// A button captioned with the unit command it sends.
inline QPushButton* commandButton(QWidget* parent, const char* name, const std::string& command)
{
    return named(new QPushButton(QString::fromStdString(command), parent), name);
}

} // namespace plovan
