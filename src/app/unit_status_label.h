// The status bar's summary of what the unit was last told to play, kept in
// step with the session's model whoever changed it.
#pragma once

#include <QLabel>

namespace plovan {

class UnitSession;

class UnitStatusLabel : public QLabel {
    Q_OBJECT
public:
    explicit UnitStatusLabel(const UnitSession& session, QWidget* parent = nullptr);

private:
    void showModel();

    const UnitSession& session_;
};

} // namespace plovan
