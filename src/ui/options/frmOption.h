#pragma once

#include "platform/archiver/ArchiveKinds.h"
#include "platform/gui/Form.h"

#include <QDialog>

#include <array>
#include <cstdint>

class QFrame;
class QPushButton;
class QTabBar;

namespace pellora::ui {

class OptionDisplayPage;
class OptionMeltPage;
class OptionFilePage;
class OptionFolderPage;
class OptionOtherPage;
class OptionHistoryPage;

// Edits every setting that is not a window measurement, on six tabbed
// pages. "OK" writes them all and applies the list look to the main window at
// once; cancel, Esc and the close box write nothing.
class frmOption final : public platform::Form<QDialog> {
    Q_OBJECT
public:
    explicit frmOption(QWidget *parent = nullptr);

    // The switch text of a kind that the progress, time-stamp, damaged-header
    // and link boxes stand for, each switch preceded by a blank.
    static QString composeSwitches(const arc::ArchiveKindInfo &kind, bool noProgress, bool ignoreTimeStamp,
        bool ignoreDamagedHeader, bool noLinks);

    QTabBar *tabOption;
    OptionDisplayPage *display;
    OptionMeltPage *melt;
    OptionFilePage *file;
    OptionFolderPage *folders;
    OptionOtherPage *other;
    OptionHistoryPage *history;
    // The pages in tab order; exactly the selected tab's page is visible.
    std::array<QWidget *, 6> fraOption;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;

protected:
    void Form_Load() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void tabOption_Click();
    bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void cmdOK_Click();
    void cmdCancel_Click();
    void centreOnOwner();

    // The 1-based tab that was selected before the current change; 0 at load.
    std::int16_t mintLastTab = 0;
    // The tab shown now, what the next change starts from.
    int m_shownTab = 0;
    QFrame *m_tabPane;
    bool m_placed = false;
};

} // namespace pellora::ui
