// Tools > "Traffic": every line sent and every reply received, with its
// time, direction, route and source; a filter by source, pause, and save as
// text. The lines themselves live in the recorder's ring.
#pragma once

#include "traffic_log.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QLabel;

namespace plovan {

class TrafficWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrafficWindow(const TrafficRecorder& recorder, QWidget* parent = nullptr);
    // Writes the lines the filter shows; false with `error` when it cannot.
    bool save(const QString& path, QString* error) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool shown(const TrafficLine& line) const;
    void add(const TrafficLine& line);
    void rebuild();
    void saveClicked();

    const TrafficRecorder& recorder_;
    QComboBox* filter_;
    QCheckBox* pause_;
    QPlainTextEdit* view_;
    QLabel* count_;
};

} // namespace plovan
