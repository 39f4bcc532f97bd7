#pragma once

namespace pellora::platform {

// Makes LC_CTYPE a UTF-8 locale: the one the environment names when it is
// UTF-8, else C.UTF-8. libarchive converts entry names through it, and in the
// C locale every non-ASCII name fails to convert.
void ensureUtf8Ctype();

// Installs Qt's own Japanese texts (standard buttons, file dialogs) into the
// running application, whatever the system locale: the program speaks only
// Japanese. False when Qt's translation files are not installed; Qt's texts
// then stay English. Installing twice adds nothing.
bool installQtTranslations();

} // namespace pellora::platform
