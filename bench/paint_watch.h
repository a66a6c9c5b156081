// Notes the first paint of the widget it watches: benchmarks time a window
// from its creation to that moment.
#pragma once

#include <QEvent>
#include <QObject>

class PaintWatch : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};
