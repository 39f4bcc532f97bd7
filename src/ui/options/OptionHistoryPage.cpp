#include "ui/options/OptionHistoryPage.h"

#include "ui/options/OptionLayout.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>

namespace pellora::ui {

using options::place;

namespace {

// At least the newest run of an item is always kept, whatever is stored;
// a megabyte limit of 0 keeps only that newest run's files. The upper
// bounds are far beyond any disk's worth of runs, so no sensible stored
// value is cut down by opening the dialog.
constexpr int kMostRuns = 9999;
constexpr int kMostMegabytes = 1024 * 1024;

} // namespace

OptionHistoryPage::OptionHistoryPage(QWidget *parent)
    : QWidget(parent)
    , fraHistory(new QGroupBox(QStringLiteral("元に戻すための履歴"), this))
    , lblHistory(
          new QLabel(QStringLiteral("解凍で置き換えたファイルを履歴に残し、\n解凍前の状態に戻せるようにします。\n"
                                    "古い履歴から順に削除されます。"),
              fraHistory))
    , lblHistoryRuns(new QLabel(QStringLiteral("アイテムごとに残す回数(&R):"), fraHistory))
    , spnHistoryRuns(new QSpinBox(fraHistory))
    , lblHistoryMegabytes(new QLabel(QStringLiteral("残すファイルの合計(&M):"), fraHistory))
    , spnHistoryMegabytes(new QSpinBox(fraHistory))
{
    setObjectName(QStringLiteral("fraOption5"));
    fraHistory->setObjectName(QStringLiteral("fraHistory"));
    lblHistory->setObjectName(QStringLiteral("lblHistory"));
    lblHistoryRuns->setObjectName(QStringLiteral("lblHistoryRuns"));
    spnHistoryRuns->setObjectName(QStringLiteral("spnHistoryRuns"));
    lblHistoryMegabytes->setObjectName(QStringLiteral("lblHistoryMegabytes"));
    spnHistoryMegabytes->setObjectName(QStringLiteral("spnHistoryMegabytes"));

    lblHistory->setWordWrap(true);
    lblHistoryRuns->setBuddy(spnHistoryRuns);
    lblHistoryMegabytes->setBuddy(spnHistoryMegabytes);
    spnHistoryRuns->setRange(1, kMostRuns);
    spnHistoryRuns->setSuffix(QStringLiteral(" 回"));
    spnHistoryMegabytes->setRange(0, kMostMegabytes);
    spnHistoryMegabytes->setSuffix(QStringLiteral(" MB"));
    for (QSpinBox *box : { spnHistoryRuns, spnHistoryMegabytes })
        box->setAlignment(Qt::AlignRight);

    // The sentence breaks where a reader pauses; the label still wraps
    // should a larger font need more lines.
    place(fraHistory, 0, 0, 5355, 2340);
    place(lblHistory, 180, 330, 4995, 900);
    place(lblHistoryRuns, 180, 1440, 2760);
    place(spnHistoryRuns, 3000, 1410, 1560, 315);
    place(lblHistoryMegabytes, 180, 1860, 2760);
    place(spnHistoryMegabytes, 3000, 1830, 1560, 315);
}

} // namespace pellora::ui
