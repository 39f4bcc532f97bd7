#pragma once

#include <array>

namespace pellora::platform {

// Context numbers of the help topics. A window asks for its own topic with
//   shell().showHelp(helpFolder() + u"index.html", Shell::Help::Context, int(topic))
// and the help folder's keywords.json ("contexts") maps the number to a
// page, as the [MAP] section of a Windows help project did. The numbers are
// fixed; the pages behind them may be renamed in keywords.json alone, and
// every number there must be one of these (the help window's test checks
// both ways). A number that keywords.json does not know opens the contents.
enum class HelpTopic : int {
    MainWindow = 1, // item list, menus, tool bar, keys: main.html
    Restoring = 2, // restoring from kept archives: restore.html
    Dropping = 3, // dropping a file on the list: drop.html
    ItemEditor = 10, // adding and editing an item: item.html
    UnmatchedArchive = 11, // the unmatched-archive dialog: melt.html
    MatchChooser = 20, // overlap.html
    ExtractionLog = 21, // the extraction result window: log.html
    RelatedFileChooser = 30, // select.html
    Options = 40, // the options dialog: options.html
    OptionsDisplay = 41, // its five tabs, in tab order: options.html#display ...
    OptionsMelt = 42,
    OptionsFile = 43,
    OptionsFolders = 44,
    OptionsOther = 45, // ... options.html#other
};

inline constexpr std::array kHelpTopics{ HelpTopic::MainWindow, HelpTopic::Restoring, HelpTopic::Dropping,
    HelpTopic::ItemEditor, HelpTopic::UnmatchedArchive, HelpTopic::MatchChooser, HelpTopic::ExtractionLog,
    HelpTopic::RelatedFileChooser, HelpTopic::Options, HelpTopic::OptionsDisplay, HelpTopic::OptionsMelt,
    HelpTopic::OptionsFile, HelpTopic::OptionsFolders, HelpTopic::OptionsOther };

} // namespace pellora::platform
