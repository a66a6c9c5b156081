// What a user reads on the first day: every designed caption whole at the
// designed geometry in the face it is measured for, the lists open wide
// enough for their entries, Qt's own menu entries in Chinese on a Chinese
// desktop, and the analysis window wide enough for all its columns.
#include "qt/analysis_window.h"
#include "qt/qt_text.h"
#include "qt/traffic_table.h"
#include "core/control_table.h"
#include "qt/qt_translations.h"
#include "testsupport/form_harness.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

bool HasChinese(const QString& s) {
    for (const QChar c : s)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// The rectangle a caption is drawn in, as the style lays the control out.
QRect TextArea(const DesignedControl& c, QWidget* w) {
    QStyle* style = w->style();
    const QRect whole(QPoint(0, 0), w->size());
    switch (c.kind) {
    case ControlKind::CommandButton:
    case ControlKind::CheckBox:
    case ControlKind::OptionButton: {
        QStyleOptionButton o;
        o.initFrom(w);
        o.rect = whole;
        const QStyle::SubElement element = c.kind == ControlKind::CommandButton
                                               ? QStyle::SE_PushButtonContents
                                           : c.kind == ControlKind::CheckBox
                                               ? QStyle::SE_CheckBoxContents
                                               : QStyle::SE_RadioButtonContents;
        return style->subElementRect(element, &o, w);
    }
    case ControlKind::ComboBox: {
        QStyleOptionComboBox o;
        o.initFrom(w);
        o.rect = whole;
        o.editable = true;
        o.frame = true;
        // The field's line edit keeps 2 pixels free on either side.
        return style->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, w)
            .adjusted(2, 0, -2, 0);
    }
    case ControlKind::Frame: {
        // The title stands between the frame's corners, which keep a margin.
        const int margin = w->fontMetrics().averageCharWidth();
        return whole.adjusted(margin, 0, -margin, 0);
    }
    default:
        return whole;
    }
}

TEST(Captions, ShownInTheFaceTheyAreMeasuredFor) {
    ASSERT_TRUE(QFontDatabase::families().contains(kCaptionFontFamily))
        << "scripts/install-deps installs fonts-arphic-uming";
    FormHarness h;
    for (QWidget* w : std::initializer_list<QWidget*>{h->Widget(&Form1::Label1), h->Widget(&Form1::Option2), h->Widget(&Form1::Command6),
                                                      h->Widget(&Form1::Combo5), h->Widget(&Form1::Frame16), h->Widget(&Form1::Text3)}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_EQ(QFontInfo(w->font()).family(), kCaptionFontFamily);
        EXPECT_EQ(w->font().pointSize(), 9);
    }
}

TEST(Captions, EveryCaptionFitsItsDesignedControl) {
    FormHarness h;
    int checked = 0;
    for (const DesignedControl& c : ControlTable()) {
        if (c.kind == ControlKind::TextBox || c.kind == ControlKind::LineBox ||
            c.kind == ControlKind::HScrollBar)
            continue;
        SCOPED_TRACE(c.name);
        QWidget* w = h->findChild<QWidget*>(QString::fromStdString(c.name));
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->width(), TwipsToPixels(c.width, 96)) << "not at the designed geometry";
        const QRect area = TextArea(c, w);
        const QFontMetrics fm = w->fontMetrics();
        QStringList texts{ToQString(c.caption)};
        if (c.kind == ControlKind::ComboBox) {
            // The field shows the start text, and later the entry chosen;
            // "设置成9600(默认)" (96 pixels) is wider than its whole box
            // (89 pixels) in any 9-point Chinese face: its list shows it whole.
            texts = ToQStringList(ComboEntries(c.name));
            texts << ToQString(c.caption);
            if (c.name == "Combo5")
                texts = {ToQString(c.caption)};
        }
        for (const QString& text : texts) {
            SCOPED_TRACE(text.toStdString());
            if (c.kind == ControlKind::CommandButton) {
                // Button captions wrap, as designed: the lines must fit both ways.
                const QRect need =
                    fm.boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, text);
                EXPECT_LE(need.width(), area.width());
                EXPECT_LE(need.height(), area.height());
            } else {
                EXPECT_LE(fm.horizontalAdvance(text), area.width());
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 60);
}

