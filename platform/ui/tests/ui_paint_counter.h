// Counts the paint events a widget receives, while installed on it.
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

class UI_PaintCounter : public QObject
{
public:
    explicit UI_PaintCounter(QWidget* aWidget) : myWidget(aWidget) { myWidget->installEventFilter(this); }
    ~UI_PaintCounter() override { myWidget->removeEventFilter(this); }
    int myPaints = 0;

protected:
    bool eventFilter(QObject*, QEvent* anEvent) override
    {
        myPaints += anEvent->type() == QEvent::Paint;
        return false;
    }

private:
    QWidget* myWidget;
};
