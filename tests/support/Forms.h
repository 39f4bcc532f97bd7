#pragma once

#include "platform/gui/Form.h"

#include <QCoreApplication>
#include <QEvent>

namespace pellora::test {

// Unloads each of the forms that is loaded, in the order given, and lets
// Qt delete them, so that the next test starts without windows left over.
// Forms are never made here: asking whether one is loaded does not load it.
template <typename... Forms> void unloadForms()
{
    (
        [] {
            if (platform::formIsLoaded<Forms>())
                platform::formInstance<Forms>().Unload();
        }(),
        ...);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace pellora::test
