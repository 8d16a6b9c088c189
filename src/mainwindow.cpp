#include "mainwindow.h"

#include <QMouseEvent>

TActiveLabel::TActiveLabel(QWidget *parent)
    : QLabel(parent)
{
}

void TActiveLabel::mouseReleaseEvent(QMouseEvent *e)
{
    // The label holds the mouse grab from the press, so a release outside it still lands here.
    const QPoint global = e->globalPosition().toPoint();
    emit Clicked(global.x(), global.y());
}
