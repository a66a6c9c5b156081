// Where the parts of a scroll bar (arrows, track, thumb) stand on screen, so
// that a test can click and drag them as a user would.
#pragma once

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

inline QStyleOptionSlider ScrollBarOption(const QScrollBar* bar) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = bar->invertedAppearance();
    if (bar->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    return opt;
}

inline QRect ScrollBarPart(const QScrollBar* bar, QStyle::SubControl part) {
    const QStyleOptionSlider opt = ScrollBarOption(bar);
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar);
}
