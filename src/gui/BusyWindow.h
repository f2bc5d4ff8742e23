#pragma once

#include <QWidget>

namespace edi {

// The small window "処理中" shown while a job runs; it carries the monitor's caption.
class BusyWindow : public QWidget {
    Q_OBJECT
public:
    explicit BusyWindow(QWidget* parent = nullptr);
};

}  // namespace edi
