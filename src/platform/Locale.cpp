#include "platform/Locale.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace pellora::platform {

void ensureUtf8Ctype()
{
    if (std::setlocale(LC_CTYPE, "") && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    if (std::setlocale(LC_CTYPE, "C.UTF-8"))
        return;
    std::setlocale(LC_CTYPE, "C.utf8");
}

} // namespace pellora::platform
