#include "app/UpDown.h"

#include "common/NumberText.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

UpDown::UpDown(QLineEdit* buddy, QWidget* parent) : QWidget(parent), buddy_(buddy) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    auto* up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setObjectName("UpDown1Up");
    auto* down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setObjectName("UpDown1Down");
    up->setFixedSize(18, 12);
    down->setFixedSize(18, 12);
    lay->addWidget(up);
    lay->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void UpDown::Step(int delta) {
    double v = std::floor(num::LeadingNumber(buddy_->text())) + delta;
    if (v < 0) v = 0;
    if (v > 100) v = 100;
    buddy_->setText(num::Text(v));
}
