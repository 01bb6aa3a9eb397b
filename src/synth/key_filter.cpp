#include "key_filter.h"

#include <QKeyEvent>
#include <QWidget>

namespace plovan {

void KeyFilter::install(QWidget* box, const QString& allowed)
{
    box->installEventFilter(new KeyFilter(allowed, box));
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys without printable text (editing, navigation) and shortcuts pass.
    if (text.isEmpty() || !text.at(0).isPrint() || (key->modifiers() & Qt::ControlModifier)) return false;
    for (const QChar c : text)
        if (!allowed_.contains(c)) return true; // discarded
    return false;
}

} // namespace plovan
