#pragma once
// The status bar: seven panels, numbered from 1, each clickable.
#include <QStatusBar>
#include <vector>

class QLabel;
class QTimer;

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kFileCountPanel = 3;
    static constexpr int kProgressPanel = 4;
    explicit StatusPanels(QWidget* parent = nullptr);
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);
    QLabel* Panel(int panel) const;

Q_SIGNALS:
    void PanelClick(int panel);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    std::vector<QLabel*> panels_;
    QTimer* clock_;
};
