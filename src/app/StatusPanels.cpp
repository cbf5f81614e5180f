#include "app/StatusPanels.h"

#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
    const int stretch[7] = {0, 0, 0, 1, 0, 0, 0};
    for (int i = 1; i <= 7; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("StbPanel%1").arg(i));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setContentsMargins(4, 0, 4, 0);
        l->installEventFilter(this);
        addPermanentWidget(l, stretch[i - 1]);
        panels_.push_back(l);
    }
    panels_[0]->setText(QStringLiteral("主页"));
    panels_[0]->setToolTip(QStringLiteral("双击访问主页"));
    panels_[1]->setText(QStringLiteral("联系：service@plindor.example"));
    panels_[2]->setText(QStringLiteral("文件数：0"));
    panels_[3]->setText(QStringLiteral("状态：未就绪"));
    panels_[6]->setText(QStringLiteral("论坛"));
    // Date and time panels keep themselves current, like the panel styles they stand for.
    clock_ = new QTimer(this);
    connect(clock_, &QTimer::timeout, this, &StatusPanels::tick);
    clock_->start(1000);
    tick();
}

QLabel* StatusPanels::Panel(int panel) const {
    return panel >= 1 && panel <= 7 ? panels_[static_cast<size_t>(panel - 1)] : nullptr;
}

QString StatusPanels::PanelText(int panel) const {
    const QLabel* l = Panel(panel);
    return l ? l->text() : QString();
}

void StatusPanels::SetPanelText(int panel, const QString& text) {
    if (QLabel* l = Panel(panel)) l->setText(text);
}

void StatusPanels::tick() {
    const QDateTime now = QDateTime::currentDateTime();
    panels_[4]->setText(now.toString("yyyy/M/d"));
    panels_[5]->setText(now.toString("HH:mm:ss"));
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        for (size_t i = 0; i < panels_.size(); ++i)
            if (panels_[i] == watched) Q_EMIT PanelClick(static_cast<int>(i) + 1);
    }
    return QStatusBar::eventFilter(watched, event);
}
