#pragma once
// A spinner beside the capture-moment box: steps its number by one, 0 to 100.
#include <QWidget>

class QLineEdit;

class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* buddy, QWidget* parent = nullptr);
    void Step(int delta);

private:
    QLineEdit* buddy_;
};