TEST(Captions, ListsOpenWideEnoughForTheirEntries) {
    FormHarness h;
    for (ComboBox* combo : {h->Widget(&Form1::Combo1), h->Widget(&Form1::Combo2), h->Widget(&Form1::Combo3), h->Widget(&Form1::Combo4), h->Widget(&Form1::Combo5)}) {
        SCOPED_TRACE(combo->objectName().toStdString());
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        ASSERT_TRUE(list->isVisible());
        const QFontMetrics fm(list->font());
        for (int i = 0; i < combo->count(); ++i) {
            const QRect item = list->visualRect(combo->model()->index(i, 0));
            EXPECT_LE(fm.horizontalAdvance(combo->itemText(i)), item.width())
                << combo->itemText(i).toStdString();
            EXPECT_LE(item.right(), list->viewport()->width());
        }
        combo->hidePopup();
    }
}

TEST(QtTranslations, TextBoxMenuSpeaksChineseOnAChineseDesktop) {
    std::unique_ptr<QTranslator> chinese(
        LoadQtTranslations(*qApp, QLocale(QLocale::Chinese, QLocale::China)));
    ASSERT_TRUE(chinese) << "scripts/install-deps installs qt6-translations-l10n";
    TextBox box;
    box.SetText(QStringLiteral("你好"));
    box.selectAll();
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    int entries = 0;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        EXPECT_TRUE(HasChinese(a->text())) << a->text().toStdString();
        ++entries;
    }
    EXPECT_GE(entries, 6); // undo, redo, cut, copy, paste, delete, select all
    QCoreApplication::removeTranslator(chinese.get());
}

TEST(QtTranslations, NoneForALanguageQtHasNot) {
    QTemporaryDir empty;
    EXPECT_FALSE(LoadQtTranslations(*qApp, QLocale(QLocale::Chinese, QLocale::China), empty.path()));
    TextBox box;
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    for (QAction* a : menu->actions())
        EXPECT_FALSE(HasChinese(a->text())) << a->text().toStdString();
}

TEST(AnalysisWindow, OpensWideEnoughForAllItsColumns) {
    FormHarness h;
    // A text frame, its acceptance and its idle report: the longest 耗时.
    h->Widget(&Form1::Text3)->SetText(QStringLiteral("你好"));
    h->Command6_Click();
    h.fake->Receive(QByteArray("\x41", 1));
    h.fake->Receive(QByteArray("\x4F", 1));
    h->OpenAnalysis();
    AnalysisWindow* w = h->Analysis();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    int columns = 0;
    for (int column = 0; column < TrafficColumn::Count; ++column)
        columns += TrafficColumnWidth(w->table()->fontMetrics(), column);
    if (w->screen()->availableGeometry().width() < columns + 40)
        GTEST_SKIP() << "the screen is too narrow for the columns; captions_xvfb runs this";
    QApplication::processEvents();
    QTableView* table = w->table();
    const QHeaderView* header = table->horizontalHeader();
    const int last = TrafficColumn::Elapsed;
    // Every column in view, 耗时 whole: nothing to scroll sideways.
    EXPECT_LE(header->sectionViewportPosition(last) + header->sectionSize(last),
              table->viewport()->width());
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
    const QFontMetrics fm = table->fontMetrics();
    for (int column = 0; column < TrafficColumn::Count; ++column) {
        SCOPED_TRACE(column);
        EXPECT_GE(header->sectionSize(column), TrafficColumnWidth(fm, column));
        for (int row = 0; row < w->model()->rowCount(); ++row)
            EXPECT_LT(fm.horizontalAdvance(w->model()->index(row, column).data().toString()),
                      header->sectionSize(column))
                << w->model()->index(row, column).data().toString().toStdString();
    }
}

} // namespace
