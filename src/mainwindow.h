#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QLabel>

class QMouseEvent;

// A label that reports a mouse click: it emits Clicked with the global position of the release
// point, whichever button was released.
class TActiveLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TActiveLabel(QWidget *parent = nullptr);

signals:
    void Clicked(int X, int Y);

protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
};

#endif // MAINWINDOW_H
