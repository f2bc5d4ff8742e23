#pragma once

namespace edi {

// libcurl's global set-up, done once for every mail session (IMAP reception, SMTP alerts).
void initialiseCurl();

}  // namespace edi
