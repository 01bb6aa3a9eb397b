// Lets only the given characters be typed into a box; editing keys
// (backspace, delete, arrows, shortcuts) pass. Pasted text is not filtered:
// whatever reaches a procedure is parsed and refused with a message there.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace plovan {

class KeyFilter : public QObject {
    Q_OBJECT
public:
    KeyFilter(QString allowed, QObject* parent) : QObject(parent), allowed_(std::move(allowed)) {}

    // Installs a filter for `allowed` on `box`, owned by the box.
    static void install(QWidget* box, const QString& allowed);

    static inline const QString kDecimal = QStringLiteral("1234567890.");
    static inline const QString kHexDecimal = QStringLiteral("1234567890ABCDEF.");

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString allowed_;
};

} // namespace plovan
