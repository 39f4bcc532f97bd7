#pragma once

namespace pellora::platform {

// Makes LC_CTYPE a UTF-8 locale: the one the environment names when it is
// UTF-8, else C.UTF-8. libarchive converts entry names through it, and in the
// C locale every non-ASCII name fails to convert.
void ensureUtf8Ctype();

} // namespace pellora::platform
