// The unit panel: a dock showing what the unit holds, as the session's
// model has it (unit_report.h), refreshed whenever the model changes,
// whoever changed it.
#pragma once

#include <QDockWidget>
#include <QList>

class QFormLayout;
class QLabel;

namespace plovan {

class UnitSession;

class UnitPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit UnitPanel(const UnitSession& session, QWidget* parent = nullptr);
    void refresh();

private:
    const UnitSession& session_;
    QFormLayout* form_;
    QList<QLabel*> values_;
};

} // namespace plovan
